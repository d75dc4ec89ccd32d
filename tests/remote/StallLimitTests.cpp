#include "StallLimit.h"

#include "EventLoop.h"
#include "ManualExecutor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <iterator>
#include <optional>
#include <thread>

namespace lh {
namespace {

using namespace std::chrono_literals;

bool isStalled(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const StalledError&) {
        return true;
    } catch (...) {
        return false;
    }
}

// The operation's "thread" is a manual executor, the watchdog a tick the test calls, and the
// clock moves only when the test moves it.
class StallLimitTest : public ::testing::Test {
protected:
    StallRuntime runtime()
    {
        return {
            .startThread = [this](StallRuntime::Job job) { threads.execute(std::move(job)); },
            .startWatchdog = [this](std::chrono::nanoseconds period, StallRuntime::Tick tick) {
                watchdogPeriod = period;
                watchdog = std::move(tick);
            },
            .now = [this] { return now; },
        };
    }

    void start(std::function<int(const Progress&)> operation)
    {
        withStallLimit<int>(15s, std::move(operation), [this](Outcome<int> outcome) {
            ++completions;
            result.emplace(std::move(outcome));
        }, runtime());
    }

    // Advances the clock by one watchdog period and lets the watchdog look.
    bool tick()
    {
        now += watchdogPeriod;
        return watchdog();
    }

    test::ManualExecutor threads;
    StallRuntime::Tick watchdog;
    std::chrono::nanoseconds watchdogPeriod {};
    MonotonicClock::time_point now { 1000s };
    int completions = 0;
    std::optional<Outcome<int>> result;
};

TEST_F(StallLimitTest, AQuickOperationDeliversItsValueAndTheWatchdogThenEnds)
{
    start([](const Progress&) { return 42; });
    EXPECT_EQ(completions, 0) << "the operation runs on its own thread, not inside the call";
    threads.runAll();
    ASSERT_EQ(completions, 1);
    EXPECT_EQ(result->get(), 42);
    EXPECT_EQ(watchdogPeriod, 3750ms);
    EXPECT_FALSE(tick());
    EXPECT_EQ(completions, 1);
}

TEST_F(StallLimitTest, ProgressEverySecondForAMinuteIsNeverAStall)
{
    start([this](const Progress& progress) {
        for (int quarter = 1; quarter <= 240; ++quarter) {
            if (quarter % 4 == 0)
                progress();
            if (quarter % 15 == 0) {
                EXPECT_TRUE(tick());
            }
        }
        return 7;
    });
    threads.runAll();
    ASSERT_EQ(completions, 1);
    EXPECT_EQ(result->get(), 7);
}

TEST_F(StallLimitTest, NoProgressForLongerThanTheLimitReleasesTheCallerOnceAndTheLateOutcomeIsDropped)
{
    start([](const Progress& progress) {
        progress(); // the operation "wakes up" only after the stall
        return 1;
    });
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(tick()) << "idle for exactly the limit is not yet a stall";
    EXPECT_EQ(completions, 0);
    EXPECT_FALSE(tick()); // 18.75 s idle
    ASSERT_EQ(completions, 1);
    EXPECT_TRUE(isStalled(result->error()));

    threads.runAll(); // its progress report throws, and that outcome is dropped
    EXPECT_EQ(completions, 1);
    EXPECT_TRUE(isStalled(result->error()));
}

TEST_F(StallLimitTest, TheOperationsOwnErrorReachesTheCaller)
{
    start([](const Progress&) -> int { throw FileError(EIO, "read"); });
    threads.runAll();
    ASSERT_EQ(completions, 1);
    EXPECT_THROW(result->get(), FileError);
    EXPECT_FALSE(tick());
}

TEST_F(StallLimitTest, FailingToStartTheThreadIsReportedOnce)
{
    StallRuntime failing = runtime();
    failing.startThread = [](StallRuntime::Job) { throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again)); };
    withStallLimit<int>(1s, [](const Progress&) { return 0; }, [this](Outcome<int> outcome) {
        ++completions;
        result.emplace(std::move(outcome));
    }, failing);
    ASSERT_EQ(completions, 1);
    EXPECT_THROW(result->get(), std::system_error);
}

TEST(StallLimit, ARealBlockedOperationIsAbandonedWithinAQuarterOfTheLimitAfterIt)
{
    constexpr auto limit = 400ms;
    std::atomic<bool> released = false;
    std::atomic<bool> progressThrew = false;
    std::atomic<int> completions = 0;
    std::atomic<bool> stalled = false;
    std::atomic<std::int64_t> stalledAfter = 0;
    const auto started = std::chrono::steady_clock::now();

    withStallLimit<int>(limit, [&](const Progress& progress) {
        while (!released)
            std::this_thread::sleep_for(5ms);
        try {
            progress();
        } catch (const StalledError&) {
            progressThrew = true;
        }
        return 1;
    }, [&](Outcome<int> outcome) {
        stalledAfter = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
        stalled = !outcome.hasValue() && isStalled(outcome.error());
        ++completions;
    });

    ASSERT_TRUE(test::runEventsUntil([&] { return completions > 0; }, 3s));
    EXPECT_TRUE(stalled);
    EXPECT_GE(stalledAfter, 400);
    EXPECT_LE(stalledAfter, 500 + 300); // 1.25 × limit plus scheduling slack
    released = true;
    ASSERT_TRUE(test::runEventsUntil([&] { return progressThrew.load(); }, 3s));
    test::runEventsFor(50ms);
    EXPECT_EQ(completions, 1);
}

// Quick operations by the hundred (sizes answered from a share's attribute cache) leave no
// watchdog thread asleep behind each of them.
TEST(StallLimit, AHundredQuickOperationsLeaveNoThreadsBehind)
{
    const auto threadCount = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/task"), {}); };
    const auto before = threadCount();
    std::atomic<int> completions = 0;
    for (int i = 0; i < 100; ++i)
        withStallLimit<int>(15s, [](const Progress&) { return 1; }, [&](Outcome<int>) { ++completions; });
    ASSERT_TRUE(test::runEventsUntil([&] { return completions == 100; }, 10s));
    // The operations' own threads end as soon as they return; give them a moment to go.
    EXPECT_TRUE(test::runEventsUntil([&] { return threadCount() <= before + 2; }, 2s))
        << threadCount() - before << " threads more than before";
}

} // namespace
} // namespace lh
