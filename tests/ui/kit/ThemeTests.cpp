#include "Theme.h"

#include <QFontInfo>

#include <gtest/gtest.h>

namespace lh {
namespace {

TEST(Theme, PressedGelIsDarkerAtEveryStopWithTheSameSharpStep)
{
    const QGradientStops& normal = Theme::gel(false);
    const QGradientStops& pressed = Theme::gel(true);
    ASSERT_EQ(normal.size(), 4);
    ASSERT_EQ(pressed.size(), 4);
    const double positions[] = { 0, 0.49, 0.51, 1.0 };
    for (int i = 0; i < 4; ++i) {
        EXPECT_DOUBLE_EQ(normal[i].first, positions[i]);
        EXPECT_DOUBLE_EQ(pressed[i].first, positions[i]);
        EXPECT_LT(pressed[i].second.lightnessF(), normal[i].second.lightnessF()) << "stop " << i;
    }
    EXPECT_NEAR(normal[0].second.redF(), 0.99, 0.002);
    EXPECT_NEAR(pressed[2].second.redF(), 0.53, 0.002);
}

TEST(Theme, ColoursAreTheDesignedOnes)
{
    EXPECT_EQ(Theme::selection(), QColor::fromRgbF(0.22f, 0.46f, 0.84f));
    EXPECT_NEAR(Theme::lcdSegment().alphaF(), 0.9, 0.002);
    EXPECT_NEAR(Theme::lcdSegmentGhost().alphaF(), 0.07, 0.002);
    EXPECT_EQ(Theme::lcdSegmentGhost().red(), 0);
    EXPECT_NEAR(Theme::emboss().color.alphaF(), 0.75, 0.002);
    EXPECT_EQ(Theme::emboss().offset, QPointF(0, 1));
}

TEST(Theme, UsesTheInstalledSansAtPixelSizes)
{
    const QFont font = Theme::font(11, true);
    EXPECT_EQ(Theme::fontFamily(), QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(QFontInfo(font).family(), QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(font.pixelSize(), 11);
    EXPECT_TRUE(font.bold());
}

} // namespace
} // namespace lh
