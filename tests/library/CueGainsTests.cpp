#include "CueGains.h"

#include <gtest/gtest.h>

#include <cmath>

namespace lh {
namespace {

// Each of the four values lives in bits of its own: setting one leaves the others as they are,
// the extremes included.
TEST(CueGains, KeepsEachValueApartFromTheOthers)
{
    const CueGains all(64, 1585, -64, 0.001);
    EXPECT_EQ(all.trackGain(), 64);
    EXPECT_NEAR(*all.trackPeak(), 1585, 1585 * 0.006);
    EXPECT_EQ(all.albumGain(), -64);
    EXPECT_NEAR(*all.albumPeak(), 0.001, 0.001 * 0.006);

    const std::optional<double> none;
    const CueGains alone[] = { { -3, none, none, none }, { none, 0.5, none, none }, { none, none, -3, none },
        { none, none, none, 0.5 } };
    for (std::size_t slot = 0; slot < std::size(alone); ++slot) {
        SCOPED_TRACE(slot);
        const CueGains& gains = alone[slot];
        EXPECT_EQ(gains.trackGain().has_value(), slot == 0);
        EXPECT_EQ(gains.trackPeak().has_value(), slot == 1);
        EXPECT_EQ(gains.albumGain().has_value(), slot == 2);
        EXPECT_EQ(gains.albumPeak().has_value(), slot == 3);
    }
    EXPECT_TRUE(CueGains().isEmpty());
    EXPECT_TRUE(CueGains(INFINITY, 0, NAN, -1).isEmpty()) << "nothing a tag could mean";
    EXPECT_EQ(CueGains(-900, none, none, none).trackGain(), -64);
}

// A gain is kept to the nearest twentieth of a dB; a peak to the step at or above it, so a gain
// it limits never lifts the real peak over full scale. What is kept comes back unchanged when
// kept again, as a stored playlist keeps it.
TEST(CueGains, RoundsGainsToTheNearestStepAndPeaksUp)
{
    for (double gain = -20; gain <= 20; gain += 0.0137) {
        const CueGains kept(gain, std::nullopt, gain, std::nullopt);
        EXPECT_NEAR(*kept.trackGain(), gain, 0.025 + 1e-9);
        EXPECT_EQ(CueGains(kept.trackGain(), std::nullopt, kept.albumGain(), std::nullopt), kept);
    }
    for (double peak = 0.001; peak < 2; peak *= 1.0071) {
        const CueGains kept(std::nullopt, peak, std::nullopt, peak);
        EXPECT_GE(*kept.trackPeak(), peak * (1 - 1e-6));
        EXPECT_LT(20 * std::log10(*kept.albumPeak() / peak), 0.05);
        EXPECT_EQ(CueGains(std::nullopt, kept.trackPeak(), std::nullopt, kept.albumPeak()), kept);
    }
}

} // namespace
} // namespace lh
