#include "TrackList.h"

#include <algorithm>
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
    if (++offset_ == spine_->leaves[leaf_]->tracks.size()) {
        ++leaf_;
        offset_ = 0;
    }
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
    spine_->ends.reserve(leaves);
}

void TrackList::Builder::append(const Track& track)
{
    pending_.push_back(track);
    if (pending_.size() == leafCapacity)
        flush(leafCapacity);
}

void TrackList::Builder::append(const std::vector<Track>& tracks)
{
    for (const Track& track : tracks)
        append(track);
}

void TrackList::Builder::append(const TrackList& list, std::size_t first, std::size_t last)
{
    last = std::min(last, list.size());
    if (first >= last)
        return;
    const Spine& spine = *list.spine_;
    for (std::size_t leaf = list.leafOf(first); leaf < spine.leaves.size() && list.leafStart(leaf) < last; ++leaf) {
        const std::size_t start = list.leafStart(leaf);
        const std::size_t end = spine.ends[leaf];
        if (first <= start && end <= last) {
            appendLeaf(spine.leaves[leaf], end - start);
            continue;
        }
        const auto& tracks = spine.leaves[leaf]->tracks;
        for (std::size_t row = std::max(first, start); row < std::min(last, end); ++row)
            append(tracks[row - start]);
    }
}

// A leaf is shared when it and the rows before it are each at least half full; otherwise its
// rows are copied, and rows that outgrow a leaf are split into two, each over half full. So a
// removal near the front does not shift every later leaf, and no leaf but the last is small.
// `size` comes from the spine: a leaf shared whole is not read at all.
void TrackList::Builder::appendLeaf(const std::shared_ptr<const Leaf>& leaf, std::size_t size)
{
    if (size >= halfLeaf && (pending_.empty() || pending_.size() >= halfLeaf)) {
        flush(pending_.size());
        push(leaf, size);
        return;
    }
    const auto& tracks = leaf->tracks;
    pending_.insert(pending_.end(), tracks.begin(), tracks.end());
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
    for (std::size_t row = 0; row < leaf->tracks.size(); ++row) {
        if (leaf->tracks[row].isRemote)
            leaf->remoteRows.push_back(std::uint8_t(row));
    }
    const std::size_t size = leaf->tracks.size();
    push(std::move(leaf), size);
}

void TrackList::Builder::push(std::shared_ptr<const Leaf> leaf, std::size_t size)
{
    const std::size_t before = spine_->ends.empty() ? 0 : spine_->ends.back();
    spine_->ends.push_back(before + size);
    spine_->leaves.push_back(std::move(leaf));
}

TrackList TrackList::Builder::finish() &&
{
    flush(pending_.size());
    return TrackList(std::shared_ptr<const Spine>(std::move(spine_)));
}

TrackList::TrackList()
    : spine_(std::make_shared<const Spine>())
{
}

TrackList::TrackList(const std::vector<Track>& tracks)
{
    Builder builder;
    builder.reserveLeaves(tracks.size() / leafCapacity + 1);
    builder.append(tracks);
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

const Track& TrackList::operator[](std::size_t row) const
{
    const std::size_t leaf = leafOf(row);
    return spine_->leaves[leaf]->tracks[row - leafStart(leaf)];
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
    return Iterator(spine_.get(), leaf, row - leafStart(leaf), row);
}

std::vector<Track> TrackList::toVector() const
{
    std::vector<Track> tracks;
    tracks.reserve(size());
    for (const auto& leaf : spine_->leaves)
        tracks.insert(tracks.end(), leaf->tracks.begin(), leaf->tracks.end());
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
