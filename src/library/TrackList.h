#pragma once

#include "Track.h"

#include <algorithm>
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
// row copies one leaf and the spine, removing rows copies the leaves around them. At a million
// rows that is what keeps an edit, and the window's repaint after it, within a frame, where a
// plain vector copied every row. Every leaf but the last holds at least half its capacity, so
// the spine stays short however the list was edited.
//
// Copies cross threads freely: a save builds its stored form from the very list the window
// shows, and the old list is freed in the background.
class TrackList {
    struct Leaf;
    struct Spine;

public:
    static constexpr std::size_t leafCapacity = 16; // at most 256: a leaf counts its rows in bytes

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
        std::size_t offset_ = 0;
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
        void append(const Track& track);
        void append(const std::vector<Track>& tracks);
        // Rows [first, last) of `list`.
        void append(const TrackList& list, std::size_t first, std::size_t last);
        TrackList finish() &&;

    private:
        void appendLeaf(const std::shared_ptr<const Leaf>& leaf, std::size_t size);
        void flush(std::size_t count);
        void push(std::shared_ptr<const Leaf> leaf, std::size_t size);

        std::unique_ptr<Spine> spine_;
        std::vector<Track> pending_; // rows copied but not yet in a leaf; always fewer than a leaf holds
    };

    using value_type = Track;
    using iterator = Iterator;
    using const_iterator = Iterator;

    TrackList();
    // Implicit, like the plain list it stands for.
    TrackList(const std::vector<Track>& tracks);
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

    // Whether this and `other` are copies of one list (not merely equal ones).
    bool isSameAs(const TrackList& other) const noexcept { return spine_ == other.spine_; }

    friend bool operator==(const TrackList& a, const TrackList& b);
    friend bool operator==(const TrackList& a, const std::vector<Track>& b);

private:
    struct Leaf {
        std::vector<Track> tracks;
        // Where its network rows are, so a walk over them reads no other row.
        std::vector<std::uint8_t> remoteRows;
    };
    struct Spine {
        std::vector<std::shared_ptr<const Leaf>> leaves;
        std::vector<std::size_t> ends; // the row after each leaf's last
    };

    explicit TrackList(std::shared_ptr<const Spine> spine);
    // The leaf holding `row`.
    std::size_t leafOf(std::size_t row) const;
    std::size_t leafStart(std::size_t leaf) const { return leaf == 0 ? 0 : spine_->ends[leaf - 1]; }
    std::size_t leafCount() const noexcept { return spine_->leaves.size(); }

    template <class Visit>
    void visitRemote(std::size_t first, std::size_t last, Visit& visit) const
    {
        if (first >= last)
            return;
        for (std::size_t leaf = leafOf(first); leaf < spine_->leaves.size() && leafStart(leaf) < last; ++leaf) {
            const Leaf& rows = *spine_->leaves[leaf];
            const std::size_t start = leafStart(leaf);
            for (const std::uint8_t offset : rows.remoteRows) {
                if (const std::size_t row = start + offset; row >= first && row < last)
                    visit(row, rows.tracks[offset]);
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
