#include "LeopardSlider.h"
#include "ProgressSliderCell.h"
#include "Theme.h"
#include "VolumeSliderCell.h"

#include <QImage>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace lh {
namespace {

// A 100 × 13 seek slider: its track runs from x = 5.5 to 94.5.
struct SliderFixture {
    LeopardSlider slider { std::make_unique<ProgressSliderCell>() };
    std::vector<double> sentValues;
    std::vector<bool> trackingWhenSent;

    SliderFixture()
    {
        slider.resize(100, 13);
        slider.action = [this] {
            sentValues.push_back(slider.value());
            trackingWhenSent.push_back(slider.isTracking());
        };
        slider.show();
    }

    void press(double x) { QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(int(x), 6)); }
    void move(double x) { QTest::mouseMove(&slider, QPoint(int(x), 6)); }
    void release(double x) { QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(int(x), 6)); }
};

struct ClickCase {
    const char* what;
    double minimum, maximum;
    int x;
    double value;
};

class SliderClicks : public ::testing::TestWithParam<ClickCase> { };

TEST_P(SliderClicks, JumpToTheClickClampedToTheTrackAndSend)
{
    const ClickCase& c = GetParam();
    SliderFixture f;
    f.slider.setRange(c.minimum, c.maximum);
    f.press(c.x);
    f.release(c.x);
    ASSERT_EQ(f.sentValues.size(), 2u) << c.what; // the press and the release
    EXPECT_NEAR(f.sentValues.front(), c.value, 1e-9) << c.what;
    EXPECT_NEAR(f.slider.value(), c.value, 1e-9) << c.what;
    EXPECT_FALSE(f.slider.isTracking()) << c.what;
}

INSTANTIATE_TEST_SUITE_P(LeopardSlider, SliderClicks,
    ::testing::Values(ClickCase { "left end of the track", 0, 1, 5, 0 },
        ClickCase { "left of the track", 0, 1, 0, 0 },
        ClickCase { "middle", 0, 1, 50, 0.5 },
        ClickCase { "right of the track", 0, 1, 99, 1 },
        ClickCase { "middle of a shifted range", 10, 20, 50, 15 },
        ClickCase { "empty range", 3, 3, 80, 3 }));

TEST(LeopardSlider, DragSendsEveryStepAndTracksExactlyTheDrag)
{
    SliderFixture f;
    EXPECT_FALSE(f.slider.isTracking());
    f.press(50);
    EXPECT_TRUE(f.slider.isTracking());
    f.move(27.75 + 0.25); // x = 28: a quarter of the way
    f.move(-40);
    f.move(140);
    EXPECT_TRUE(f.slider.isTracking());
    f.release(72);
    EXPECT_FALSE(f.slider.isTracking());

    const std::vector<double> expected { 0.5, (28 - 5.5) / 89, 0, 1, (72 - 5.5) / 89 };
    ASSERT_EQ(f.sentValues.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(f.sentValues[i], expected[i], 1e-9) << "step " << i;
        EXPECT_TRUE(f.trackingWhenSent[i]) << "step " << i;
    }

    f.move(10); // a move after the release is no drag
    EXPECT_EQ(f.sentValues.size(), expected.size());
}

TEST(LeopardSlider, DisabledIgnoresTheClick)
{
    SliderFixture f;
    f.slider.setValue(0.25);
    f.slider.setEnabled(false);
    f.press(80);
    EXPECT_FALSE(f.slider.isTracking());
    f.release(80);
    EXPECT_TRUE(f.sentValues.empty());
    EXPECT_EQ(f.slider.value(), 0.25);
}

TEST(LeopardSlider, ValueFromCodeIsClampedAndSendsNothing)
{
    SliderFixture f;
    f.slider.setValue(0.4);
    EXPECT_EQ(f.slider.value(), 0.4);
    f.slider.setValue(7);
    EXPECT_EQ(f.slider.value(), 1);
    f.slider.setValue(std::nan(""));
    EXPECT_EQ(f.slider.value(), 0);
    f.slider.setRange(2, 4);
    EXPECT_EQ(f.slider.value(), 2);
    EXPECT_EQ(f.slider.fraction(), 0);
    EXPECT_TRUE(f.sentValues.empty());
}

TEST(SliderCell, FractionIsZeroForAnEmptyRange)
{
    EXPECT_EQ(fraction(5, 5, 5), 0);
    EXPECT_EQ(fraction(5, 6, 5), 0);
    EXPECT_DOUBLE_EQ(fraction(1.5, 1, 3), 0.25);
}

TEST(SliderCell, TrackLeavesHalfAKnobAtEachEndOnAWholePoint)
{
    const QRectF bounds(0, 0, 100, 13);
    EXPECT_EQ(ProgressSliderCell().trackRect(bounds), QRectF(5.5, 3, 89, 8));
    EXPECT_EQ(VolumeSliderCell().trackRect(bounds), QRectF(5.5, 4, 89, 5));
}

QImage drawn(const SliderCell& cell, double fraction)
{
    QImage image(100, 13, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    cell.drawInterior(painter, QRectF(0, 0, 100, 13), fraction);
    return image;
}

TEST(SliderCell, ProgressTrackIsDarkUpToTheKnobAndLightAfter)
{
    const QImage image = drawn(ProgressSliderCell(), 0.5);
    const int played = qGray(image.pixel(25, 7));
    const int unplayed = qGray(image.pixel(75, 7));
    EXPECT_LT(played, 0.5 * 255);
    EXPECT_GT(unplayed, 0.8 * 255);
    EXPECT_LT(qGray(image.pixel(50, 8)), 0.3 * 255); // the diamond's lower half
}

TEST(SliderCell, VolumeKnobFollowsTheFraction)
{
    // The knob's cap is the light gel; the groove beneath is a darker grey.
    const QImage atStart = drawn(VolumeSliderCell(), 0);
    const QImage atEnd = drawn(VolumeSliderCell(), 1);
    EXPECT_GT(qGray(atStart.pixel(6, 6)), qGray(atEnd.pixel(6, 6)));
    EXPECT_GT(qGray(atEnd.pixel(93, 6)), qGray(atStart.pixel(93, 6)));
}

} // namespace
} // namespace lh
