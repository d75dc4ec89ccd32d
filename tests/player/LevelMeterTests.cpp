#include "LevelMeter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace lh {
namespace {

constexpr float infinity = std::numeric_limits<float>::infinity();

struct MeterCase {
    float power;
    double target;
};

class LevelMeterTarget : public ::testing::TestWithParam<MeterCase> { };

TEST_P(LevelMeterTarget, MapsDecibelsOntoTheMeter)
{
    EXPECT_NEAR(LevelMeter::target(GetParam().power), GetParam().target, 1e-6) << GetParam().power;
}

INSTANTIATE_TEST_SUITE_P(Powers, LevelMeterTarget,
    ::testing::Values(MeterCase { -infinity, 0 }, MeterCase { -60, 0 }, MeterCase { -50.01f, 0 },
        MeterCase { -50, 0 }, MeterCase { -25, 0.5 }, MeterCase { -3.01f, 0.9398 },
        MeterCase { 0, 1 }, MeterCase { 6, 1 }, MeterCase { infinity, 1 }));

TEST(LevelMeter, RisesAtOnceAndFallsByAtMostFourHundredthsPerTick)
{
    EXPECT_DOUBLE_EQ(LevelMeter::next(0.1, -25), 0.5);
    EXPECT_DOUBLE_EQ(LevelMeter::next(0.5, -infinity), 0.46);
    EXPECT_DOUBLE_EQ(LevelMeter::next(0.5, -30), 0.46); // target 0.4 is below the fall-off
    EXPECT_NEAR(LevelMeter::next(0.5, -24), 0.52, 1e-6); // computed in 32-bit float
}

TEST(LevelMeter, FullMeterEmptiesInTwentyFiveTicksOfSilence)
{
    double level = LevelMeter::next(0, 0);
    for (int tick = 0; tick < 24; ++tick)
        level = LevelMeter::next(level, -infinity);
    EXPECT_NEAR(level, 0.04, 1e-9);
    EXPECT_NEAR(LevelMeter::next(level, -infinity), 0, 1e-9); // 1.25 s at twenty ticks a second
}

} // namespace
} // namespace lh
