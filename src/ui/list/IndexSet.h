#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace lh {

// A set of row indices kept as sorted, disjoint, non-touching runs, so that "every row" of a
// million-row playlist is one run rather than a million entries.
class IndexSet {
public:
    struct Run {
        std::int64_t first;
        std::int64_t last; // inclusive
        bool operator==(const Run&) const = default;
    };

    IndexSet() = default;
    // The rows first … last; empty when last < first.
    static IndexSet range(std::int64_t first, std::int64_t last);
    static IndexSet single(std::int64_t index) { return range(index, index); }

    bool isEmpty() const noexcept { return runs_.empty(); }
    std::int64_t count() const noexcept;
    bool contains(std::int64_t index) const noexcept;
    std::optional<std::int64_t> first() const noexcept;
    std::optional<std::int64_t> last() const noexcept;
    const std::vector<Run>& runs() const noexcept { return runs_; }

    void insert(std::int64_t index) { insert(range(index, index)); }
    void insert(const IndexSet& other);
    void remove(std::int64_t index);
    // The indices below `limit`.
    IndexSet below(std::int64_t limit) const;

    bool operator==(const IndexSet&) const = default;

private:
    std::vector<Run> runs_;
};

} // namespace lh
