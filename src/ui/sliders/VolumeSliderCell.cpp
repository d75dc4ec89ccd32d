#include "VolumeSliderCell.h"

#include "Theme.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace lh {

namespace {

QPainterPath roundedRect(const QRectF& rect, double radius)
{
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

QPainterPath oval(const QRectF& rect)
{
    QPainterPath path;
    path.addEllipse(rect);
    return path;
}

} // namespace

VolumeSliderCell::VolumeSliderCell()
    : SliderCell(11, 5)
{
}

void VolumeSliderCell::drawInterior(QPainter& painter, const QRectF& frame, double fraction) const
{
    const QRectF track = trackRect(frame);
    const double radius = track.height() / 2;

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(roundedRect(track.translated(0, 1), radius), Theme::grey(1, 0.6));
    const QRectF grooveRect = track.adjusted(0.5, 0.5, -0.5, -0.5);
    const QPainterPath groove = roundedRect(grooveRect, radius);
    painter.fillPath(groove, Theme::vertical(grooveRect, Theme::grey(0.42), Theme::grey(0.7)));
    painter.strokePath(groove, QPen(Theme::grey(0.25), 1));

    // The knob sits on whole points so its rim stays crisp.
    const double half = knobSize() / 2;
    const QRectF knob(std::round(track.left() + track.width() * fraction - half),
        std::round(track.center().y() - half), knobSize(), knobSize());
    painter.fillPath(oval(knob.translated(0, 1)), Theme::grey(0, 0.25));
    painter.fillPath(oval(knob), Theme::grey(0.3));
    const QRectF cap = knob.adjusted(1, 1, -1, -1);
    painter.fillPath(oval(cap), Theme::vertical(cap, Theme::gel(false)));
    painter.restore();
}

} // namespace lh
