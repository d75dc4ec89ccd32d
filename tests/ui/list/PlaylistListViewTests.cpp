#include "PlaylistListView.h"
#include "EventLoop.h"
#include "Theme.h"

#include <QImage>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace lh {
namespace {

using namespace std::chrono_literals;

QStringList numberedTitles(int count)
{
    QStringList titles;
    for (int i = 0; i < count; ++i)
        titles << QStringLiteral("Track %1").arg(i);
    return titles;
}

// A window holding the list that records the keys the list passes on.
class Window : public QWidget {
public:
    Window()
    {
        resize(300, 200);
        list.setGeometry(0, 0, 300, 200);
        list.onPlay = [this](std::int64_t row) { played.push_back(row); };
        list.onRemove = [this](const IndexSet& rows) { removed.push_back(rows); };
        list.onDropFiles = [this](std::vector<FileURL> files) { dropped.push_back(std::move(files)); };
        show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(this));
    }

    QPoint row(int r) const { return QPoint(100, r * PlaylistListView::rowHeight + 9); }
    QWidget* surface() { return list.viewport(); }

    PlaylistListView list { this };
    std::vector<std::int64_t> played;
    std::vector<IndexSet> removed;
    std::vector<std::vector<FileURL>> dropped;
    std::vector<int> passedKeys;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() != Qt::Key_Shift && event->key() != Qt::Key_Control)
            passedKeys.push_back(event->key());
    }
};

IndexSet rows(std::initializer_list<std::int64_t> indices)
{
    IndexSet set;
    for (std::int64_t i : indices)
        set.insert(i);
    return set;
}

