#include "Playlist.h"

#include <algorithm>
#include <bit>
#include <iterator>
#include <unordered_set>

namespace lh::Playlist {
namespace {

// What makes two tracks the same entry: file, start and whether it is a whole file.
struct SameEntry {
    static std::size_t hash(const Track& track) noexcept
    {
        // -0.0 == 0.0, so both must hash alike.
        const double start = track.start == 0.0 ? 0.0 : track.start;
        std::size_t hash = std::hash<FileURL>()(track.url);
        hash = hash * 31 + std::hash<std::uint64_t>()(std::bit_cast<std::uint64_t>(start));
        return hash * 31 + static_cast<unsigned char>(track.isWholeFile());
    }
    static bool equal(const Track& a, const Track& b)
    {
        return a.url == b.url && a.start == b.start && a.isWholeFile() == b.isWholeFile();
    }
};

struct SameFile {
    static std::size_t hash(const Track& track) noexcept { return std::hash<FileURL>()(track.url); }
    static bool equal(const Track& a, const Track& b) { return a.url == b.url; }
};

// A set of tracks under one notion of sameness, pointing into tracks that outlive it. Open
// addressing with the hash kept beside each pointer: at 100,000 tracks the node-based standard
// set spent most of its time waiting for memory.
template <class Sameness>
class TrackSet {
public:
    explicit TrackSet(std::size_t expected)
        : entries_(std::bit_ceil(std::max<std::size_t>(16, expected * 2)))
    {
    }

    bool contains(const Track& track) const { return find(track, Sameness::hash(track)).track != nullptr; }

    void insert(const Track& track)
    {
        const std::size_t hash = Sameness::hash(track);
        Entry& entry = find(track, hash);
        if (!entry.track)
            entry = Entry { hash, &track };
    }

private:
    struct Entry {
        std::size_t hash = 0;
        const Track* track = nullptr;
    };

    // The entry holding a track the same as `track`, or the empty entry where it would go.
    Entry& find(const Track& track, std::size_t hash) const
    {
        const std::size_t mask = entries_.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            Entry& entry = entries_[i];
            if (!entry.track || (entry.hash == hash && Sameness::equal(*entry.track, track)))
                return entry;
        }
    }

    mutable std::vector<Entry> entries_; // at most half full, so a probe always ends
};

} // namespace

std::vector<Track> newTracks(const std::vector<Track>& tracks, const std::vector<Track>& existing)
{
    TrackSet<SameEntry> keys(existing.size() + tracks.size());
    TrackSet<SameFile> urls(existing.size() + tracks.size());
    for (const Track& track : existing) {
        keys.insert(track);
        urls.insert(track);
    }

    std::vector<Track> kept;
    for (const Track& track : tracks) {
        const bool isDuplicate = track.isWholeFile() ? urls.contains(track) : keys.contains(track);
        if (isDuplicate)
            continue;
        keys.insert(track);
        urls.insert(track);
        kept.push_back(track);
    }
    return kept;
}

std::vector<std::size_t> wholeFiles(const TrackList& tracks, const std::vector<Track>& added)
{
    std::unordered_set<FileURL> cueURLs;
    for (const Track& track : added) {
        if (!track.isWholeFile())
            cueURLs.insert(track.url);
    }
    std::vector<std::size_t> rows;
    if (cueURLs.empty())
        return rows;
    for (auto row = tracks.begin(); row != tracks.end(); ++row) {
        if (row->isWholeFile() && cueURLs.contains(row->url))
            rows.push_back(row.row());
    }
    return rows;
}

std::vector<Track> candidates(const TrackList& tracks, Index from, Index step, bool wraps)
{
    const auto count = static_cast<Index>(tracks.size());
    std::vector<Track> order;
    if (count == 0)
        return order;
    if (wraps && step == 1 && from >= 0 && from < count) {
        // The usual order, walked leaf by leaf rather than looked up row by row.
        order.reserve(tracks.size());
        std::copy(tracks.from(std::size_t(from)), tracks.end(), std::back_inserter(order));
        std::copy(tracks.begin(), tracks.from(std::size_t(from)), std::back_inserter(order));
        return order;
    }
    if (wraps) {
        order.reserve(tracks.size());
        for (Index k = 0; k < count; ++k) {
            const Index position = ((from + step * k) % count + count) % count;
            order.push_back(tracks[static_cast<std::size_t>(position)]);
        }
        return order;
    }
    if (step == 0)
        return order;
    for (Index position = from; position >= 0 && position < count; position += step)
        order.push_back(tracks[static_cast<std::size_t>(position)]);
    return order;
}

std::vector<FileURL> remoteFiles(const TrackList& tracks, std::optional<Index> current)
{
    // The wrapping candidate order from the current track, over the network rows alone.
    std::vector<FileURL> urls;
    const auto count = static_cast<Index>(tracks.size());
    if (count == 0)
        return urls;
    std::unordered_set<FileURL> seen;
    const Index from = (current.value_or(0) % count + count) % count;
    tracks.forEachRemote(std::size_t(from), [&](std::size_t, const Track& track) {
        if (seen.insert(track.url).second)
            urls.push_back(track.url);
    });
    return urls;
}

} // namespace lh::Playlist
