#include "GainRamp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace lh {
namespace {

// A change in the middle of a file glides to the new factor in equal steps, split over blocks
// as the device asks for them, and then holds it exactly.
TEST(GainRamp, RampsInEqualStepsAcrossBlocksAndThenHolds)
{
    GainRamp gain(1.0f);
    gain.rampTo(0.5f, 100);
    std::vector<float> samples(2 * 150, 1.0f);
    gain.apply(samples.data(), 30, 2);
    gain.apply(samples.data() + 60, 120, 2);
    for (std::size_t frame = 0; frame < 150; ++frame) {
        const float expected = frame < 100 ? 1.0f - 0.5f * static_cast<float>(frame + 1) / 100 : 0.5f;
        ASSERT_NEAR(samples[2 * frame], expected, 1e-5) << "frame " << frame;
        ASSERT_EQ(samples[2 * frame + 1], samples[2 * frame]) << "both channels alike";
    }
    EXPECT_EQ(samples.back(), 0.5f);
}

} // namespace
} // namespace lh
