#include "WindowButton.h"

#include "Glyphs.h"
#include "Theme.h"

#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>

namespace lh {

namespace {

QString accessibleNameOf(WindowButton::Kind kind)
{
    switch (kind) {
    case WindowButton::Kind::close:
        return QStringLiteral("Close");
    case WindowButton::Kind::minimise:
        return QStringLiteral("Minimise");
    case WindowButton::Kind::menu:
        return QStringLiteral("Menu");
    }
    return {};
}

// The symbols sit in the middle 6 × 6 of the circle: a thin cross, a minus, and a small
// triangle pointing down for the menu.
QPainterPath cross(const QPointF& centre)
{
    constexpr double arm = 2.5;
    QPainterPath lines;
    lines.moveTo(centre + QPointF(-arm, -arm));
    lines.lineTo(centre + QPointF(arm, arm));
    lines.moveTo(centre + QPointF(arm, -arm));
    lines.lineTo(centre + QPointF(-arm, arm));
    QPainterPathStroker stroker;
    stroker.setWidth(1.5);
    stroker.setCapStyle(Qt::FlatCap);
    return stroker.createStroke(lines).simplified();
}

QPainterPath symbol(WindowButton::Kind kind, const QRectF& circle)
{
    const QPointF centre = circle.center();
    const QRectF box(centre.x() - 3, centre.y() - 3, 6, 6);
    switch (kind) {
    case WindowButton::Kind::close:
        return cross(centre);
    case WindowButton::Kind::minimise:
        return Glyphs::path(Glyph::minus, box);
    case WindowButton::Kind::menu: {
        QPainterPath path;
        path.moveTo(box.left(), box.top() + 1);
        path.lineTo(box.right(), box.top() + 1);
        path.lineTo(centre.x(), box.bottom() - 1);
        path.closeSubpath();
        return path;
    }
    }
    return {};
}

} // namespace

WindowButton::WindowButton(Kind kind, QWidget* parent)
    : QAbstractButton(parent)
    , kind_(kind)
{
    setFocusPolicy(Qt::NoFocus);
    setAccessibleName(accessibleNameOf(kind));
    resize(sizeHint());
}

QSize WindowButton::sizeHint() const
{
    return QSize(diameter, diameter + 1);
}

void WindowButton::paint(QPainter& painter, Kind kind, bool pressed)
{
    const QRectF circle(0, 0, diameter, diameter);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromRgbF(1, 1, 1, 0.6));
    painter.drawEllipse(circle.translated(0, 1));
    painter.setBrush(Theme::vertical(circle, Theme::grey(0.27), Theme::grey(0.42)));
    painter.drawEllipse(circle);
    const QRectF cap = circle.adjusted(1, 1, -1, -1);
    painter.setBrush(Theme::vertical(cap, Theme::gel(pressed)));
    painter.drawEllipse(cap);
    Theme::fillPath(painter, symbol(kind, circle), Theme::glyph(), true);
    painter.restore();
}

void WindowButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paint(painter, kind_, isDown());
}

} // namespace lh
