#include "Observable.h"
#include "PublisherHelpers.h"

#include "EventLoop.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <tuple>
#include <vector>

namespace lh {
namespace {

TEST(CombineLatest, DeliversOnceBothHaveAValueThenOnEveryChange)
{
    Observable<int> number(1);
    Observable<std::string> text("a");
    std::vector<std::tuple<int, std::string>> seen;
    auto subscription = combineLatest(number.publisher(), text.publisher())
                            .sink([&](const std::tuple<int, std::string>& v) { seen.push_back(v); });
    number.set(2);
    text.set("b");
    using T = std::tuple<int, std::string>;
    EXPECT_EQ(seen, std::vector<T>({ T { 1, "a" }, T { 2, "a" }, T { 2, "b" } }));
}

TEST(CombineLatest, ThreeStreamsAndCancellation)
{
    Observable<int> a(1);
    Observable<int> b(2);
    Observable<bool> c(false);
    std::vector<std::tuple<int, int, bool>> seen;
    auto subscription = combineLatest(a.publisher(), b.publisher(), c.publisher())
                            .sink([&](const std::tuple<int, int, bool>& v) { seen.push_back(v); });
    c.set(true);
    subscription.cancel();
    a.set(9);
    using T = std::tuple<int, int, bool>;
    EXPECT_EQ(seen, std::vector<T>({ T { 1, 2, false }, T { 1, 2, true } }));
}

// A scheduler the test runs by hand.
struct ManualSchedule {
    std::deque<std::function<void()>> jobs;
    void runAll()
    {
        while (!jobs.empty()) {
            auto job = std::move(jobs.front());
            jobs.pop_front();
            job();
        }
    }
};

TEST(Debounced, ABurstArrivesOnceAsItsLastValueAndNeverInsideTheCaller)
{
    Observable<int> property(0);
    ManualSchedule schedule;
    std::vector<int> seen;
    auto subscription = debounced(property.publisher(), [&](std::function<void()> job) { schedule.jobs.push_back(std::move(job)); })
                            .sink([&](int v) { seen.push_back(v); });
    property.set(1);
    property.set(2);
    EXPECT_TRUE(seen.empty());
    schedule.runAll();
    EXPECT_EQ(seen, std::vector<int>({ 2 }));
    property.set(3);
    schedule.runAll();
    EXPECT_EQ(seen, std::vector<int>({ 2, 3 }));
}

TEST(Debounced, NothingArrivesAfterCancellation)
{
    Observable<int> property(0);
    ManualSchedule schedule;
    std::vector<int> seen;
    auto subscription = debounced(property.publisher(), [&](std::function<void()> job) { schedule.jobs.push_back(std::move(job)); })
                            .sink([&](int v) { seen.push_back(v); });
    property.set(5);
    subscription.cancel();
    schedule.runAll();
    EXPECT_TRUE(seen.empty());
}

TEST(Debounced, RunsOnTheMainEventLoopByDefault)
{
    Observable<int> property(0);
    std::vector<int> seen;
    auto subscription = debounced(property.publisher()).sink([&](int v) { seen.push_back(v); });
    property.set(4);
    EXPECT_TRUE(test::runEventsUntil([&] { return !seen.empty(); }));
    EXPECT_EQ(seen, std::vector<int>({ 4 }));
}

} // namespace
} // namespace lh
