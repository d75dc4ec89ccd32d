#include "PlaylistSelection.h"

#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

namespace lh {
namespace {

// "1,3-5" for the rows 1, 3, 4 and 5; "" for none.
std::string text(const IndexSet& set)
{
    QStringList parts;
    for (const IndexSet::Run& run : set.runs())
        parts << (run.first == run.last ? QString::number(run.first) : QStringLiteral("%1-%2").arg(run.first).arg(run.last));
    return parts.join(',').toStdString();
}

// Runs a script of user actions, e.g. "click 2, shift 4, rows 3", and returns the rows the last
// "remove" handed over.
IndexSet run(PlaylistSelection& selection, const QString& script)
{
    IndexSet removed;
    for (const QString& step : script.split(',', Qt::SkipEmptyParts)) {
        const QStringList words = step.split(' ', Qt::SkipEmptyParts);
        const QString& verb = words[0];
        const std::int64_t n = words.size() > 1 ? words[1].toLongLong() : 0;
        if (verb == "rows")
            selection.setRowCount(n);
        else if (verb == "click")
            selection.click(n, {});
        else if (verb == "shift")
            selection.click(n, { .extend = true });
        else if (verb == "ctrl")
            selection.click(n, { .toggle = true });
        else if (verb == "down" || verb == "up" || verb == "shiftdown" || verb == "shiftup")
            selection.arrow(verb.endsWith("down") ? 1 : -1, verb.startsWith("shift"));
        else if (verb == "all")
            selection.selectAll();
        else if (verb == "remove")
            removed = selection.removeSelected();
        else
            ADD_FAILURE() << "unknown step " << step.toStdString();
    }
    return removed;
}

struct SelectionCase {
    const char* what;
    const char* script; // starts with 6 rows
    const char* selected;
    const char* removed = "";
};

void PrintTo(const SelectionCase& c, std::ostream* out)
{
    *out << c.what;
}

class SelectionRules : public ::testing::TestWithParam<SelectionCase> { };

TEST_P(SelectionRules, LeaveTheExpectedRowsSelected)
{
    const SelectionCase& c = GetParam();
    PlaylistSelection selection;
    selection.setRowCount(6);
    const IndexSet removed = run(selection, QString::fromUtf8(c.script));
    EXPECT_EQ(text(selection.selectedIndices()), c.selected) << c.what;
    EXPECT_EQ(text(removed), c.removed) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Selection, SelectionRules,
    ::testing::Values(
        SelectionCase { "removing the selected last row selects the new last", "click 5, rows 5", "4" },
        SelectionCase { "a multiple selection keeps what remains", "click 2, ctrl 5, rows 5", "2" },
        SelectionCase { "no rows left, nothing selected", "click 5, rows 0", "" },
        SelectionCase { "a single row before the end is kept", "click 1, rows 3", "1" },
        SelectionCase { "shift-click extends from the anchor", "click 2, shift 4", "2-4" },
        SelectionCase { "a second shift-click replaces the range", "click 2, shift 4, shift 0", "0-2" },
        SelectionCase { "shift-click adds to toggled rows", "ctrl 1, ctrl 3, shift 5", "1,3-5" },
        SelectionCase { "ctrl-click toggles a row off", "click 1, ctrl 3, ctrl 1", "3" },
        SelectionCase { "shift-click without an anchor is a plain click", "shift 3", "3" },
        SelectionCase { "after select all, shift-click keeps every row", "all, shift 2", "0-5" },
        SelectionCase { "after select all, a click selects one row", "all, shift 2, click 2", "2" },
        SelectionCase { "down with nothing selected takes row 0", "down", "0" },
        SelectionCase { "up with nothing selected takes row 0", "up", "0" },
        SelectionCase { "up on row 0 stays", "click 0, up", "0" },
        SelectionCase { "down on the last row stays", "click 5, down", "5" },
        SelectionCase { "down moves past the last selected row", "click 1, ctrl 3, down", "4" },
        SelectionCase { "up moves before the first selected row", "click 1, ctrl 3, up", "0" },
        SelectionCase { "shift-down from the last row stays", "click 5, shiftdown", "5" },
        SelectionCase { "shift-up from row 0 stays", "click 0, shiftup", "0" },
        SelectionCase { "shift-arrows move the head past the anchor", "click 2, shiftdown, shiftdown, shiftup, shiftup, shiftup",
            "1-2" },
        SelectionCase { "a click below the last row clears the selection", "click 2, click 9", "" },
        SelectionCase { "the anchor survives a click below the rows", "click 2, click 9, shift 4", "2-4" },
        SelectionCase { "a head past the end moves the anchor to the last selected row", "click 2, shift 5, rows 4, shift 0",
            "0-3" },
        SelectionCase { "remove hands over the selection and clears it", "click 1, shift 2, remove", "", "1-2" },
        SelectionCase { "remove with nothing selected does nothing", "remove", "", "" },
        SelectionCase { "remove forgets the anchor", "click 1, remove, shift 3", "3", "1" },
        SelectionCase { "select all with no rows selects nothing", "rows 0, all, down", "" }));

TEST(IndexSet, MergesTouchingRunsAndSplitsOnRemoval)
{
    IndexSet set = IndexSet::range(0, 2);
    set.insert(IndexSet::range(5, 6));
    set.insert(3);
    EXPECT_EQ(text(set), "0-3,5-6");
    set.insert(4);
    EXPECT_EQ(text(set), "0-6");
    set.remove(3);
    EXPECT_EQ(text(set), "0-2,4-6");
    EXPECT_EQ(set.count(), 6);
    EXPECT_FALSE(set.contains(3));
    EXPECT_TRUE(set.contains(6));
    EXPECT_EQ(text(set.below(5)), "0-2,4");
}

} // namespace
} // namespace lh
