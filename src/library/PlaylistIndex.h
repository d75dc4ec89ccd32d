#pragma once

#include "Track.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lh {

// Which files and cue tracks a playlist holds, as counted 64-bit fingerprints in one flat table
// (about 32 bytes a row, nothing allocated per row), kept edit by edit. An add then tells a new
// track from the rows without a pass over them; only a track whose fingerprint is there already
// (a file added again, or a collision) needs the exact check against the rows.
//
// A "no" is certain as long as every row was inserted once and every removed row erased once.
class PlaylistIndex {
public:
    void insert(const Track& track);
    // Also tells whether any of the tracks may have been held before its own insert, by a row
    // or by a track before it: mayHold() asked of each, without a second look into the table.
    bool insert(const std::vector<Track>& tracks);
    void erase(const Track& track);
    void erase(const std::vector<Track>& tracks);
    void erase(const std::vector<const Track*>& tracks);

    // Whether a row may name the track's file (any row) or, for a cue track, its file and start.
    bool mayHold(const Track& track) const;
    // Whether any row may name the file, as a whole file or as cue tracks.
    bool mayHoldFile(const FileURL& url) const;

private:
    struct Slot {
        std::uint64_t key = 0;
        std::uint32_t count = 0; // 0 with a key set: a row was erased here, probing goes on past it
        bool isUsed = false;
    };

    static std::uint64_t fileKey(const FileURL& url);
    static std::uint64_t entryKey(const Track& track);
    // The keys an erase of each track counts down, `get` giving the track of an element.
    template <class Tracks, class Get>
    static std::vector<std::uint64_t> keysOf(const Tracks& tracks, Get get);
    // Whether the key was there already.
    bool add(std::uint64_t key);
    void remove(std::uint64_t key);
    void removeAll(const std::vector<std::uint64_t>& keys);
    bool contains(std::uint64_t key) const;
    // The slot holding `key`, else none.
    const Slot* find(std::uint64_t key) const;
    void rebuild(std::size_t liveKeys);

    std::vector<Slot> slots_; // a power of two in size, or empty
    std::size_t used_ = 0; // slots with a key, live or erased
    std::size_t live_ = 0;
};

} // namespace lh
