#include "TransportButton.h"

#include "Glyphs.h"
#include "Theme.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace lh {

namespace {

// How wide each glyph is against its height, and how far the play triangle is pushed right (as
// a share of the circle's width) so that it looks centred.
struct GlyphProportions {
    double widthFactor;
    double shift = 0;
};

GlyphProportions proportions(Glyph glyph)
{
    switch (glyph) {
    case Glyph::previous:
    case Glyph::next:
        return { 1.5 };
    case Glyph::play:
        return { 0.9, 0.04 };
    case Glyph::pause:
        return { 0.8 };
    case Glyph::stop:
        return { 0.85 };
    case Glyph::list:
    case Glyph::shuffle:
    case Glyph::repeat:
        return { 1.4 };
    case Glyph::plus:
    case Glyph::minus:
    case Glyph::info:
        break;
    }
    return { 1 };
}

QPainterPath oval(const QRectF& rect)
{
    QPainterPath path;
    path.addEllipse(rect);
    return path;
}

} // namespace

QRectF TransportButton::circle() const
{
    const double diameter = std::max(0, std::min(height() - 1, width()));
    return { (width() - diameter) / 2, 0, diameter, diameter };
}

QRectF TransportButton::glyphRect(const QRectF& circle) const
{
    const GlyphProportions glyphProportions = proportions(glyph());
    const double height = std::round(circle.height() * 0.32);
    const double width = height * glyphProportions.widthFactor;
    const double offset = glyphProportions.shift * circle.width();
    return { std::round(offset + circle.center().x() - width / 2),
        std::round(circle.center().y() - height / 2) + (isDown() ? 1 : 0), std::round(width), height };
}

void TransportButton::paint(QPainter& painter) const
{
    const QRectF ring = circle();
    painter.fillPath(oval(ring.translated(0, 1)), Theme::grey(1, 0.6));
    painter.fillPath(oval(ring), Theme::vertical(ring, Theme::grey(0.27), Theme::grey(0.42)));
    const QRectF cap = ring.adjusted(1, 1, -1, -1);
    painter.fillPath(oval(cap), Theme::vertical(cap, Theme::gel(isDown())));
    Theme::fillPath(painter, Glyphs::path(glyph(), glyphRect(ring)), Theme::glyph(), true);
}

} // namespace lh
