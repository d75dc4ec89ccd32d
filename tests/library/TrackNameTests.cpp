#include "TrackName.h"

#include <gtest/gtest.h>

namespace lh {
namespace {

TEST(TrackName, YearIsFourDigitsInParenthesesAtTheEnd)
{
    EXPECT_EQ(TrackName::year("Album (1999)"), "1999");
    EXPECT_EQ(TrackName::year("Title (2004) "), "2004");
    EXPECT_EQ(TrackName::year("(2004)"), "2004");
    EXPECT_EQ(TrackName::year("Live (1970)\t\n"), "1970");
    EXPECT_EQ(TrackName::year("A (1) (2010)"), "2010");
}

TEST(TrackName, NoYearWhenAnythingFollowsOrTheDigitsAreNotFour)
{
    EXPECT_FALSE(TrackName::year("Album (1999) live"));
    EXPECT_FALSE(TrackName::year("Album (99)"));
    EXPECT_FALSE(TrackName::year("Album (19999)"));
    EXPECT_FALSE(TrackName::year("Album 1999"));
    EXPECT_FALSE(TrackName::year("Album [1999]"));
    EXPECT_FALSE(TrackName::year(""));
}

} // namespace
} // namespace lh
