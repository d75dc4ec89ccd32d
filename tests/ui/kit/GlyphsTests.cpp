#include "Glyphs.h"
#include "Theme.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace lh {
namespace {

// Whether the filled glyph covers the point (winding fill: overlapping parts count once).
bool covers(Glyph glyph, const QRectF& rect, QPointF point)
{
    return Glyphs::path(glyph, rect).contains(point);
}

struct CoverCase {
    const char* what;
    Glyph glyph;
    QRectF rect;
    QPointF point;
    bool covered;
};

class GlyphShapes : public ::testing::TestWithParam<CoverCase> { };

TEST_P(GlyphShapes, CoverExactlyTheirParts)
{
    const CoverCase& c = GetParam();
    EXPECT_EQ(covers(c.glyph, c.rect, c.point), c.covered) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Glyphs, GlyphShapes,
    ::testing::Values(
        // list in a rect 10 high: rows at minY, minY + 4, minY + 8, each a square and a bar.
        CoverCase { "list row 0 square", Glyph::list, { 0, 0, 14, 10 }, { 1, 1 }, true },
        CoverCase { "list gap after square", Glyph::list, { 0, 0, 14, 10 }, { 3, 1 }, false },
        CoverCase { "list row 1 bar", Glyph::list, { 0, 0, 14, 10 }, { 8, 5 }, true },
        CoverCase { "list between rows", Glyph::list, { 0, 0, 14, 10 }, { 8, 3 }, false },
        CoverCase { "list row 2", Glyph::list, { 0, 0, 14, 10 }, { 8, 9 }, true },
        // pause in a rect 10 wide: bars 3.4 wide, a gap of 3.2.
        CoverCase { "pause left bar", Glyph::pause, { 0, 0, 10, 10 }, { 3.3, 5 }, true },
        CoverCase { "pause gap start", Glyph::pause, { 0, 0, 10, 10 }, { 3.5, 5 }, false },
        CoverCase { "pause gap end", Glyph::pause, { 0, 0, 10, 10 }, { 6.5, 5 }, false },
        CoverCase { "pause right bar", Glyph::pause, { 0, 0, 10, 10 }, { 6.7, 5 }, true },
        // previous and next in a rect 20 wide: two triangles 10 wide touching at midX.
        CoverCase { "next first tip", Glyph::next, { 0, 0, 20, 10 }, { 9.5, 5 }, true },
        CoverCase { "next second base", Glyph::next, { 0, 0, 20, 10 }, { 10.5, 1 }, true },
        CoverCase { "next first corner empty", Glyph::next, { 0, 0, 20, 10 }, { 9.5, 1 }, false },
        CoverCase { "previous first tip", Glyph::previous, { 0, 0, 20, 10 }, { 0.5, 5 }, true },
        CoverCase { "previous first base", Glyph::previous, { 0, 0, 20, 10 }, { 9.5, 1 }, true },
        CoverCase { "play tip", Glyph::play, { 0, 0, 10, 10 }, { 9.5, 5 }, true },
        CoverCase { "play beside tip", Glyph::play, { 0, 0, 10, 10 }, { 9.5, 1 }, false },
        CoverCase { "stop corner", Glyph::stop, { 2, 2, 8, 8 }, { 9.9, 9.9 }, true },
        // plus: the two bars cross and are one shape.
        CoverCase { "plus crossing", Glyph::plus, { 0, 0, 8, 8 }, { 4, 4 }, true },
        CoverCase { "plus corner", Glyph::plus, { 0, 0, 8, 8 }, { 1, 1 }, false },
        CoverCase { "minus has no stem", Glyph::minus, { 0, 0, 8, 8 }, { 4, 1 }, false },
        CoverCase { "info dot", Glyph::info, { 0, 0, 8, 8 }, { 4, 1 }, true },
        CoverCase { "info gap below dot", Glyph::info, { 0, 0, 8, 8 }, { 4, 2.5 }, false },
        CoverCase { "info foot", Glyph::info, { 0, 0, 8, 8 }, { 5.5, 7.5 }, true },
        // shuffle 12 × 8: a = 4, strands cross in the middle and are one shape there.
        CoverCase { "shuffle strands cross", Glyph::shuffle, { 0, 0, 12, 8 }, { 5, 4 }, true },
        CoverCase { "shuffle start of first strand", Glyph::shuffle, { 0, 0, 12, 8 }, { 0.5, 2 }, true },
        CoverCase { "shuffle arrowhead", Glyph::shuffle, { 0, 0, 12, 8 }, { 8.5, 6 }, true },
        // repeat 12 × 8: a = 4, top bar at t = 1.25, bottom bar at 6.5.
        CoverCase { "repeat top bar", Glyph::repeat, { 0, 0, 12, 8 }, { 3, 2 }, true },
        CoverCase { "repeat inside loop", Glyph::repeat, { 0, 0, 12, 8 }, { 5, 4.5 }, false },
        CoverCase { "repeat bottom bar", Glyph::repeat, { 0, 0, 12, 8 }, { 11, 7 }, true },
        CoverCase { "repeat arrow tip", Glyph::repeat, { 0, 0, 12, 8 }, { 11.5, 2 }, true }));

TEST(Glyphs, StayInsideTheirRect)
{
    const QRectF rect(3, 5, 12, 8);
    for (int g = 0; g <= int(Glyph::repeat); ++g)
        EXPECT_TRUE(rect.contains(Glyphs::path(Glyph(g), rect).boundingRect())) << "glyph " << g;
}

// Renders into a small grey image; returns the colour at a point.
QColor drawnSpeakerAt(int waves, QPoint point, bool embossed = false)
{
    QImage image(40, 20, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    Glyphs::drawSpeaker(painter, QRectF(0, 2, 40, 16), waves, Qt::black, embossed);
    return image.pixelColor(point);
}

TEST(Glyphs, SpeakerWavesAreArcsAtTheirRadii)
{
    // s = 16, cone tip at x = 9.92, centre y = 10: first arc radius 4.48, second 8.32.
    EXPECT_EQ(drawnSpeakerAt(0, { 2, 10 }).alpha(), 255); // the box
    EXPECT_EQ(drawnSpeakerAt(0, { 14, 10 }).alpha(), 0);
    EXPECT_GT(drawnSpeakerAt(1, { 14, 10 }).alpha(), 100);
    EXPECT_EQ(drawnSpeakerAt(1, { 18, 10 }).alpha(), 0);
    EXPECT_GT(drawnSpeakerAt(2, { 18, 10 }).alpha(), 100);
}

TEST(Glyphs, SpeakerLeavesThePainterAsItFoundIt)
{
    QImage image(20, 20, QImage::Format_ARGB32);
    QPainter painter(&image);
    const QPen pen(Qt::red, 3);
    painter.setPen(pen);
    painter.setBrush(Qt::green);
    Glyphs::drawSpeaker(painter, QRectF(0, 0, 18, 12), 2, Qt::black, true);
    EXPECT_EQ(painter.pen(), pen);
    EXPECT_EQ(painter.brush().color(), QColor(Qt::green));
    EXPECT_FALSE(painter.testRenderHint(QPainter::Antialiasing));
}

TEST(Glyphs, EmbossFallsOnePointBelow)
{
    // Below the box's bottom edge (y = 2 + 0.68·16 ≈ 12.9) only the white copy is drawn.
    const QColor below = drawnSpeakerAt(0, { 2, 13 }, true);
    EXPECT_GT(below.alpha(), 150);
    EXPECT_EQ(below.red(), 255);
    EXPECT_EQ(drawnSpeakerAt(0, { 2, 13 }, false).alpha(), 0);
}

} // namespace
} // namespace lh
