#include "PlaylistIndex.h"

#include <algorithm>
#include <bit>

namespace lh {

namespace {

std::uint64_t mix(std::uint64_t value)
{
    // A 64-bit finaliser (splitmix64): a few bits of difference spread over every bit, so
    // fingerprints of similar inputs do not cluster in the table.
    value ^= value >> 30;
    value *= 0xbf58476d1ce4e5b9ULL;
    value ^= value >> 27;
    value *= 0x94d049bb133111ebULL;
    return value ^ (value >> 31);
}

} // namespace

std::uint64_t PlaylistIndex::fileKey(const FileURL& url)
{
    return mix(std::hash<FileURL>()(url));
}

std::uint64_t PlaylistIndex::entryKey(const Track& track)
{
    // -0.0 == 0.0 as a start, so both must give one key.
    const double start = track.start == 0.0 ? 0.0 : track.start;
    return mix(fileKey(track.url) ^ mix(std::bit_cast<std::uint64_t>(start) + 0x9e3779b97f4a7c15ULL));
}

template <class Tracks, class Get>
std::vector<std::uint64_t> PlaylistIndex::keysOf(const Tracks& tracks, Get get)
{
    std::vector<std::uint64_t> keys;
    keys.reserve(2 * tracks.size());
    for (const auto& element : tracks) {
        const Track& track = get(element);
        keys.push_back(fileKey(track.url));
        if (!track.isWholeFile())
            keys.push_back(entryKey(track));
    }
    return keys;
}

void PlaylistIndex::insert(const Track& track)
{
    add(fileKey(track.url));
    if (!track.isWholeFile())
        add(entryKey(track));
}

bool PlaylistIndex::insert(const std::vector<Track>& tracks)
{
    // Room for every file key at once rather than doubling all the way up; and each row's slot
    // asked of the memory a few rows ahead, since at a million rows nearly every look into the
    // table misses the cache.
    if (4 * (used_ + tracks.size()) > 3 * slots_.size())
        rebuild(live_ + tracks.size());
    constexpr std::size_t ahead = 8;
    bool mayRepeat = false;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        if (i + ahead < tracks.size())
            __builtin_prefetch(&slots_[fileKey(tracks[i + ahead].url) & (slots_.size() - 1)]);
        const Track& track = tracks[i];
        const bool isFileHeld = add(fileKey(track.url));
        mayRepeat |= track.isWholeFile() ? isFileHeld : add(entryKey(track));
    }
    return mayRepeat;
}

void PlaylistIndex::erase(const Track& track)
{
    remove(fileKey(track.url));
    if (!track.isWholeFile())
        remove(entryKey(track));
}

void PlaylistIndex::erase(const std::vector<Track>& tracks)
{
    removeAll(keysOf(tracks, [](const Track& track) -> const Track& { return track; }));
}

void PlaylistIndex::erase(const std::vector<const Track*>& tracks)
{
    removeAll(keysOf(tracks, [](const Track* track) -> const Track& { return *track; }));
}

bool PlaylistIndex::mayHold(const Track& track) const
{
    return track.isWholeFile() ? mayHoldFile(track.url) : contains(entryKey(track));
}

bool PlaylistIndex::mayHoldFile(const FileURL& url) const
{
    return contains(fileKey(url));
}

bool PlaylistIndex::contains(std::uint64_t key) const
{
    const Slot* slot = find(key);
    return slot && slot->count > 0;
}

const PlaylistIndex::Slot* PlaylistIndex::find(std::uint64_t key) const
{
    if (slots_.empty())
        return nullptr;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = key & mask;; i = (i + 1) & mask) {
        const Slot& slot = slots_[i];
        if (!slot.isUsed)
            return nullptr;
        if (slot.key == key)
            return &slot;
    }
}

bool PlaylistIndex::add(std::uint64_t key)
{
    if (Slot* slot = const_cast<Slot*>(find(key))) {
        live_ += slot->count == 0 ? 1 : 0;
        return slot->count++ > 0;
    }
    // At most three quarters used, erased keys included, so a probe always ends.
    if (4 * (used_ + 1) > 3 * slots_.size())
        rebuild(live_ + 1);
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = key & mask;
    while (slots_[i].isUsed)
        i = (i + 1) & mask;
    slots_[i] = Slot { key, 1, true };
    ++used_;
    ++live_;
    return false;
}

void PlaylistIndex::remove(std::uint64_t key)
{
    Slot* slot = const_cast<Slot*>(find(key));
    if (!slot || slot->count == 0)
        return; // never inserted: nothing to count down
    if (--slot->count == 0)
        --live_;
}

// Each key's slot is asked of the memory a few keys ahead, as insert() does.
void PlaylistIndex::removeAll(const std::vector<std::uint64_t>& keys)
{
    if (slots_.empty())
        return;
    constexpr std::size_t ahead = 8;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (i + ahead < keys.size())
            __builtin_prefetch(&slots_[keys[i + ahead] & (slots_.size() - 1)]);
        remove(keys[i]);
    }
}

// Sized for twice the live keys, so that the erased ones of many removals do not make it grow.
void PlaylistIndex::rebuild(std::size_t liveKeys)
{
    std::vector<Slot> old = std::exchange(slots_, std::vector<Slot>(std::bit_ceil(std::max<std::size_t>(16, 2 * liveKeys))));
    used_ = 0;
    live_ = 0;
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
        if (!slot.isUsed || slot.count == 0)
            continue;
        std::size_t i = slot.key & mask;
        while (slots_[i].isUsed)
            i = (i + 1) & mask;
        slots_[i] = slot;
        ++used_;
        ++live_;
    }
}

} // namespace lh
