#pragma once

#include "FileURL.h"
#include "StreamInfo.h"
#include "TrackList.h"

#include <cstdint>
#include <optional>
#include <unordered_map>

namespace lh {

// How long the playlist plays, as far as its rows' durations are known.
struct PlaylistDuration {
    double seconds = 0; // of the rows whose duration is known
    std::int64_t unknownRows = 0;

    // As PlayerState names them; spelled out, since PlayerState holds one of these.
    using StreamInfoMap = std::unordered_map<FileURL, StreamInfo>;
    using DurationMap = std::unordered_map<FileURL, float>;

    // The length of a row: the cue track's own stretch, else the file's stream duration, else
    // the duration the metadata cache knew; none while none is known. Never negative.
    static std::optional<double> ofRow(const Track& track, const StreamInfoMap& streamInfo, const DurationMap& known);

    // All rows' lengths added up. A walk over every row: never on the main thread.
    static PlaylistDuration of(const TrackList& tracks, const StreamInfoMap& streamInfo, const DurationMap& known);

    bool operator==(const PlaylistDuration&) const = default;
};

} // namespace lh
