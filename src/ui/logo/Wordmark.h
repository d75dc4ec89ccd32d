#pragma once

#include <QColor>
#include <QRectF>

class QPainter;

namespace lh {

// The maker's wordmark, "opensource", as vector artwork in its own coordinates (`viewBox`).
namespace Wordmark {

extern const QRectF viewBox;

// Draws the artwork in `viewBox` coordinates of the painter's current transform.
void draw(QPainter& painter, const QColor& color);

} // namespace Wordmark

} // namespace lh
