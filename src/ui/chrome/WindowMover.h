#pragma once

#include <QObject>
#include <QPoint>

#include <functional>
#include <optional>

class QMouseEvent;
class QWidget;

namespace lh {

// Makes a plain surface (the toolbar, the bottom bar, the column header, the speaker icons) drag
// its window. A left press on the surface itself, or one that a child passed on unhandled, hands
// the move to the window manager (QWindow::startSystemMove); where that is refused (no window
// manager) the window follows the pointer until the button is released. Controls inside the
// surface take their presses first, so they never move the window. The move starts only once the
// pointer has travelled the platform's drag distance with the button held: a window manager
// handed a move by a mere click would keep the window on the pointer after the release.
//
// Owned by the surface it watches. Main thread only.
class WindowMover : public QObject {
public:
    // Where the surface holds things of its own (`isBackground` false, in its coordinates),
    // presses are left to it.
    explicit WindowMover(QWidget& surface, std::function<bool(QPointF at)> isBackground = {});

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool press(const QMouseEvent& event);
    bool move(const QMouseEvent& event);

    QWidget& surface;
    std::function<bool(QPointF)> isBackground;
    struct Press {
        QPoint at; // global
        QPoint grip; // where the pointer holds the window, relative to its top-left
        bool isMovingByHand = false;
    };
    // From a left press on the surface until its release or until the window manager takes over.
    std::optional<Press> pressed;
};

} // namespace lh
