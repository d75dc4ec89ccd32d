#include "Announce.h"
#include "PlaylistListView.h"

#include <QAccessible>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace lh {
namespace {

// The list as a screen reader holds it: row interfaces kept by their ids, as the reader keeps
// them between its calls, and the events the list sends.
struct AccessiblePlaylistTest : ::testing::Test {
    static constexpr int rowsInView = 5;

    PlaylistListView list;
    std::vector<QAccessible::Event> sent;

    AccessiblePlaylistTest()
    {
        list.resize(300, rowsInView * PlaylistListView::rowHeight + 2 * list.frameWidth());
        list.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&list));
        accessibilityObserver = [this](const QAccessibleEvent& event) {
            if (event.object() == &list)
                sent.push_back(event.type());
        };
    }
    ~AccessiblePlaylistTest() override { accessibilityObserver = nullptr; }

    void setRows(QStringList titles, QStringList times = {})
    {
        list.setRows(std::make_shared<TextRows>(std::move(titles), std::move(times)));
    }

    QAccessibleInterface* table() { return QAccessible::queryAccessibleInterface(&list); }
    QAccessible::Id hold(int row) { return QAccessible::uniqueId(table()->child(row)); }
    // What the reader hears of a row it holds: nothing once the row was dropped.
    static std::optional<std::string> nameOf(QAccessible::Id id)
    {
        QAccessibleInterface* row = QAccessible::accessibleInterface(id);
        if (!row)
            return std::nullopt;
        return row->text(QAccessible::Name).toStdString();
    }
};

TEST_F(AccessiblePlaylistTest, AHeldRowNeverNamesAnotherTrackAfterAnEdit)
{
    const QStringList before { "A", "B", "C" };
    struct Case {
        const char* edit;
        QStringList after;
        QStringList afterTimes;
        std::vector<bool> kept; // of the three rows held
    };
    for (const Case& c : {
             Case { "a row inserted above", { "Z", "A", "B", "C" }, {}, { false, false, false } },
             Case { "the first row removed", { "B", "C" }, {}, { false, false, false } },
             Case { "the last row removed", { "A", "B" }, {}, { true, true, false } },
             Case { "a row renamed", { "A", "X", "C" }, {}, { true, false, true } },
             Case { "the durations read", { "A", "B", "C" }, { "1:00", "2:00", "3:00" }, { true, true, true } },
             Case { "the list emptied", {}, {}, { false, false, false } },
         }) {
        setRows(before);
        const std::vector<QAccessible::Id> held { hold(0), hold(1), hold(2) };
        sent.clear();
        setRows(c.after, c.afterTimes);
        EXPECT_NE(std::find(sent.begin(), sent.end(), QAccessible::TableModelChanged), sent.end()) << c.edit;
        for (std::size_t row = 0; row < held.size(); ++row) {
            if (c.kept[row])
                EXPECT_EQ(nameOf(held[row]), before.at(qsizetype(row)).toStdString()) << c.edit << ", row " << row;
            else
                EXPECT_EQ(nameOf(held[row]), std::nullopt) << c.edit << ", row " << row;
        }
        // Asked again, each row names what the list shows.
        for (int row = 0; row < table()->childCount(); ++row)
            EXPECT_EQ(table()->child(row)->text(QAccessible::Name), c.after.at(row)) << c.edit;
    }
}

TEST_F(AccessiblePlaylistTest, OnlyTheRowsInViewAndTheFocusedOneOutliveAChange)
{
    QStringList titles;
    for (int i = 0; i < 1000; ++i)
        titles << QStringLiteral("Song %1").arg(i);
    setRows(titles);
    list.toggleRow(700); // the selection's head, where the keyboard is
    list.verticalScrollBar()->setValue(100 * PlaylistListView::rowHeight);

    // Every row asked for, as a reader asking for the cells of a selected list would.
    std::vector<QAccessible::Id> held;
    for (int row = 0; row < 1000; ++row)
        held.push_back(hold(row));
    setRows(titles, QStringList(1000, QStringLiteral("4:20")));

    std::vector<int> kept;
    for (int row = 0; row < 1000; ++row) {
        if (nameOf(held[std::size_t(row)]))
            kept.push_back(row);
    }
    EXPECT_EQ(kept, (std::vector<int> { 100, 101, 102, 103, 104, 700 }));
}

} // namespace
} // namespace lh
