#pragma once

#include <QPointF>

class QPainter;

namespace lh {

// The product lockup: "Larkhaven" in bold, a small "by" and the maker's wordmark, every measure
// derived from the unit u = nameSize / 40.
struct Lockup {
    double nameSize = 22;

    double width() const;
    // Draws with the text baseline starting at `baseline`. The wordmark is 23u high, its bottom
    // 4u below the baseline.
    void draw(QPainter& painter, QPointF baseline) const;
};

} // namespace lh
