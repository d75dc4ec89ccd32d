#include "SVGPath.h"

#include <gtest/gtest.h>

namespace lh {
namespace {

using Element = QPainterPath::ElementType;

std::vector<std::pair<Element, QPointF>> elementsOf(const QPainterPath& path)
{
    std::vector<std::pair<Element, QPointF>> out;
    for (int i = 0; i < path.elementCount(); ++i)
        out.push_back({ path.elementAt(i).type, QPointF(path.elementAt(i)) });
    return out;
}

TEST(SVGPath, ReadsTheProgramsPathData)
{
    using E = std::vector<std::pair<Element, QPointF>>;
    const auto move = QPainterPath::MoveToElement;
    const auto line = QPainterPath::LineToElement;
    // Pairs after M are lines; Z closes back to the start.
    EXPECT_EQ(elementsOf(SVGPath::make("M0 0 10 0 10 10 Z")),
        (E { { move, { 0, 0 } }, { line, { 10, 0 } }, { line, { 10, 10 } }, { line, { 0, 0 } } }));
    // H and V keep the other coordinate; .5 and -.5 are numbers.
    EXPECT_EQ(elementsOf(SVGPath::make("M0,0 H5 V5 H0 Z M.5 -.5")),
        (E { { move, { 0, 0 } }, { line, { 5, 0 } }, { line, { 5, 5 } }, { line, { 0, 5 } }, { line, { 0, 0 } },
            { move, { 0.5, -0.5 } } }));
    // Lower-case letters are skipped: the numbers repeat the implicit L.
    EXPECT_EQ(elementsOf(SVGPath::make("M0 0 l5 5")), (E { { move, { 0, 0 } }, { line, { 5, 5 } } }));
    const QPainterPath curves = SVGPath::make("M0 0 C1 2 3 4 5 6 Q7 8 9 10");
    EXPECT_EQ(curves.currentPosition(), QPointF(9, 10));
    EXPECT_EQ(curves.elementCount(), 7); // a cubic is three elements; a quadratic becomes one more cubic
}

TEST(SVGPath, MalformedDataEndsThePathWithoutFailing)
{
    EXPECT_EQ(SVGPath::make("M0 0 L5").currentPosition(), QPointF(0, 0));
    EXPECT_EQ(SVGPath::make("C1 2 3").elementCount(), 0);
    EXPECT_EQ(SVGPath::make("M1 1 Z 5 6 L2 2").currentPosition(), QPointF(2, 2)); // stray numbers after Z
    EXPECT_EQ(SVGPath::make("12 13 M1 1").currentPosition(), QPointF(1, 1));
    EXPECT_EQ(SVGPath::make("M - . -- 3 4").currentPosition(), QPointF(3, 4));
    EXPECT_TRUE(SVGPath::make("").isEmpty());
}

} // namespace
} // namespace lh
