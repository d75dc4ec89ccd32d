#include "PowerHistory.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace lh {
namespace {

// A signal whose every frame differs, so a window off by one chunk reads another power.
std::vector<float> ramp(std::int64_t frames, int channels)
{
    std::vector<float> samples;
    for (std::int64_t frame = 0; frame < frames; ++frame) {
        for (int channel = 0; channel < channels; ++channel)
            samples.push_back(static_cast<float>(std::sin(0.001 * static_cast<double>(frame * (channel + 1)))));
    }
    return samples;
}

// The mean square of channel `channel` over frames [from, to), computed the long way.
double meanSquare(const std::vector<float>& samples, int channels, int channel, std::int64_t from, std::int64_t to)
{
    double sum = 0;
    for (std::int64_t frame = from; frame < to; ++frame) {
        const double sample = samples[static_cast<std::size_t>(frame * channels + channel)];
        sum += sample * sample;
    }
    return sum / static_cast<double>(to - from);
}

struct HistoryCase {
    int channels;
    std::size_t block; // frames handed at a time
};

class PowerHistoryBlocks : public ::testing::TestWithParam<HistoryCase> { };

// Whatever blocks the device asks for, the window read is whole chunks of the run ending at or
// before the frame asked for, and its power that of a full recomputation.
TEST_P(PowerHistoryBlocks, ReadsWholeChunksAsAFullRecomputationWould)
{
    const auto [channels, block] = GetParam();
    constexpr std::int64_t start = 1000; // a run from a seek: chunks count from here
    constexpr std::int64_t frames = 30'000;
    const std::vector<float> samples = ramp(frames, channels);
    PowerHistory history(frames);
    history.restart(start);
    for (std::size_t done = 0; done < frames; done += block) {
        const std::size_t count = std::min<std::size_t>(block, frames - done);
        history.add(samples.data() + done * static_cast<std::size_t>(channels), count, channels, start + static_cast<std::int64_t>(done));
    }
    const int right = channels > 1 ? 1 : 0;
    // {end asked, frames asked, first and last frame of the window read}, counted from the run's start
    const std::int64_t cases[][4] = { { 29'000, 2205, 28'992 - 2176, 28'992 }, { 20'480, 640, 19'840, 20'480 },
        { frames, 100, frames - 112, frames }, { frames, 2205, frames - 2160, frames } };
    for (const auto& [end, asked, from, to] : cases) {
        SCOPED_TRACE(end);
        const PowerHistory::Power power = history.power(start + end, asked);
        EXPECT_EQ(power.frames, to - from);
        EXPECT_NEAR(power.left, meanSquare(samples, channels, 0, from, to), 1e-6);
        EXPECT_NEAR(power.right, meanSquare(samples, channels, right, from, to), 1e-6);
    }
}

INSTANTIATE_TEST_SUITE_P(Blocks, PowerHistoryBlocks,
    ::testing::Values(HistoryCase { 2, 8192 }, HistoryCase { 2, 1000 }, HistoryCase { 2, 37 }, HistoryCase { 2, 1 },
        HistoryCase { 1, 4096 }, HistoryCase { 6, 333 }));

TEST(PowerHistory, ForgetsWhatCameBeforeARunAndWhatIsOlderThanItHolds)
{
    const std::vector<float> loud(2 * 4096, 1.0f);
    const std::vector<float> quiet(2 * 4096, 0.5f);
    PowerHistory history(4096);
    history.add(loud.data(), 4096, 2, 0);
    history.add(quiet.data(), 128, 2, 50'000); // a seek: the loud frames are not this run's
    PowerHistory::Power power = history.power(50'128, 2205);
    EXPECT_EQ(power.frames, 128);
    EXPECT_DOUBLE_EQ(power.left, 0.25);
    history.add(quiet.data(), 4096, 2, 50'128);
    history.add(quiet.data(), 4096, 2, 54'224);
    EXPECT_EQ(history.power(50'500, 2205).frames, 0); // overwritten since
    EXPECT_EQ(history.power(49'000, 2205).frames, 0); // before the run
    EXPECT_EQ(history.end(), 58'320);
}

} // namespace
} // namespace lh
