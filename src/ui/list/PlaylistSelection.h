#pragma once

#include "IndexSet.h"

#include <cstdint>
#include <optional>

namespace lh {

// The playlist's row selection apart from any drawing: the selected rows, the anchor and head of
// a Shift-extension, and the base selection the extension is added to. Rows are 0 … rowCount − 1.
//
// Operations that should bring a row into view return it; the caller scrolls. Plain value; no
// thread rules of its own.
class PlaylistSelection {
public:
    struct Modifiers {
        bool extend = false; // Shift
        bool toggle = false; // Ctrl (Command on the Mac)
    };

    std::int64_t rowCount() const noexcept { return rowCount_; }
    const IndexSet& selectedIndices() const noexcept { return selected_; }
    std::optional<std::int64_t> anchor() const noexcept { return anchor_; }
    std::optional<std::int64_t> head() const noexcept { return head_; }
    const IndexSet& baseSelection() const noexcept { return base_; }

    // The rows changed: the selection is clamped to them.
    void setRowCount(std::int64_t count);
    void select(IndexSet indices) { selected_ = std::move(indices); }

    // Fixes both ends of a later Shift-extension at `row` and makes the current selection its base.
    void setAnchor(std::optional<std::int64_t> row);
    // Selects the base plus the rows between the anchor and `row`. Nothing without an anchor or
    // for a row outside the list.
    std::optional<std::int64_t> extendSelection(std::int64_t row);
    // Selects the row after the last (step +1) or before the first (step −1) selected one;
    // row 0 when nothing is selected.
    std::optional<std::int64_t> moveSelection(int step);
    // An arrow key: with Shift it moves the head of the extension, otherwise the selection.
    std::optional<std::int64_t> arrow(int step, bool extend);
    void selectAll();
    void clampSelection();
    // Clears the selection and its anchor, returning the rows that were selected (nothing
    // changes when none are).
    IndexSet removeSelected();
    // A mouse-down on `row` (which may lie below the last row).
    std::optional<std::int64_t> click(std::int64_t row, Modifiers modifiers);

private:
    bool isRow(std::int64_t row) const noexcept { return row >= 0 && row < rowCount_; }
    std::int64_t clampedRow(std::int64_t row) const noexcept;

    std::int64_t rowCount_ = 0;
    IndexSet selected_;
    std::optional<std::int64_t> anchor_;
    std::optional<std::int64_t> head_;
    IndexSet base_;
};

} // namespace lh
