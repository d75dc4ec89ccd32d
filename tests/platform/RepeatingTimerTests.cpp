#include "RepeatingTimer.h"

#include "EventLoop.h"

#include <gtest/gtest.h>

namespace lh {
namespace {

using namespace std::chrono_literals;

TEST(RepeatingTimer, FiresRepeatedlyUntilInvalidated)
{
    int fired = 0;
    auto timer = makeMainThreadTimer(0.01, [&] { ++fired; });
    EXPECT_TRUE(test::runEventsUntil([&] { return fired >= 3; }));
    timer->invalidate();
    const int atInvalidate = fired;
    test::runEventsFor(60ms);
    EXPECT_EQ(fired, atInvalidate);
}

TEST(RepeatingTimer, InvalidatedFromItsOwnBlockFiresNoMore)
{
    int fired = 0;
    std::unique_ptr<RepeatingTimer> timer;
    timer = makeMainThreadTimer(0.005, [&] {
        ++fired;
        timer->invalidate();
    });
    test::runEventsFor(80ms);
    EXPECT_EQ(fired, 1);
}

TEST(RepeatingTimer, DestroyedFromItsOwnBlockFiresNoMore)
{
    int fired = 0;
    std::unique_ptr<RepeatingTimer> timer;
    timer = makeMainThreadTimer(0.005, [&] {
        ++fired;
        timer.reset();
    });
    test::runEventsFor(80ms);
    EXPECT_EQ(fired, 1);
}

TEST(RepeatingTimer, ABlockedEventLoopDoesNotMakeItFireAfterInvalidate)
{
    int fired = 0;
    auto timer = makeMainThreadTimer(0.001, [&] { ++fired; });
    std::this_thread::sleep_for(20ms); // timer events pile up while the loop is busy
    timer->invalidate();
    test::runEventsFor(30ms);
    EXPECT_EQ(fired, 0);
}

} // namespace
} // namespace lh
