#include "WindowMover.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace lh {

WindowMover::WindowMover(QWidget& surface, std::function<bool(QPointF at)> isBackground)
    : QObject(&surface)
    , surface(surface)
    , isBackground(std::move(isBackground))
{
    surface.installEventFilter(this);
}

bool WindowMover::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &surface)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        return press(static_cast<const QMouseEvent&>(*event));
    case QEvent::MouseMove:
        return move(static_cast<const QMouseEvent&>(*event));
    case QEvent::MouseButtonRelease: {
        const bool wasPressed = pressed.has_value();
        pressed.reset();
        return wasPressed;
    }
    default:
        return false;
    }
}

bool WindowMover::press(const QMouseEvent& event)
{
    if (event.button() != Qt::LeftButton || (isBackground && !isBackground(event.position())))
        return false;
    const QPoint at = event.globalPosition().toPoint();
    pressed = Press { at, at - surface.window()->pos() };
    return true;
}

bool WindowMover::move(const QMouseEvent& event)
{
    if (!pressed)
        return false;
    if (!(event.buttons() & Qt::LeftButton)) {
        pressed.reset(); // the release went elsewhere (a grab was lost)
        return false;
    }
    const QPoint at = event.globalPosition().toPoint();
    QWidget* window = surface.window();
    if (!pressed->isMovingByHand) {
        if ((at - pressed->at).manhattanLength() < QApplication::startDragDistance())
            return true;
        if (QWindow* handle = window->windowHandle(); handle && handle->startSystemMove()) {
            pressed.reset(); // the window manager has it now, release included
            return true;
        }
        pressed->isMovingByHand = true;
    }
    window->move(at - pressed->grip);
    return true;
}

} // namespace lh
