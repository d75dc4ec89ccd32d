#include "PlaybackTimeFormatter.h"

#include <gtest/gtest.h>

#include <limits>

namespace lh {
namespace {

struct TimeCase {
    double seconds;
    const char* text;
};

class PlaybackTimeText : public ::testing::TestWithParam<TimeCase> { };

TEST_P(PlaybackTimeText, ShowsMinutesAndTwoDigitSeconds)
{
    EXPECT_EQ(PlaybackTimeFormatter::string(GetParam().seconds), QString::fromLatin1(GetParam().text)) << GetParam().seconds;
}

INSTANTIATE_TEST_SUITE_P(Times, PlaybackTimeText,
    ::testing::Values(TimeCase { 0, "0:00" }, TimeCase { 59.9, "0:59" }, TimeCase { 65.7, "1:05" },
        TimeCase { 600, "10:00" }, TimeCase { 3725, "62:05" }, TimeCase { -1, "0:00" },
        TimeCase { -0.5, "0:00" }, TimeCase { std::numeric_limits<double>::quiet_NaN(), "0:00" },
        TimeCase { std::numeric_limits<double>::infinity(), "0:00" },
        // Beyond what a 64-bit count of seconds holds: no time at all, not a crash.
        TimeCase { 1e300, "0:00" }));

} // namespace
} // namespace lh
