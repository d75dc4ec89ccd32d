#pragma once

#include "Track.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace lh {

// The playlist's rows as a value that is never changed once made and is shared by every copy.
//
// The rows are kept in leaves of at most `leafCapacity` tracks, and a list is a short spine of
// shared leaves. An edit makes a new list that shares every leaf it does not touch: appending a
// row copies one leaf and the spine. The spine also tells, for each leaf, which of its tracks
// are rows of this list, so removing a row from a leaf shares the leaf as well, without its row,
// as long as at least half of its tracks stay; a leaf left with fewer has its rows copied. At a
// million rows that is what keeps an edit, and the window's repaint after it, within a frame,
// where a plain vector copied every row. Every leaf but the last holds at least half its
// capacity, so the spine stays short however the list was edited (a removed track may stay in
// memory as long as its leaf does: at most as many as the leaf still has rows).
//
// Copies cross threads freely: a save builds its stored form from the very list the window
// shows, and the old list is freed in the background.
class TrackList {
    struct Leaf;
    struct Spine;
    using Mask = std::uint16_t; // bit k: track k of a leaf

public:
    static constexpr std::size_t leafCapacity = 16;
    static_assert(leafCapacity <= 16, "a leaf's rows are a 16-bit mask");

    class Iterator {
    public:
        using iterator_concept = std::forward_iterator_tag;
        using iterator_category = std::forward_iterator_tag;
        using value_type = Track;
        using difference_type = std::ptrdiff_t;
        using pointer = const Track*;
        using reference = const Track&;

        Iterator() = default;

        const Track& operator*() const;
        const Track* operator->() const { return &**this; }
        Iterator& operator++();
        Iterator operator++(int)
        {
            Iterator before = *this;
            ++*this;
            return before;
        }
        // The row this stands at.
        std::size_t row() const noexcept { return row_; }

        friend bool operator==(const Iterator& a, const Iterator& b) noexcept { return a.row_ == b.row_; }
        friend difference_type operator-(const Iterator& a, const Iterator& b) noexcept
        {
            return difference_type(a.row_) - difference_type(b.row_);
        }

    private:
        friend class TrackList;
        Iterator(const Spine* spine, std::size_t leaf, std::size_t offset, std::size_t row)
            : spine_(spine)
            , leaf_(leaf)
            , offset_(offset)
            , row_(row)
        {
        }

        const Spine* spine_ = nullptr;
        std::size_t leaf_ = 0;
        std::size_t offset_ = 0; // the track in the leaf
        std::size_t row_ = 0;
    };

    // Makes a list from rows and ranges of other lists, sharing the leaves a range covers whole.
    class Builder {
    public:
        Builder();
        Builder(Builder&&) noexcept;
        ~Builder();

        // Room for a spine of `leaves` leaves, spared growing on the way; a hint, not a bound.
        void reserveLeaves(std::size_t leaves);
        void append(Track track);
        void append(const std::vector<Track>& tracks);
        void append(std::vector<Track>&& tracks);
        // Rows [first, last) of `list`.
        void append(const TrackList& list, std::size_t first, std::size_t last);
        TrackList finish() &&;

    private:
        void appendShared(const std::shared_ptr<const Leaf>& leaf, Mask rows, Mask remote);
        void settleShared();
        void flush(std::size_t count);
        void push(std::shared_ptr<const Leaf> leaf, Mask rows, Mask remote);

        std::unique_ptr<Spine> spine_;
        std::vector<Track> pending_; // rows copied but not yet in a leaf; always fewer than a leaf holds
        // Rows of one leaf, the last appended, not yet shared or copied: the rows on both sides
        // of a removed one come in as two ranges and leave as one shared leaf.
        std::shared_ptr<const Leaf> shared_;
        Mask sharedRows_ = 0;
        Mask sharedRemote_ = 0;
    };

    using value_type = Track;
    using iterator = Iterator;
    using const_iterator = Iterator;

    TrackList();
    // Implicit, like the plain list it stands for.
    TrackList(const std::vector<Track>& tracks);
    TrackList(std::vector<Track>&& tracks);
    TrackList(std::initializer_list<Track> tracks);

    std::size_t size() const noexcept;
    bool empty() const noexcept { return size() == 0; }
    // Each call asks for a row in 0 ..< size().
    const Track& operator[](std::size_t row) const;
    const Track& front() const { return (*this)[0]; }
    const Track& back() const { return (*this)[size() - 1]; }

    Iterator begin() const { return from(0); }
    Iterator end() const;
    // An iterator at `row` (at most size()).
    Iterator from(std::size_t row) const;

    std::vector<Track> toVector() const;

