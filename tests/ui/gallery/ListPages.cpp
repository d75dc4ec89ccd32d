#include "Gallery.h"

#include "PlaylistListView.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QEventLoop>
#include <QMimeData>
#include <QTimer>

namespace lh::gallery {

namespace {

// The list as the window holds it: 360 wide, below the header.
class ListWindow {
public:
    explicit ListWindow(int height = 190)
    {
        window.resize(360, height);
        list.setGeometry(0, 0, 360, height);
        window.show();
        list.setFocus();
    }

    void fill()
    {
        QStringList titles { QStringLiteral("Opening"), QStringLiteral("Boards of Canada - Roygbiv"),
            QStringLiteral("A title far too long to fit in the name column of the playlist, cut at the tail"),
            QStringLiteral("東京の夜 · 서울"), QStringLiteral("Side B (Live at the Hall, 1979)"),
            QStringLiteral("Interlude"), QStringLiteral("Closing") };
        QStringList times { QStringLiteral("3:41"), QStringLiteral("2:31"), QStringLiteral("12:05"),
            QStringLiteral("4:02"), QStringLiteral("61:17"), QStringLiteral("0:48") };
        list.setRows(std::make_shared<TextRows>(std::move(titles), std::move(times),
            QList<bool> { false, false, true, true, false, true, false }));
        list.setPlayingIndex(1);
    }

    QWidget window;
    PlaylistListView list { &window };
};

// A click at height y of the visible rows.
void click(PlaylistListView& list, int y, Qt::KeyboardModifiers modifiers = {})
{
    const QPointF at(100, y);
    QMouseEvent press(QEvent::MouseButtonPress, at, list.viewport()->mapToGlobal(at), Qt::LeftButton,
        Qt::LeftButton, modifiers);
    QApplication::sendEvent(list.viewport(), &press);
}

const Page lists("list", [](const Camera& camera) {
    {
        ListWindow empty;
        camera.shoot("list-empty", empty.window);
    }
    {
        ListWindow rows;
        rows.fill();
        camera.shoot("list-rows", rows.window);
        click(rows.list, 1 * 19 + 9);
        click(rows.list, 3 * 19 + 9, Qt::ShiftModifier);
        click(rows.list, 5 * 19 + 9, Qt::ControlModifier);
        camera.shoot("list-selection-focused", rows.window);
        rows.list.clearFocus();
        camera.shoot("list-selection-unfocused", rows.window);

        QMimeData files;
        files.setData(QStringLiteral("text/uri-list"), "file:///music/a.flac\r\n");
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &files, Qt::LeftButton, {});
        QApplication::sendEvent(rows.list.viewport(), &enter);
        camera.shoot("list-drop-frame", rows.window);
    }
    {
        ListWindow million(120);
        QStringList titles;
        titles.reserve(1'000'000);
        for (int i = 0; i < 1'000'000; ++i)
            titles << QStringLiteral("Track %1").arg(i + 1);
        million.list.setRows(
            std::make_shared<TextRows>(std::move(titles), QStringList(1'000'000, QStringLiteral("4:20"))));
        million.list.scrollToRow(999'999);
        // Scrolling flashes the overlay scroll bar; let it appear.
        QEventLoop wait;
        QTimer::singleShot(100, &wait, &QEventLoop::quit);
        wait.exec();
        click(million.list, million.list.viewport()->height() - 5);
        million.list.setPlayingIndex(999'997);
        camera.shoot("list-million-end", million.window);
    }
});

} // namespace

} // namespace lh::gallery