TEST(PlaylistListView, MouseAndKeysReachTheCallbacks)
{
    Window w;
    w.list.setRows(std::make_shared<TextRows>(numberedTitles(5)));

    QTest::mouseDClick(w.surface(), Qt::LeftButton, {}, w.row(2));
    EXPECT_EQ(w.played, std::vector<std::int64_t>({ 2 }));
    EXPECT_TRUE(w.list.hasFocus());

    QTest::mouseClick(w.surface(), Qt::LeftButton, Qt::ControlModifier, w.row(4));
    EXPECT_EQ(w.list.selectedIndices(), rows({ 2, 4 }));
    QTest::mouseClick(w.surface(), Qt::LeftButton, Qt::ShiftModifier, w.row(0));
    EXPECT_EQ(w.list.selectedIndices(), rows({ 0, 1, 2, 3, 4 }));

    QTest::mouseClick(w.surface(), Qt::LeftButton, {}, w.row(1));
    QTest::keyClick(&w.list, Qt::Key_Down);
    QTest::keyClick(&w.list, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(w.list.selectedIndices(), rows({ 2, 3 }));
    QTest::keyClick(&w.list, Qt::Key_Return);
    QTest::keyClick(&w.list, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(w.played, std::vector<std::int64_t>({ 2, 2, 2 }));

    QTest::keyClick(&w.list, Qt::Key_Delete);
    EXPECT_EQ(w.removed, std::vector<IndexSet>({ rows({ 2, 3 }) }));
    EXPECT_TRUE(w.list.selectedIndices().isEmpty()); // at once, before the rows go

    // With nothing selected: Return is swallowed, Backspace removes nothing.
    QTest::keyClick(&w.list, Qt::Key_Return);
    QTest::keyClick(&w.list, Qt::Key_Backspace);
    EXPECT_EQ(w.played.size(), 3u);
    EXPECT_EQ(w.removed.size(), 1u);

    QTest::keyClick(&w.list, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(w.list.selectedIndices(), IndexSet::range(0, 4));
    QTest::keyClick(&w.list, Qt::Key_Backspace);
    EXPECT_EQ(w.removed.back(), IndexSet::range(0, 4));

    // Keys the list does not handle go to its parent.
    QTest::keyClick(&w.list, Qt::Key_Space);
    EXPECT_EQ(w.passedKeys, std::vector<int>({ Qt::Key_Space }));

    // A double-click below the last row clears the selection and plays nothing.
    QTest::mouseClick(w.surface(), Qt::LeftButton, {}, w.row(1));
    QTest::mouseDClick(w.surface(), Qt::LeftButton, {}, w.row(8));
    EXPECT_TRUE(w.list.selectedIndices().isEmpty());
    EXPECT_EQ(w.played.size(), 3u);
}

// Sends a drag carrying `uriList` over the list and drops it; returns whether the drop was taken.
bool drop(Window& w, const QByteArray& uriList)
{
    QMimeData data;
    data.setData(QStringLiteral("text/uri-list"), uriList);
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(w.surface(), &enter);
    EXPECT_EQ(w.list.isDropTargeted(), enter.isAccepted());
    QDropEvent dropped(QPointF(50, 50), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(w.surface(), &dropped);
    EXPECT_FALSE(w.list.isDropTargeted());
    return dropped.isAccepted();
}

TEST(PlaylistListView, DroppedFileNamesArriveByteForByte)
{
    Window w;
    // Latin-1 "é" (0xE9) is not UTF-8; a comment line, another scheme and a remote host are
    // left out.
    EXPECT_TRUE(drop(w, "# from a file manager\r\nfile:///music/caf%E9%20noir.flac\r\n"
                        "https://example.org/a.mp3\r\nfile://nas/a.mp3\r\nfile:///music/b.cue\r\n"));
    ASSERT_EQ(w.dropped.size(), 1u);
    EXPECT_EQ(w.dropped[0],
        std::vector<FileURL>({ FileURL(std::string("/music/caf\xE9 noir.flac")), FileURL("/music/b.cue") }));
}

TEST(PlaylistListView, DroppedFoldersArriveAsTheyAreMarkedOrNot)
{
    Window w;
    // Whether an unmarked path is a folder is for the add to find out, off the main thread.
    EXPECT_TRUE(drop(w, "file:///music/2%20Album/\r\nfile:///music/Artist\r\n"));
    ASSERT_EQ(w.dropped.size(), 1u);
    EXPECT_EQ(w.dropped[0], std::vector<FileURL>({ FileURL("/music/2 Album/", true), FileURL("/music/Artist") }));
}

TEST(PlaylistListView, DropWithoutFilesIsRefused)
{
    Window w;
    EXPECT_FALSE(drop(w, "https://example.org/a.mp3\r\n"));
    EXPECT_FALSE(drop(w, ""));
    EXPECT_TRUE(w.dropped.empty());
}

// Colours compared at the 8 bits per channel the image holds.
QRgb pixel(const QImage& image, int x, int y)
{
    return image.pixel(x, y);
}

QRgb rgb(const QColor& color)
{
    return color.rgb();
}

bool isDark(QRgb color)
{
    return qGray(color) < 100;
}

TEST(PlaylistListView, RowsShowSelectionStripesAndMarks)
{
    Window w;
    w.list.setRows(std::make_shared<TextRows>(numberedTitles(3), QStringList { QStringLiteral("3:01") },
        QList<bool> { false, true, true }));
    w.list.setPlayingIndex(2);
    QTest::mouseClick(w.surface(), Qt::LeftButton, {}, w.row(0));

    for (const bool focused : { true, false }) {
        QImage image(300, 200, QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&image);
        w.list.paint(painter, image.rect(), focused);
        painter.end();
        EXPECT_EQ(pixel(image, 200, 9), rgb(focused ? Theme::selection() : Theme::selectionUnfocused()));
        EXPECT_EQ(pixel(image, 200, 19 + 9), rgb(Theme::stripe()));
        EXPECT_EQ(pixel(image, 200, 38 + 9), qRgb(255, 255, 255));
        EXPECT_EQ(pixel(image, 200, 3 * 19 + 9), rgb(Theme::stripe())); // empty rows go on striping
        EXPECT_EQ(pixel(image, 200, 4 * 19 + 9), qRgb(255, 255, 255));
        // Row 1 has the download mark's tray; row 2 plays, so the speaker replaces the mark.
        EXPECT_LT(qGray(pixel(image, 9, 19 + 14)), 180);
        EXPECT_EQ(pixel(image, 9, 38 + 14), qRgb(255, 255, 255));
        EXPECT_TRUE(isDark(pixel(image, 7, 38 + 9)));
    }
}

TEST(PlaylistListView, AMillionRowsScrollToTheLastAndBack)
{
    Window w;
    w.list.setRows(std::make_shared<TextRows>(numberedTitles(1'000'000)));
    QTest::keyClick(&w.list, Qt::Key_End);
    const QImage image = w.surface()->grab().toImage();
    const int bottom = image.height() / image.devicePixelRatio();
    ASSERT_EQ(bottom, 200);
    // The last row (odd: striped) ends exactly at the bottom, with its title drawn.
    EXPECT_EQ(pixel(image, 290, bottom - 10), rgb(Theme::stripe()));
    EXPECT_EQ(pixel(image, 290, bottom - 19 - 10), qRgb(255, 255, 255));
    bool hasText = false;
    for (int x = 27; x < 120 && !hasText; ++x)
        hasText = isDark(pixel(image, x, bottom - 10));
    EXPECT_TRUE(hasText);

    QTest::mouseDClick(w.surface(), Qt::LeftButton, {}, QPoint(100, bottom - 5));
    EXPECT_EQ(w.played, std::vector<std::int64_t>({ 999'999 }));

    // Back to the top and down a page; scrolling leaves the selection alone.
    QTest::keyClick(&w.list, Qt::Key_Home);
    QTest::keyClick(&w.list, Qt::Key_PageDown);
    EXPECT_EQ(w.list.verticalScrollBar()->value(), 200);
    EXPECT_EQ(w.list.selectedIndices(), IndexSet::single(999'999));
    w.list.scrollToRow(999'999);
    EXPECT_EQ(w.list.verticalScrollBar()->value(), 19'000'000 - 200);
}

// The rightmost dark pixel of the first row's time column, or -1.
int timeTextEnd(PlaylistListView& list)
{
    QImage image(list.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    list.paint(painter, image.rect(), false);
    painter.end();
    int end = -1;
    for (int x = image.width() - 60; x < image.width(); ++x) {
        for (int y = 2; y < PlaylistListView::rowHeight - 2; ++y) {
            if (isDark(pixel(image, x, y)))
                end = x;
        }
    }
    return end;
}

TEST(PlaylistListView, TheScrollBarLeavesTheDurationsUncovered)
{
    Window w;
    const QStringList times { QStringLiteral("59:58"), QStringLiteral("1:00"), QStringLiteral("2:00") };
    w.list.setRows(std::make_shared<TextRows>(numberedTitles(3), times));
    const int unscrolled = timeTextEnd(w.list);
    EXPECT_GT(unscrolled, 300 - 10); // right-aligned to the column's margin

    w.list.setRows(std::make_shared<TextRows>(numberedTitles(50), times));
    QScrollBar& bar = *w.list.verticalScrollBar();
    ASSERT_TRUE(test::runEventsUntil([&] { return bar.isVisible(); }, 2s));
    const int scrolled = timeTextEnd(w.list);
    EXPECT_GT(scrolled, 0);
    EXPECT_LT(scrolled, bar.mapTo(&w.list, QPoint(0, 0)).x() - w.list.viewport()->x());

    w.list.setRows(std::make_shared<TextRows>(numberedTitles(3), times));
    EXPECT_EQ(timeTextEnd(w.list), unscrolled);
}

} // namespace
} // namespace lh
