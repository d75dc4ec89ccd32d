#include "PushButton.h"
#include "SquareButton.h"
#include "Theme.h"
#include "TransportButton.h"

#include <QImage>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace lh {
namespace {

struct TransportCase {
    const char* what;
    QSize size;
    Glyph glyph;
    bool pressed;
    QRectF glyphRect;
};

class TransportGlyphRects : public ::testing::TestWithParam<TransportCase> { };

TEST_P(TransportGlyphRects, AreSizedByGlyphAndSinkWhilePressed)
{
    const TransportCase& c = GetParam();
    TransportButton button(c.glyph);
    button.resize(c.size);
    button.setDown(c.pressed);
    EXPECT_EQ(button.glyphRect(button.circle()), c.glyphRect) << c.what;
}

INSTANTIATE_TEST_SUITE_P(TransportButton, TransportGlyphRects,
    ::testing::Values(TransportCase { "next 26 × 27", { 26, 27 }, Glyph::next, false, { 7, 9, 12, 8 } },
        TransportCase { "next pressed", { 26, 27 }, Glyph::next, true, { 7, 10, 12, 8 } },
        TransportCase { "play 34 × 35: 9.9 wide, pushed right", { 34, 35 }, Glyph::play, false, { 13, 12, 10, 11 } },
        TransportCase { "play pressed", { 34, 35 }, Glyph::play, true, { 13, 13, 10, 11 } },
        TransportCase { "pause 34 × 35", { 34, 35 }, Glyph::pause, false, { 13, 12, 9, 11 } },
        TransportCase { "stop 26 × 27", { 26, 27 }, Glyph::stop, false, { 10, 9, 7, 8 } },
        TransportCase { "list 26 × 27", { 26, 27 }, Glyph::list, false, { 7, 9, 11, 8 } },
        TransportCase { "wider than tall: circle centred", { 30, 27 }, Glyph::next, false, { 9, 9, 12, 8 } }));

TEST(TransportButton, CircleLeavesThePointBelowForTheHighlight)
{
    TransportButton button(Glyph::play);
    button.resize(26, 27);
    EXPECT_EQ(button.circle(), QRectF(0, 0, 26, 26));
    button.resize(30, 27);
    EXPECT_EQ(button.circle(), QRectF(2, 0, 26, 26));
}

struct SquareCase {
    Glyph glyph;
    bool pressed;
    QRectF glyphRect;
};

class SquareGlyphRects : public ::testing::TestWithParam<SquareCase> { };

TEST_P(SquareGlyphRects, AreWideOnlyForShuffleAndRepeatAndStayStillWhilePressed)
{
    const SquareCase& c = GetParam();
    SquareButton button(c.glyph);
    button.resize(24, 18);
    button.setDown(c.pressed);
    EXPECT_EQ(button.glyphRect(), c.glyphRect) << int(c.glyph);
}

INSTANTIATE_TEST_SUITE_P(SquareButton, SquareGlyphRects,
    ::testing::Values(SquareCase { Glyph::shuffle, false, { 6, 5, 12, 8 } },
        SquareCase { Glyph::repeat, true, { 6, 5, 12, 8 } },
        SquareCase { Glyph::plus, false, { 8, 5, 8, 8 } },
        SquareCase { Glyph::minus, true, { 8, 5, 8, 8 } },
        SquareCase { Glyph::info, false, { 8, 5, 8, 8 } }));

QImage rendered(const LeopardButton& button)
{
    QImage image(button.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    button.paint(painter);
    return image;
}

struct PressCase {
    const char* what;
    std::function<std::unique_ptr<LeopardButton>()> make;
    QSize size;
    QPoint capPoint; // on the cap, clear of glyph and label
};

class PressedCaps : public ::testing::TestWithParam<PressCase> { };

TEST_P(PressedCaps, AreDarkerThanNormalOnes)
{
    const PressCase& c = GetParam();
    const std::unique_ptr<LeopardButton> button = c.make();
    button->resize(c.size);
    const int normal = qGray(rendered(*button).pixel(c.capPoint));
    button->setDown(true);
    const int pressed = qGray(rendered(*button).pixel(c.capPoint));
    EXPECT_LT(pressed + 40, normal) << c.what;
}

// Buttons are made inside the test, once the application exists.
template <typename Button, typename Argument>
std::function<std::unique_ptr<LeopardButton>()> maker(Argument argument)
{
    return [argument] { return std::make_unique<Button>(argument); };
}

INSTANTIATE_TEST_SUITE_P(LeopardButton, PressedCaps,
    ::testing::Values(PressCase { "transport", maker<TransportButton>(Glyph::next), { 26, 27 }, { 13, 4 } },
        PressCase { "square", maker<SquareButton>(Glyph::plus), { 24, 18 }, { 4, 4 } },
        PressCase { "push", maker<PushButton>(QStringLiteral("OK")), { 82, 24 }, { 6, 12 } }));

QColor colourAt(const QImage& image, QPoint point)
{
    return QColor(image.pixel(point));
}

TEST(SquareButton, GlyphIsTheAccentColourWhenOn)
{
    SquareButton button(Glyph::plus);
    button.resize(24, 18);
    const QPoint onCross(11, 8); // the plus's bars cross over (11…13, 8…10)
    EXPECT_EQ(colourAt(rendered(button), onCross).rgb(), Theme::glyph().rgb());
    button.setOn(true);
    EXPECT_EQ(colourAt(rendered(button), onCross).rgb(), Theme::selection().rgb());
}

TEST(SquareButton, GlyphHasALightEdgeBelowIt)
{
    SquareButton button(Glyph::minus);
    button.resize(24, 18);
    const QImage image = rendered(button);
    // The bar fills rows 8 and 9; its emboss copy shows in row 10 only.
    EXPECT_EQ(colourAt(image, { 10, 9 }).rgb(), Theme::glyph().rgb());
    const int edge = qGray(image.pixel(10, 10));
    EXPECT_GT(edge, qGray(image.pixel(10, 11)) + 20);
    EXPECT_GT(edge, 0.93 * 255);
}

struct ClickCase {
    const char* what;
    QPoint releaseAt;
    int clicks;
};

class ButtonClicks : public ::testing::TestWithParam<ClickCase> { };

TEST_P(ButtonClicks, ActOnReleaseInsideOnly)
{
    const ClickCase& c = GetParam();
    TransportButton button(Glyph::play);
    button.resize(26, 27);
    button.show();
    int clicks = 0;
    QObject::connect(&button, &QAbstractButton::clicked, [&] { ++clicks; });
    QTest::mousePress(&button, Qt::LeftButton, {}, { 13, 13 });
    EXPECT_TRUE(button.isDown()) << c.what;
    EXPECT_EQ(clicks, 0) << c.what;
    QTest::mouseRelease(&button, Qt::LeftButton, {}, c.releaseAt);
    EXPECT_FALSE(button.isDown()) << c.what;
    EXPECT_EQ(clicks, c.clicks) << c.what;
    EXPECT_FALSE(button.hasFocus()) << c.what;
}

INSTANTIATE_TEST_SUITE_P(LeopardButton, ButtonClicks,
    ::testing::Values(ClickCase { "inside", { 20, 20 }, 1 }, ClickCase { "outside", { 60, 13 }, 0 }));

TEST(LeopardButton, NeverTakesFocusNorKeepsAState)
{
    SquareButton button(Glyph::shuffle);
    EXPECT_EQ(button.focusPolicy(), Qt::NoFocus);
    EXPECT_FALSE(button.isCheckable());
    EXPECT_TRUE(button.testAttribute(Qt::WA_NoMousePropagation));
}

} // namespace
} // namespace lh
