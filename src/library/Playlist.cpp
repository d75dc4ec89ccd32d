#include "Playlist.h"

#include <bit>
#include <unordered_set>

namespace lh::Playlist {
namespace {

// What makes two tracks the same entry. It points into the tracks it was made from, which
// outlive it, so building the sets of a 100,000-track playlist copies no path.
struct Key {
    const FileURL* url;
    double start;
    bool isWholeFile;

    bool operator==(const Key& other) const
    {
        return *url == *other.url && start == other.start && isWholeFile == other.isWholeFile;
    }
};

struct KeyHash {
    std::size_t operator()(const Key& key) const noexcept
    {
        // -0.0 == 0.0, so both must hash alike.
        const double start = key.start == 0.0 ? 0.0 : key.start;
        std::size_t hash = std::hash<FileURL>()(*key.url);
        hash = hash * 31 + std::hash<std::uint64_t>()(std::bit_cast<std::uint64_t>(start));
        return hash * 31 + static_cast<unsigned char>(key.isWholeFile);
    }
};

struct URLReference {
    const FileURL* url;
    bool operator==(const URLReference& other) const { return *url == *other.url; }
};

struct URLReferenceHash {
    std::size_t operator()(const URLReference& reference) const noexcept { return std::hash<FileURL>()(*reference.url); }
};

Key keyOf(const Track& track)
{
    return Key { &track.url, track.start, track.isWholeFile() };
}

} // namespace

std::vector<Track> newTracks(const std::vector<Track>& tracks, const std::vector<Track>& existing)
{
    std::unordered_set<Key, KeyHash> keys;
    std::unordered_set<URLReference, URLReferenceHash> urls;
    keys.reserve(existing.size() + tracks.size());
    urls.reserve(existing.size() + tracks.size());
    for (const Track& track : existing) {
        keys.insert(keyOf(track));
        urls.insert(URLReference { &track.url });
    }

    std::vector<Track> kept;
    for (const Track& track : tracks) {
        const bool isDuplicate = track.isWholeFile() ? urls.contains(URLReference { &track.url }) : keys.contains(keyOf(track));
        if (isDuplicate)
            continue;
        keys.insert(keyOf(track));
        urls.insert(URLReference { &track.url });
        kept.push_back(track);
    }
    return kept;
}

std::vector<std::size_t> wholeFiles(const std::vector<Track>& tracks, const std::vector<Track>& added)
{
    std::unordered_set<FileURL> cueURLs;
    for (const Track& track : added) {
        if (!track.isWholeFile())
            cueURLs.insert(track.url);
    }
    std::vector<std::size_t> rows;
    if (cueURLs.empty())
        return rows;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        if (tracks[i].isWholeFile() && cueURLs.contains(tracks[i].url))
            rows.push_back(i);
    }
    return rows;
}

std::vector<Track> candidates(const std::vector<Track>& tracks, Index from, Index step, bool wraps)
{
    const auto count = static_cast<Index>(tracks.size());
    std::vector<Track> order;
    if (count == 0)
        return order;
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

std::vector<FileURL> remoteFiles(const std::vector<Track>& tracks, std::optional<Index> current)
{
    // The wrapping candidate order from the current track, walked by index to spare copies.
    std::vector<FileURL> urls;
    std::unordered_set<FileURL> seen;
    const auto count = static_cast<Index>(tracks.size());
    const Index from = current.value_or(0);
    for (Index k = 0; k < count; ++k) {
        const Track& track = tracks[static_cast<std::size_t>(((from + k) % count + count) % count)];
        if (track.isRemote && seen.insert(track.url).second)
            urls.push_back(track.url);
    }
    return urls;
}

} // namespace lh::Playlist
