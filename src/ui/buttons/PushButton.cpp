#include "PushButton.h"

#include "StringDrawing.h"
#include "Theme.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace lh {

PushButton::PushButton(QString label, QWidget* parent)
    : LeopardButton(parent)
    , label_(std::move(label))
{
}

void PushButton::paint(QPainter& painter) const
{
    // One point is left free below the capsule for its light edge.
    const QRectF body(0.5, 0.5, width() - 1, height() - 2);
    const double radius = body.height() / 2;
    QPainterPath capsule;
    capsule.addRoundedRect(body, radius, radius);

    painter.strokePath(capsule.translated(0, 1), QPen(Theme::grey(1, 0.6), 1));
    painter.fillPath(capsule, Theme::vertical(body, Theme::gel(isDown())));
    painter.strokePath(capsule, QPen(Theme::controlBorder(), 1));
    drawString(painter, label_, QRectF(0, std::round(body.center().y() - 8), width(), 16),
        { Theme::font(13), Qt::black, Qt::AlignHCenter });
}

} // namespace lh
