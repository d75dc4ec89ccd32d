#pragma once

#include <QColor>
#include <QFont>
#include <QGradientStops>
#include <QLinearGradient>
#include <QPalette>
#include <QRectF>

class QPainter;
class QPainterPath;

namespace lh {

// The window's colours, gradients, emboss and fonts, built once and shared. Every custom-drawn
// view takes its look from here. Grey levels are written as `grey(v)`: a neutral grey with all
// three components v.
namespace Theme {

QColor grey(double level, double alpha = 1.0);

const QColor& selection();
const QColor& selectionUnfocused();
const QColor& stripe();
const QColor& lcdTop();
const QColor& lcdBottom();
const QColor& lcdBorder();
const QColor& lcdText();
const QColor& lcdSecondaryText();
const QColor& lcdSegment();
const QColor& lcdSegmentGhost();
const QColor& lcdSegmentPeak();
const QColor& glyph();
const QColor& rowMark();
const QColor& controlBorder();
const QColor& wordmarkInk();

// The about panel's background: grey 0.93 at the top to 0.8 at the bottom.
const QGradientStops& panelBackground();

// The glossy cap of every button and of the volume knob: four stops with a sharp step between
// 0.49 and 0.51.
const QGradientStops& gel(bool pressed);

// A top-to-bottom linear gradient over `rect` with the given stops.
QLinearGradient vertical(const QRectF& rect, const QGradientStops& stops);
QLinearGradient vertical(const QRectF& rect, const QColor& top, const QColor& bottom);

// The engraved edge under glyphs and chrome texts: a hard copy of the shape in white at alpha
// 0.75, one point below it (the shadow offset (0, −1) of an unflipped drawing space falls
// downwards on screen).
struct Emboss {
    QColor color = QColor::fromRgbF(1, 1, 1, 0.75);
    QPointF offset { 0, 1 };
};
const Emboss& emboss();

// Fills `path` with `brush`, with the emboss copy underneath when `embossed` is set.
void fillPath(QPainter& painter, const QPainterPath& path, const QBrush& brush, bool embossed);

// The light colours of what Qt draws itself in the player's windows (scroll bars, tooltips),
// fixed whatever the desktop's colour scheme.
const QPalette& lightPalette();

// The player's sans-serif at a size in points (logical pixels), regular or bold. The family is
// chosen once; where it is missing, the system's default sans of the same size stands in.
// Characters the family lacks (Chinese, Japanese, Korean) come from one fixed CJK family, so
// text looks the same on every machine that ran the set-up script.
QFont font(int points, bool bold = false);
QString fontFamily();

} // namespace Theme

} // namespace lh
