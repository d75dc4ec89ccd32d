#include "PlaylistSelection.h"

#include <algorithm>

namespace lh {

void PlaylistSelection::setRowCount(std::int64_t count)
{
    rowCount_ = std::max<std::int64_t>(0, count);
    clampSelection();
}

void PlaylistSelection::setAnchor(std::optional<std::int64_t> row)
{
    anchor_ = row;
    head_ = row;
    base_ = selected_;
}

std::optional<std::int64_t> PlaylistSelection::extendSelection(std::int64_t row)
{
    if (!anchor_ || !isRow(row))
        return std::nullopt;
    head_ = row;
    IndexSet selection = base_;
    selection.insert(IndexSet::range(std::min(*anchor_, row), std::max(*anchor_, row)));
    selected_ = std::move(selection);
    return row;
}

std::int64_t PlaylistSelection::clampedRow(std::int64_t row) const noexcept
{
    return std::min(rowCount_ - 1, std::max<std::int64_t>(0, row));
}

std::optional<std::int64_t> PlaylistSelection::moveSelection(int step)
{
    if (rowCount_ == 0)
        return std::nullopt;
    const std::int64_t from = (step > 0 ? selected_.last() : selected_.first()).value_or(-1);
    const std::int64_t target = clampedRow(from + step);
    selected_ = IndexSet::single(target);
    setAnchor(target);
    return target;
}

std::optional<std::int64_t> PlaylistSelection::arrow(int step, bool extend)
{
    if (extend && head_)
        return extendSelection(clampedRow(*head_ + step));
    return moveSelection(step);
}

void PlaylistSelection::selectAll()
{
    selected_ = IndexSet::range(0, rowCount_ - 1);
    setAnchor(rowCount_ > 0 ? std::optional<std::int64_t>(0) : std::nullopt);
    head_ = rowCount_ > 0 ? std::optional(rowCount_ - 1) : std::nullopt;
}

void PlaylistSelection::clampSelection()
{
    IndexSet valid = selected_.below(rowCount_);
    if (valid.isEmpty() && selected_.count() == 1 && rowCount_ > 0)
        selected_ = IndexSet::single(rowCount_ - 1); // the removed last row hands its selection on
    else if (valid != selected_)
        selected_ = std::move(valid);
    if (anchor_ && !(isRow(*anchor_) && isRow(head_.value_or(*anchor_))))
        setAnchor(selected_.last());
}

IndexSet PlaylistSelection::removeSelected()
{
    if (selected_.isEmpty())
        return {};
    IndexSet removed = std::move(selected_);
    selected_ = IndexSet();
    setAnchor(std::nullopt);
    return removed;
}

std::optional<std::int64_t> PlaylistSelection::click(std::int64_t row, Modifiers modifiers)
{
    if (!isRow(row)) {
        selected_ = IndexSet(); // anchor, head and base stay
        return std::nullopt;
    }
    if (modifiers.extend && anchor_)
        return extendSelection(row);
    if (modifiers.toggle) {
        if (selected_.contains(row))
            selected_.remove(row);
        else
            selected_.insert(row);
    } else {
        selected_ = IndexSet::single(row);
    }
    setAnchor(row);
    return std::nullopt;
}

} // namespace lh
