#include "ToolbarView.h"

#include "StringDrawing.h"
#include "Theme.h"
#include "WindowButton.h"
#include "WindowMover.h"

#include <QContextMenuEvent>
#include <QPainter>

namespace lh {

namespace {

// The window buttons' row: 8 points in from the edges, centred on the title's line.
constexpr int buttonInset = 8;
constexpr int buttonTop = 8;
constexpr int buttonSpacing = 20;

const QGradientStops& background()
{
    static const QGradientStops stops { { 0.0, Theme::grey(0.91) }, { 0.55, Theme::grey(0.835) },
        { 1.0, Theme::grey(0.725) } };
    return stops;
}

void callIfSet(const std::function<void()>& callback)
{
    if (callback)
        callback();
}

} // namespace

ToolbarView::ToolbarView(QWidget* parent)
    : QWidget(parent)
    , menuButton(new WindowButton(WindowButton::Kind::menu, this))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    auto* close = new WindowButton(WindowButton::Kind::close, this);
    auto* minimise = new WindowButton(WindowButton::Kind::minimise, this);
    close->move(buttonInset, buttonTop);
    minimise->move(buttonInset + buttonSpacing, buttonTop);
    connect(close, &QAbstractButton::clicked, this, [this] { callIfSet(onClose); });
    connect(minimise, &QAbstractButton::clicked, this, [this] { callIfSet(onMinimise); });
    connect(menuButton, &QAbstractButton::clicked, this, [this] {
        if (onContextMenu)
            onContextMenu(menuPosition());
    });
    new WindowMover(*this);
}

QPoint ToolbarView::menuPosition() const
{
    return menuButton->mapToGlobal(QPoint(0, menuButton->height() + 2));
}

void ToolbarView::setTitle(const QString& title)
{
    if (title == title_)
        return;
    title_ = title;
    update(textRepaintRect(titleRect(width()), true));
}

QRectF ToolbarView::titleRect(double width)
{
    return QRectF(80, 6, width - 160, 17);
}

void ToolbarView::paint(QPainter& painter, const QSizeF& size, const QString& title)
{
    paint(painter, size, title, QRegion(QRectF(QPointF(0, 0), size).toAlignedRect()));
}

void ToolbarView::paint(QPainter& painter, const QSizeF& size, const QString& title, const QRegion& dirty)
{
    const QRectF bounds(QPointF(0, 0), size);
    painter.fillRect(bounds, Theme::vertical(bounds, background()));
    painter.fillRect(QRectF(0, size.height() - 1, size.width(), 1), Theme::grey(0.33));
    const QRectF titleBounds = titleRect(size.width());
    if (dirty.intersects(textRepaintRect(titleBounds, true)))
        drawString(painter, title, titleBounds,
            { Theme::font(13), Theme::grey(0.1), Qt::AlignHCenter, LineBreak::truncateTail, true });
}

void ToolbarView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    paint(painter, size(), title_, event->region());
}

void ToolbarView::resizeEvent(QResizeEvent*)
{
    menuButton->move(width() - buttonInset - menuButton->width(), buttonTop);
}

void ToolbarView::contextMenuEvent(QContextMenuEvent* event)
{
    if (onContextMenu)
        onContextMenu(event->globalPos());
}

} // namespace lh
