#include "Glyphs.h"

#include "Theme.h"

#include <QPainter>
#include <QPolygonF>

#include <cmath>

namespace lh::Glyphs {

namespace {

QPainterPath windingPath()
{
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    return path;
}

void addPolygon(QPainterPath& path, std::initializer_list<QPointF> points)
{
    path.addPolygon(QPolygonF(QList<QPointF>(points)));
    path.closeSubpath();
}

QPainterPath twoTriangles(bool pointingRight, const QRectF& r)
{
    QPainterPath path = windingPath();
    const double half = r.width() / 2;
    path.addPath(triangle(pointingRight, QRectF(r.left(), r.top(), half, r.height())));
    path.addPath(triangle(pointingRight, QRectF(r.left() + half, r.top(), half, r.height())));
    return path;
}

QPainterPath pause(const QRectF& r)
{
    QPainterPath path = windingPath();
    const double bar = 0.34 * r.width();
    path.addRect(r.left(), r.top(), bar, r.height());
    path.addRect(r.right() - bar, r.top(), bar, r.height());
    return path;
}

QPainterPath bars(const QRectF& r, bool vertical)
{
    QPainterPath path = windingPath();
    path.addRect(r.left(), r.center().y() - 1, r.width(), 2);
    if (vertical)
        path.addRect(r.center().x() - 1, r.top(), 2, r.height());
    return path;
}

QPainterPath list(const QRectF& r)
{
    QPainterPath path = windingPath();
    for (int k = 0; k < 3; ++k) {
        const double y = std::round(r.top() + k * (r.height() - 2) / 2);
        path.addRect(r.left(), y, 2, 2);
        path.addRect(r.left() + 4, y, r.width() - 4, 2);
    }
    return path;
}

QPainterPath info(const QRectF& r)
{
    QPainterPath path = windingPath();
    const double midX = r.center().x();
    path.addRect(midX - 1, r.top(), 2, 2);
    path.addRect(midX - 1, r.top() + 3, 2, r.height() - 3);
    path.addRect(midX - 2, r.top() + 3, 1, 1);
    path.addRect(midX - 2, r.bottom() - 1, 4, 1);
    return path;
}

// One strand of the shuffle symbol: a 1.5-point band from y0 on the left to y1 on the right,
// slanting in the middle, ending in an arrowhead.
void addShuffleStrand(QPainterPath& path, const QRectF& r, double y0, double y1, double a)
{
    const double x0 = r.left();
    const double x1 = r.left() + 0.2 * r.width();
    const double x3 = r.right() - a;
    const double x2 = x3 - 0.15 * r.width();
    addPolygon(path,
        { { x0, y0 - 0.75 }, { x1, y0 - 0.75 }, { x2, y1 - 0.75 }, { x3, y1 - 0.75 }, { x3, y1 + 0.75 },
            { x2, y1 + 0.75 }, { x1, y0 + 0.75 }, { x0, y0 + 0.75 } });
    path.addPath(triangle(true, QRectF(r.right() - a, y1 - a / 2, a, a)));
}

} // namespace

QPainterPath triangle(bool pointingRight, const QRectF& r)
{
    QPainterPath path = windingPath();
    if (pointingRight)
        addPolygon(path, { r.topLeft(), { r.right(), r.center().y() }, r.bottomLeft() });
    else
        addPolygon(path, { r.topRight(), { r.left(), r.center().y() }, r.bottomRight() });
    return path;
}

QPainterPath shuffle(const QRectF& r)
{
    QPainterPath path = windingPath();
    const double a = std::round(r.height() / 2);
    const double m = a / 2;
    addShuffleStrand(path, r, r.top() + m, r.bottom() - m, a);
    addShuffleStrand(path, r, r.bottom() - m, r.top() + m, a);
    return path;
}

QPainterPath repeatLoop(const QRectF& r)
{
    QPainterPath path = windingPath();
    const double a = std::round(r.height() / 2);
    const double t = r.top() + a / 2 - 0.75;
    const double b = r.bottom() - 1.5;
    path.addRect(r.left(), t, r.width() - a, 1.5);
    path.addRect(r.left(), t, 1.5, b + 1.5 - t);
    path.addRect(r.left(), b, r.width(), 1.5);
    path.addRect(r.right() - 1.5, r.top() + a, 1.5, b - r.top() - a);
    path.addPath(triangle(true, QRectF(r.right() - a, r.top(), a, a)));
    return path;
}

QPainterPath path(Glyph glyph, const QRectF& r)
{
    switch (glyph) {
    case Glyph::play:
        return triangle(true, r);
    case Glyph::previous:
        return twoTriangles(false, r);
    case Glyph::next:
        return twoTriangles(true, r);
    case Glyph::pause:
        return pause(r);
    case Glyph::stop: {
        QPainterPath whole = windingPath();
        whole.addRect(r);
        return whole;
    }
    case Glyph::plus:
        return bars(r, true);
    case Glyph::minus:
        return bars(r, false);
    case Glyph::list:
        return list(r);
    case Glyph::info:
        return info(r);
    case Glyph::shuffle:
        return shuffle(r);
    case Glyph::repeat:
        return repeatLoop(r);
    }
    return windingPath();
}

void drawSpeaker(QPainter& painter, const QRectF& r, int waves, const QColor& color, bool embossed)
{
    const double s = r.height();
    const QRectF box(r.left(), r.top() + 0.32 * s, 0.28 * s, 0.36 * s);
    const double cx = r.left() + 0.62 * s;
    QPainterPath body = windingPath();
    addPolygon(body,
        { box.topLeft(), box.topRight(), { cx, r.top() }, { cx, r.bottom() }, box.bottomRight(), box.bottomLeft() });

    QPainterPath arcs;
    const QPointF centre(cx, r.center().y());
    for (int i = 0; i < waves; ++i) {
        const double radius = s * (0.28 + 0.24 * i);
        const QRectF circle(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
        arcs.arcMoveTo(circle, -50);
        arcs.arcTo(circle, -50, 100);
    }

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const auto drawAt = [&](const QPointF& offset, const QColor& ink) {
        painter.fillPath(body.translated(offset), ink);
        painter.strokePath(arcs.translated(offset), QPen(ink, 1.2, Qt::SolidLine, Qt::FlatCap));
    };
    if (embossed)
        drawAt(Theme::emboss().offset, Theme::emboss().color);
    drawAt({}, color);
    painter.restore();
}

void drawDownload(QPainter& painter, const QRectF& r, const QColor& color)
{
    QPainterPath tray;
    tray.moveTo(r.left() + 0.5, r.top() + 0.62 * r.height());
    tray.lineTo(r.left() + 0.5, r.bottom() - 0.5);
    tray.lineTo(r.right() - 0.5, r.bottom() - 0.5);
    tray.lineTo(r.right() - 0.5, r.top() + 0.62 * r.height());

    QPainterPath arrow = windingPath();
    const double midX = r.center().x();
    const double headTop = r.top() + 0.38 * r.height();
    arrow.addRect(midX - 1, r.top(), 2, 0.38 * r.height());
    addPolygon(arrow, { { midX - 0.3 * r.width(), headTop }, { midX + 0.3 * r.width(), headTop }, { midX, r.bottom() - 2.5 } });

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.strokePath(tray, QPen(color, 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    painter.fillPath(arrow, color);
    painter.restore();
}

} // namespace lh::Glyphs
