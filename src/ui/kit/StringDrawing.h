#pragma once

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>

#include <optional>

class QPainter;

namespace lh {

// How text that does not fit its rect is treated.
enum class LineBreak {
    truncateTail, // one line, ending in an ellipsis when too long
    wrapAnywhere, // wrapped inside the rect, at any character (file paths have no spaces)
};

struct TextStyle {
    QFont font;
    QColor color;
    Qt::Alignment alignment = Qt::AlignLeft;
    LineBreak lineBreak = LineBreak::truncateTail;
    bool embossed = false; // the theme's emboss copy one point below the text
};

// Draws `text` from the top of `rect` with exactly the given style. Layout is Qt's own.
void drawString(QPainter& painter, const QString& text, const QRectF& rect, const TextStyle& style);

// The pixels a text drawn in `rect` may touch, for a partial repaint: the rect and, when
// embossed, its copy below it.
QRect textRepaintRect(const QRectF& rect, bool embossed);

// The text as it will appear in one line of `width`: itself, or cut at the tail with an ellipsis.
QString elided(const QString& text, const QFont& font, double width);

} // namespace lh