    // The list with `tracks` after its rows.
    TrackList appending(const std::vector<Track>& tracks) const;
    // The list without the given rows, each in 0 ..< size().
    TrackList removing(const std::set<std::int64_t>& rows) const;

    // Calls `visit(row, track)` for each network row, in the order of the rows from `first` on
    // and then from the start up to it, passing over whole leaves without any.
    template <class Visit>
    void forEachRemote(std::size_t first, Visit&& visit) const
    {
        const std::size_t count = size();
        if (count == 0)
            return;
        first = first < count ? first : 0;
        visitRemote(first, count, visit);
        visitRemote(0, first, visit);
    }

    // Calls `visit(row, track)` for each of `rows`, each in 0 ..< size(), finding each row's leaf
    // onwards from the last one's rather than in the whole spine.
    template <class Visit>
    void forEachAt(const std::set<std::int64_t>& rows, Visit&& visit) const
    {
        std::size_t leaf = 0;
        for (const std::int64_t at : rows) {
            const auto row = std::size_t(at);
            leaf = leafOf(row, leaf);
            visit(row, spine_->leaves[leaf]->tracks[trackOf(leaf, row)]);
        }
    }

    // Whether this and `other` are copies of one list (not merely equal ones).
    bool isSameAs(const TrackList& other) const noexcept { return spine_ == other.spine_; }

    friend bool operator==(const TrackList& a, const TrackList& b);
    friend bool operator==(const TrackList& a, const std::vector<Track>& b);

private:
    struct Leaf {
        std::vector<Track> tracks;
    };
    // Which of a leaf's tracks are rows, and which of those are network rows: kept in the spine,
    // so that the walks over network rows and the edits read no leaf they do not need.
    struct Masks {
        Mask rows = 0; // never 0 in a spine
        Mask remote = 0;
    };
    struct Spine {
        std::vector<std::shared_ptr<const Leaf>> leaves;
        std::vector<Masks> masks;
        std::vector<std::size_t> ends; // the row after each leaf's last
    };

    // The track of `rows` that is the `n`th row of its leaf.
    static unsigned nthTrack(Mask rows, std::size_t n) noexcept
    {
        unsigned bits = rows;
        if ((bits & (bits + 1)) == 0) // tracks 0 ..< k, as in every leaf never removed from
            return unsigned(n);
        for (; n > 0; --n)
            bits &= bits - 1;
        return unsigned(std::countr_zero(bits));
    }
    // Tracks 0 ..< count of a leaf.
    static constexpr unsigned firstTracks(std::size_t count) noexcept { return (1u << count) - 1; }
    // How many rows of the leaf come before track `track`.
    static std::size_t rowsBefore(Mask rows, unsigned track) noexcept
    {
        return std::size_t(std::popcount(unsigned(rows) & firstTracks(track)));
    }

    explicit TrackList(std::shared_ptr<const Spine> spine);
    // The leaf holding `row`.
    std::size_t leafOf(std::size_t row) const;
    // The same, for a row in leaf `from` or after it.
    std::size_t leafOf(std::size_t row, std::size_t from) const;
    std::size_t leafStart(std::size_t leaf) const { return leaf == 0 ? 0 : spine_->ends[leaf - 1]; }
    // Which of leaf `leaf`'s tracks is `row`, a row the leaf holds.
    std::size_t trackOf(std::size_t leaf, std::size_t row) const { return nthTrack(spine_->masks[leaf].rows, row - leafStart(leaf)); }
    std::size_t leafCount() const noexcept { return spine_->leaves.size(); }

    template <class Visit>
    void visitRemote(std::size_t first, std::size_t last, Visit& visit) const
    {
        if (first >= last)
            return;
        for (std::size_t leaf = leafOf(first); leaf < spine_->leaves.size() && leafStart(leaf) < last; ++leaf) {
            const Masks masks = spine_->masks[leaf];
            if (masks.remote == 0)
                continue;
            const auto& tracks = spine_->leaves[leaf]->tracks;
            const std::size_t start = leafStart(leaf);
            for (unsigned bits = masks.remote; bits != 0; bits &= bits - 1) {
                const unsigned track = unsigned(std::countr_zero(bits));
                if (const std::size_t row = start + rowsBefore(masks.rows, track); row >= first && row < last)
                    visit(row, tracks[track]);
            }
        }
    }

    std::shared_ptr<const Spine> spine_; // never null
};

// The track at a playlist row; null for no row or one past either end (an index can outlive
// the edit that removed its row by a turn).
inline const Track* trackAt(const TrackList& tracks, std::optional<std::int64_t> index)
{
    if (!index || *index < 0 || *index >= static_cast<std::int64_t>(tracks.size()))
        return nullptr;
    return &tracks[static_cast<std::size_t>(*index)];
}

} // namespace lh
