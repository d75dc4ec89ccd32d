#include "SquareButton.h"

#include "Announce.h"
#include "Glyphs.h"
#include "Theme.h"

#include <QAccessible>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace lh {

void SquareButton::setOn(bool on)
{
    if (on == isOn_)
        return;
    isOn_ = on;
    update();
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent event(this, changed);
    announce(event);
}

QRectF SquareButton::glyphRect() const
{
    const double width = glyph() == Glyph::shuffle || glyph() == Glyph::repeat ? 12 : 8;
    const QPointF centre = QRectF(rect()).center();
    return { std::round(centre.x() - width / 2), std::round(centre.y() - 4), width, 8 };
}

void SquareButton::paint(QPainter& painter) const
{
    const QRectF body = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath outline;
    outline.addRect(body);
    painter.fillPath(outline, Theme::vertical(body, Theme::gel(isDown())));
    painter.strokePath(outline, QPen(Theme::controlBorder(), 1));
    Theme::fillPath(painter, Glyphs::path(glyph(), glyphRect()), isOn_ ? Theme::selection() : Theme::glyph(), true);
}

} // namespace lh
