#pragma once

#include <QPainterPath>
#include <QString>

namespace lh {

// A minimal reader of SVG path data, enough for the program's own artwork: the absolute
// commands M, L, H, V, C, Q and Z, decimal numbers with an optional minus and fraction and no
// exponent. Anything else between tokens is skipped; numbers after a command repeat it (after
// M they draw lines). Malformed data never fails: where a number is missing, the path ends.
namespace SVGPath {

QPainterPath make(const QString& pathData);

} // namespace SVGPath

} // namespace lh
