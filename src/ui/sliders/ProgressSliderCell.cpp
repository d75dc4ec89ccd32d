#include "ProgressSliderCell.h"

#include "Theme.h"

#include <QPainter>
#include <QPainterPath>

namespace lh {

ProgressSliderCell::ProgressSliderCell()
    : SliderCell(11, 8)
{
}

void ProgressSliderCell::drawInterior(QPainter& painter, const QRectF& frame, double fraction) const
{
    const QRectF track = trackRect(frame);
    const QRectF trough = track.adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath outline;
    outline.addRoundedRect(trough, 4, 4);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(outline, Theme::vertical(trough, Theme::grey(0.8), Theme::grey(0.98)));

    const double knobX = track.left() + track.width() * fraction;
    painter.save();
    painter.setClipPath(outline);
    const QRectF played(track.left(), track.top(), knobX - track.left(), track.height());
    painter.fillRect(played, Theme::vertical(played, Theme::grey(0.3), Theme::grey(0.48)));
    painter.restore();

    painter.strokePath(outline, QPen(Theme::grey(0.28), 1));

    const double half = knobSize() / 2;
    const double y = track.center().y();
    QPainterPath diamond;
    diamond.moveTo(knobX, y - half);
    diamond.lineTo(knobX + half, y);
    diamond.lineTo(knobX, y + half);
    diamond.lineTo(knobX - half, y);
    diamond.closeSubpath();
    painter.fillPath(diamond, Theme::vertical(diamond.boundingRect(), Theme::grey(0.42), Theme::grey(0.04)));
    painter.restore();
}

} // namespace lh
