#include "RepeatingTimer.h"

#include "EventLoop.h"
#include "ManualTimers.h"

#include <gtest/gtest.h>

#include <thread>

namespace lh {
namespace {

using namespace std::chrono_literals;

constexpr double interval = 0.005;

// A timer a contract case can let run for many intervals: on the event loop, or fired by hand.
struct MainThreadTimers {
    TimerFactory factory = makeMainThreadTimer;
    void elapse() { test::runEventsFor(80ms); }
};

struct HandFiredTimers {
    test::ManualTimers timers;
    TimerFactory factory = timers.factory();
    void elapse()
    {
        for (int i = 0; i < 5; ++i)
            timers.fire(interval);
    }
};

template <class Timers>
class RepeatingTimerContract : public ::testing::Test {
protected:
    Timers timers;
};

using TimerKinds = ::testing::Types<MainThreadTimers, HandFiredTimers>;
TYPED_TEST_SUITE(RepeatingTimerContract, TimerKinds);

TYPED_TEST(RepeatingTimerContract, FiresRepeatedlyUntilInvalidated)
{
    int fired = 0;
    auto timer = this->timers.factory(interval, [&] { ++fired; });
    this->timers.elapse();
    EXPECT_GE(fired, 3);
    timer->invalidate();
    const int atInvalidate = fired;
    this->timers.elapse();
    EXPECT_EQ(fired, atInvalidate);
}

// Both ways a block may stop its own timer: it must not fire again either way.
TYPED_TEST(RepeatingTimerContract, StoppedFromItsOwnBlockFiresNoMore)
{
    for (const bool destroy : { false, true }) {
        int fired = 0;
        std::unique_ptr<RepeatingTimer> timer;
        timer = this->timers.factory(interval, [&] {
            ++fired;
            if (destroy)
                timer.reset();
            else
                timer->invalidate();
        });
        this->timers.elapse();
        EXPECT_EQ(fired, 1) << destroy;
    }
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
