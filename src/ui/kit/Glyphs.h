#pragma once

#include "Glyph.h"

#include <QColor>
#include <QPainterPath>
#include <QRectF>

class QPainter;

namespace lh {

// The window's small vector symbols, built inside the caller's rect (origin top-left, y down,
// points). Shapes are closed and meant to be filled in the caller's colour; overlapping parts
// are one shape (winding fill).
namespace Glyphs {

QPainterPath path(Glyph glyph, const QRectF& rect);

QPainterPath triangle(bool pointingRight, const QRectF& rect);
QPainterPath shuffle(const QRectF& rect);
QPainterPath repeatLoop(const QRectF& rect);

// The speaker of the volume icons and the playing row: a body and `waves` arcs. Leaves the
// painter's state as it found it.
void drawSpeaker(QPainter& painter, const QRectF& rect, int waves, const QColor& color, bool embossed);

// The download mark of a row whose file has no local copy yet: an arrow into an open tray.
void drawDownload(QPainter& painter, const QRectF& rect, const QColor& color);

} // namespace Glyphs

} // namespace lh
