#include "TrackList.h"

#include <algorithm>
#include <bit>
#include <utility>

namespace lh {

namespace {

constexpr std::size_t halfLeaf = TrackList::leafCapacity / 2;

} // namespace

const Track& TrackList::Iterator::operator*() const
{
    return spine_->leaves[leaf_]->tracks[offset_];
}

TrackList::Iterator& TrackList::Iterator::operator++()
{
    ++row_;
    if (const unsigned later = unsigned(spine_->masks[leaf_].rows) >> (offset_ + 1); later != 0) {
        offset_ += 1 + std::size_t(std::countr_zero(later));
        return *this;
    }
    ++leaf_;
    offset_ = leaf_ < spine_->leaves.size() ? std::size_t(std::countr_zero(unsigned(spine_->masks[leaf_].rows))) : 0;
    return *this;
}

TrackList::Builder::Builder()
    : spine_(std::make_unique<Spine>())
{
    pending_.reserve(leafCapacity);
}

TrackList::Builder::Builder(Builder&&) noexcept = default;
TrackList::Builder::~Builder() = default;

void TrackList::Builder::reserveLeaves(std::size_t leaves)
{
    spine_->leaves.reserve(leaves);
    spine_->masks.reserve(leaves);
    spine_->ends.reserve(leaves);
}

void TrackList::Builder::append(Track track)
{
    settleShared();
    pending_.push_back(std::move(track));
    if (pending_.size() == leafCapacity)
        flush(leafCapacity);
}

void TrackList::Builder::append(const std::vector<Track>& tracks)
{
    for (const Track& track : tracks)
        append(track);
}

void TrackList::Builder::append(std::vector<Track>&& tracks)
{
    for (Track& track : tracks)
        append(std::move(track));
}

void TrackList::Builder::append(const TrackList& list, std::size_t first, std::size_t last)
{
    last = std::min(last, list.size());
    if (first >= last)
        return;
    const Spine& spine = *list.spine_;
    for (std::size_t leaf = list.leafOf(first); leaf < spine.leaves.size() && list.leafStart(leaf) < last; ++leaf) {
        // Sharing a leaf counts it, and at a million rows nearly every count misses the cache:
        // each is asked of the memory a few leaves ahead. make_shared keeps the counts just
        // before the leaf itself.
        if (const std::size_t ahead = leaf + 8; ahead < spine.leaves.size())
            __builtin_prefetch(reinterpret_cast<const char*>(spine.leaves[ahead].get()) - sizeof(long), 1);
        const std::size_t start = list.leafStart(leaf);
        const std::size_t end = spine.ends[leaf];
        Masks masks = spine.masks[leaf];
        if (first > start || end > last) {
            const unsigned from = nthTrack(masks.rows, std::max(first, start) - start);
            const unsigned to = nthTrack(masks.rows, std::min(last, end) - 1 - start);
            const auto range = Mask(firstTracks(to + 1) & ~firstTracks(from));
            masks = { Mask(masks.rows & range), Mask(masks.remote & range) };
        }
        appendShared(spine.leaves[leaf], masks.rows, masks.remote);
    }
}

// Rows of a leaf are held back until the next append, which may bring more rows of the same
// leaf, further on in it: those join them.
void TrackList::Builder::appendShared(const std::shared_ptr<const Leaf>& leaf, Mask rows, Mask remote)
{
    if (sharedRows_ != 0 && shared_ == leaf && int(std::bit_width(unsigned(sharedRows_))) <= std::countr_zero(unsigned(rows))) {
        sharedRows_ |= rows;
        sharedRemote_ |= remote;
        return;
    }
    settleShared();
    shared_ = leaf;
    sharedRows_ = rows;
    sharedRemote_ = remote;
}

// A leaf is shared when its rows and the rows before it each fill at least half a leaf;
// otherwise its rows are copied, and rows that outgrow a leaf are split into two, each over half
// full. So a removal near the front does not shift every later leaf, and no leaf but the last is
// small. The masks come from the spine: a leaf shared is not read at all.
void TrackList::Builder::settleShared()
{
    if (sharedRows_ == 0)
        return;
    const Mask rows = std::exchange(sharedRows_, 0);
    std::shared_ptr<const Leaf> leaf = std::move(shared_);
    if (std::size_t(std::popcount(rows)) >= halfLeaf && (pending_.empty() || pending_.size() >= halfLeaf)) {
        flush(pending_.size());
        push(std::move(leaf), rows, sharedRemote_);
        return;
    }
    for (unsigned bits = rows; bits != 0; bits &= bits - 1)
        pending_.push_back(leaf->tracks[std::size_t(std::countr_zero(bits))]);
    if (pending_.size() > leafCapacity)
        flush(pending_.size() / 2);
    if (pending_.size() == leafCapacity)
        flush(leafCapacity);
}

// Makes a leaf of the first `count` pending rows.
void TrackList::Builder::flush(std::size_t count)
{
    if (count == 0)
        return;
    auto leaf = std::make_shared<Leaf>();
    if (count == pending_.size()) {
        leaf->tracks = std::exchange(pending_, {});
        pending_.reserve(leafCapacity);
    } else {
        const auto last = pending_.begin() + std::ptrdiff_t(count);
        leaf->tracks.reserve(leafCapacity);
        std::move(pending_.begin(), last, std::back_inserter(leaf->tracks));
        pending_.erase(pending_.begin(), last);
    }
    Mask remote = 0;
    for (std::size_t track = 0; track < leaf->tracks.size(); ++track) {
        if (leaf->tracks[track].isRemote)
            remote |= Mask(1u << track);
    }
    const auto rows = Mask(firstTracks(leaf->tracks.size()));
    push(std::move(leaf), rows, remote);
}

void TrackList::Builder::push(std::shared_ptr<const Leaf> leaf, Mask rows, Mask remote)
{
    const std::size_t before = spine_->ends.empty() ? 0 : spine_->ends.back();
    spine_->ends.push_back(before + std::size_t(std::popcount(rows)));
    spine_->leaves.push_back(std::move(leaf));
    spine_->masks.push_back({ rows, remote });
}

TrackList TrackList::Builder::finish() &&
{
    settleShared();
    flush(pending_.size());
    return TrackList(std::shared_ptr<const Spine>(std::move(spine_)));
}

TrackList::TrackList()
    : spine_(std::make_shared<const Spine>())
{
}

TrackList::TrackList(const std::vector<Track>& tracks)
    : TrackList(std::vector<Track>(tracks))
{
}

// A restore hands over a million tracks: moved into the leaves, none is copied and destroyed.
TrackList::TrackList(std::vector<Track>&& tracks)
{
    Builder builder;
    builder.reserveLeaves(tracks.size() / leafCapacity + 1);
    builder.append(std::move(tracks));
    *this = std::move(builder).finish();
}

TrackList::TrackList(std::initializer_list<Track> tracks)
    : TrackList(std::vector<Track>(tracks))
{
}

TrackList::TrackList(std::shared_ptr<const Spine> spine)
    : spine_(std::move(spine))
{
}

std::size_t TrackList::size() const noexcept
{
    return spine_->ends.empty() ? 0 : spine_->ends.back();
}

std::size_t TrackList::leafOf(std::size_t row) const
{
    return std::size_t(std::ranges::upper_bound(spine_->ends, row) - spine_->ends.begin());
}

// Steps that double from `from`, then a binary search in the last step: rows close together
// cost a look or two, rows far apart no more than the search over the whole spine.
std::size_t TrackList::leafOf(std::size_t row, std::size_t from) const
{
    const auto& ends = spine_->ends;
    std::size_t low = from;
    std::size_t high = from;
    for (std::size_t step = 1; high < ends.size() && ends[high] <= row; step *= 2) {
        low = high + 1;
        high += step;
    }
    const auto last = ends.begin() + std::ptrdiff_t(std::min(high + 1, ends.size()));
    return std::size_t(std::upper_bound(ends.begin() + std::ptrdiff_t(low), last, row) - ends.begin());
}

const Track& TrackList::operator[](std::size_t row) const
{
    const std::size_t leaf = leafOf(row);
    return spine_->leaves[leaf]->tracks[trackOf(leaf, row)];
}

TrackList::Iterator TrackList::end() const
{
    return Iterator(spine_.get(), spine_->leaves.size(), 0, size());
}

TrackList::Iterator TrackList::from(std::size_t row) const
{
    if (row >= size())
        return end();
    const std::size_t leaf = leafOf(row);
    return Iterator(spine_.get(), leaf, trackOf(leaf, row), row);
}

std::vector<Track> TrackList::toVector() const
{
    std::vector<Track> tracks;
    tracks.reserve(size());
    for (const Track& track : *this)
        tracks.push_back(track);
    return tracks;
}

TrackList TrackList::appending(const std::vector<Track>& tracks) const
{
    Builder builder;
    builder.reserveLeaves(leafCount() + tracks.size() / leafCapacity + 1);
    builder.append(*this, 0, size());
    builder.append(tracks);
    return std::move(builder).finish();
}

TrackList TrackList::removing(const std::set<std::int64_t>& rows) const
{
    // Rows taken out share or merge the leaves around them, which seldom makes the spine longer
    // than it was: twice its length, room for the worst case, would cost page faults each edit.
    Builder builder;
    builder.reserveLeaves(leafCount() + 1);
    std::size_t kept = 0;
    for (const std::int64_t row : rows) {
        builder.append(*this, kept, std::size_t(row));
        kept = std::size_t(row) + 1;
    }
    builder.append(*this, kept, size());
    return std::move(builder).finish();
}

bool operator==(const TrackList& a, const TrackList& b)
{
    return a.isSameAs(b) || (a.size() == b.size() && std::ranges::equal(a, b));
}

bool operator==(const TrackList& a, const std::vector<Track>& b)
{
    return a.size() == b.size() && std::ranges::equal(a, b);
}

} // namespace lh
