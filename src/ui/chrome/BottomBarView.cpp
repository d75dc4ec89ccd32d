#include "BottomBarView.h"

#include "Announce.h"
#include "StringDrawing.h"
#include "Theme.h"
#include "WindowMover.h"

#include <QAccessible>
#include <QContextMenuEvent>
#include <QPainter>

namespace lh {

namespace {

TextStyle statusStyle()
{
    return { Theme::font(11), Theme::grey(0.18), Qt::AlignHCenter, LineBreak::truncateTail, true };
}

} // namespace

BottomBarView::BottomBarView(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    new WindowMover(*this);
}

void BottomBarView::setStatusText(const QString& text)
{
    if (text == statusText_)
        return;
    statusText_ = text;
    update(textRepaintRect(statusTextRect(width()), true));
    QAccessibleEvent renamed(this, QAccessible::NameChanged); // the status bar is named by its text
    announce(renamed);
}

QString BottomBarView::shownStatusText() const
{
    return elided(statusText_, statusStyle().font, statusTextRect(width()).width());
}

QRectF BottomBarView::statusTextRect(double width)
{
    return QRectF(124, 5, width - 148, 15);
}

void BottomBarView::paint(QPainter& painter, const QSizeF& size, const QString& statusText)
{
    const QRectF bounds(QPointF(0, 0), size);
    painter.fillRect(bounds, Theme::vertical(bounds, Theme::grey(0.89), Theme::grey(0.74)));
    painter.fillRect(QRectF(0, 0, size.width(), 1), Theme::grey(0.38));
    painter.fillRect(QRectF(0, 1, size.width(), 1), Theme::grey(1, 0.5));
    drawString(painter, statusText, statusTextRect(size.width()), statusStyle());
}

void BottomBarView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paint(painter, size(), statusText_);
}

void BottomBarView::contextMenuEvent(QContextMenuEvent* event)
{
    if (onContextMenu)
        onContextMenu(event->globalPos());
}

} // namespace lh
