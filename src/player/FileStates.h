#pragma once

#include "FileState.h"
#include "FileURL.h"
#include "SharedValue.h"

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace lh {

using FileStateMap = std::unordered_map<FileURL, FileState>;

// What each network file of the playlist shows, as one value that never changes once made and
// is shared by every copy (as `SharedValue`).
//
// Copies ahead change a few files' states many times a second while the list names tens of
// thousands of files: a change that copied the whole map held the main thread for milliseconds
// each time, and a hundred when reports queued up. So the value is a large map that changes
// rarely with a small one of the latest changes on top; a change copies only the small one,
// and the two are folded into a new large one once the small one has outgrown about the square
// root of the large one's size, so a change costs O(√n) however long the list.
class FileStates {
public:
    using Change = std::pair<FileURL, std::optional<FileState>>; // no state: the entry goes

    FileStates() = default;
    // Implicit, as SharedValue's: a map is what this stands for.
    FileStates(FileStateMap states);
    FileStates(std::initializer_list<FileStateMap::value_type> states);

    std::optional<FileState> state(const FileURL& url) const;
    bool contains(const FileURL& url) const { return state(url).has_value(); }
    FileState at(const FileURL& url) const; // throws std::out_of_range when there is none
    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    // The whole map, made afresh: for work off the main thread and for tests.
    FileStateMap map() const;

    // A new value with `changes` applied in order.
    FileStates with(const std::vector<Change>& changes) const;
    // A new value made from the whole map changed by `change` (a background rebuild).
    template <class Edit>
    FileStates modified(Edit&& edit) const
    {
        FileStateMap all = map();
        std::forward<Edit>(edit)(all);
        return FileStates(std::move(all));
    }

    // Whether this and `other` are copies of one value (not merely equal ones).
    bool isSameAs(const FileStates& other) const noexcept;
    // Whether the two share their large map: a change to one made the other without copying it.
    bool sharesBulkWith(const FileStates& other) const noexcept { return base_.isSameAs(other.base_); }

    friend bool operator==(const FileStates& a, const FileStates& b);
    friend bool operator==(const FileStates& a, const FileStateMap& b);

private:
    using Overrides = std::unordered_map<FileURL, std::optional<FileState>>;

    std::optional<FileState> baseState(const FileURL& url) const;
    bool isDueForFold(std::size_t overrides) const noexcept;

    SharedValue<FileStateMap> base_;
    SharedValue<Overrides> recent_;
    std::size_t size_ = 0;
};

} // namespace lh
