#include "WindowMover.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace lh {

WindowMover::WindowMover(QWidget& surface)
    : QObject(&surface)
    , surface(surface)
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
        const bool wasMoving = grip.has_value();
        grip.reset();
        return wasMoving;
    }
    default:
        return false;
    }
}

bool WindowMover::press(const QMouseEvent& event)
{
    if (event.button() != Qt::LeftButton)
        return false;
    QWidget* window = surface.window();
    if (QWindow* handle = window->windowHandle(); handle && handle->startSystemMove())
        return true;
    grip = event.globalPosition().toPoint() - window->pos();
    return true;
}

bool WindowMover::move(const QMouseEvent& event)
{
    if (!grip)
        return false;
    if (!(event.buttons() & Qt::LeftButton)) {
        grip.reset(); // the release went elsewhere (a grab was lost)
        return false;
    }
    surface.window()->move(event.globalPosition().toPoint() - *grip);
    return true;
}

} // namespace lh
