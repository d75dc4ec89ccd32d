#include "ResizeGripView.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include <algorithm>

namespace lh {

ResizeGripView::ResizeGripView(QWidget* parent)
    : QWidget(parent)
{
    setCursor(Qt::SizeVerCursor);
    resize(sizeHint());
}

QSize ResizeGripView::sizeHint() const
{
    return QSize(side, side);
}

int ResizeGripView::draggedHeight(int startHeight, int startPointerY, int pointerY, int minimum, int maximum)
{
    // Computed wide so that an unbounded maximum (QWIDGETSIZE_MAX) cannot overflow.
    const long long wanted = static_cast<long long>(startHeight) + pointerY - startPointerY;
    return static_cast<int>(std::min<long long>(std::max<long long>(wanted, minimum), maximum));
}

void ResizeGripView::paint(QPainter& painter, const QSizeF& size)
{
    const double maxX = size.width();
    const double maxY = size.height();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QPen dark(QColor::fromRgbF(0.42f, 0.42f, 0.42f), 1, Qt::SolidLine, Qt::FlatCap);
    const QPen light(QColor::fromRgbF(1, 1, 1, 0.75f), 1, Qt::SolidLine, Qt::FlatCap);
    for (const double d : { 4.0, 8.0, 12.0 }) {
        painter.setPen(dark);
        painter.drawLine(QPointF(maxX - d - 1.5, maxY - 2.5), QPointF(maxX - 2.5, maxY - d - 1.5));
        painter.setPen(light);
        painter.drawLine(QPointF(maxX - d - 0.5, maxY - 2.5), QPointF(maxX - 1.5, maxY - d - 1.5));
    }
    painter.restore();
}

void ResizeGripView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paint(painter, size());
}

void ResizeGripView::mousePressEvent(QMouseEvent* event)
{
    // Taken in every case, so the press never reaches the bar behind (which would move the window).
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    drag = Drag { event->globalPosition().toPoint(), window()->geometry() };
}

void ResizeGripView::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
    if (drag && !(event->buttons() & Qt::LeftButton))
        drag.reset(); // the release went elsewhere (a grab was lost)
    if (!drag)
        return;
    QWidget* window = this->window();
    // The window manager is handed the resize only once the pointer has really moved: given one
    // on a mere click, it would go on resizing after the release.
    if (!drag->isResizingByHand) {
        const QPoint travelled = event->globalPosition().toPoint() - drag->startPointer;
        if (travelled.manhattanLength() < QApplication::startDragDistance())
            return;
        if (QWindow* handle = window->windowHandle(); handle && handle->startSystemResize(Qt::BottomEdge)) {
            drag.reset();
            return;
        }
        drag->isResizingByHand = true;
    }
    const int height = draggedHeight(drag->startGeometry.height(), drag->startPointer.y(),
        event->globalPosition().toPoint().y(), window->minimumHeight(), window->maximumHeight());
    QRect geometry = drag->startGeometry;
    geometry.setHeight(height);
    window->setGeometry(geometry);
}

void ResizeGripView::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() == Qt::LeftButton)
        drag.reset();
}

} // namespace lh
