#include "IndexSet.h"

#include <algorithm>

namespace lh {

IndexSet IndexSet::range(std::int64_t first, std::int64_t last)
{
    IndexSet set;
    if (first <= last)
        set.runs_.push_back({ first, last });
    return set;
}

std::int64_t IndexSet::count() const noexcept
{
    std::int64_t total = 0;
    for (const Run& run : runs_)
        total += run.last - run.first + 1;
    return total;
}

bool IndexSet::contains(std::int64_t index) const noexcept
{
    // The first run that ends at or after the index is the only one that can hold it.
    const auto run = std::lower_bound(runs_.begin(), runs_.end(), index,
        [](const Run& r, std::int64_t i) { return r.last < i; });
    return run != runs_.end() && run->first <= index;
}

std::optional<std::int64_t> IndexSet::first() const noexcept
{
    return runs_.empty() ? std::nullopt : std::optional(runs_.front().first);
}

std::optional<std::int64_t> IndexSet::last() const noexcept
{
    return runs_.empty() ? std::nullopt : std::optional(runs_.back().last);
}

void IndexSet::insert(const IndexSet& other)
{
    std::vector<Run> merged;
    merged.reserve(runs_.size() + other.runs_.size());
    std::merge(runs_.begin(), runs_.end(), other.runs_.begin(), other.runs_.end(), std::back_inserter(merged),
        [](const Run& a, const Run& b) { return a.first < b.first; });
    runs_.clear();
    for (const Run& run : merged) {
        // Overlapping or touching runs become one, keeping the runs canonical for comparison.
        if (!runs_.empty() && run.first <= runs_.back().last + 1)
            runs_.back().last = std::max(runs_.back().last, run.last);
        else
            runs_.push_back(run);
    }
}

void IndexSet::remove(std::int64_t index)
{
    const auto run = std::lower_bound(runs_.begin(), runs_.end(), index,
        [](const Run& r, std::int64_t i) { return r.last < i; });
    if (run == runs_.end() || run->first > index)
        return;
    const Run old = *run;
    const auto at = runs_.erase(run);
    std::vector<Run> pieces;
    if (old.first < index)
        pieces.push_back({ old.first, index - 1 });
    if (index < old.last)
        pieces.push_back({ index + 1, old.last });
    runs_.insert(at, pieces.begin(), pieces.end());
}

IndexSet IndexSet::below(std::int64_t limit) const
{
    IndexSet result;
    for (const Run& run : runs_) {
        if (run.first >= limit)
            break;
        result.runs_.push_back({ run.first, std::min(run.last, limit - 1) });
    }
    return result;
}

} // namespace lh
