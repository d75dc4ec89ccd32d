#include "PlaylistHeaderView.h"

#include "StringDrawing.h"
#include "Theme.h"
#include "WindowMover.h"

#include <QPainter>

namespace lh {

namespace {

const QGradientStops& background()
{
    static const QGradientStops stops { { 0.0, Theme::grey(1.0) }, { 0.49, Theme::grey(0.96) },
        { 0.51, Theme::grey(0.92) }, { 1.0, Theme::grey(0.97) } };
    return stops;
}

// A column divider: a dark line with a light one right of it, inset 3 points at the top and
// bottom.
void drawDivider(QPainter& painter, double x, double height)
{
    painter.fillRect(QRectF(x, 3, 1, height - 6), Theme::grey(0.7));
    painter.fillRect(QRectF(x + 1, 3, 1, height - 6), Qt::white);
}

} // namespace

PlaylistHeaderView::PlaylistHeaderView(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    new WindowMover(*this);
}

void PlaylistHeaderView::paint(QPainter& painter, const QSizeF& size)
{
    const double w = size.width();
    const double h = size.height();
    const QRectF bounds(QPointF(0, 0), size);
    painter.fillRect(bounds, Theme::vertical(bounds, background()));
    painter.fillRect(QRectF(0, h - 1, w, 1), Theme::grey(0.62));
    drawDivider(painter, indicatorColumnWidth, h);
    drawDivider(painter, w - timeColumnWidth, h);
    const TextStyle label { Theme::font(11), Qt::black, Qt::AlignLeft };
    drawString(painter, QStringLiteral("Name"), QRectF(27, 1, 200, 15), label);
    drawString(painter, QStringLiteral("Time"), QRectF(w - 43, 1, 38, 15), label);
}

void PlaylistHeaderView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paint(painter, size());
}

} // namespace lh
