#include "MainThread.h"
#include "Observable.h"

#include "EventLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace lh {
namespace {

TEST(MainThread, PostedWorkRunsLaterInOrderNeverInsideTheCaller)
{
    std::vector<int> order;
    MainThread::post([&] { order.push_back(1); });
    MainThread::post([&] { order.push_back(2); });
    EXPECT_TRUE(order.empty());
    EXPECT_TRUE(test::runEventsUntil([&] { return order.size() == 2; }));
    EXPECT_EQ(order, std::vector<int>({ 1, 2 }));
}

TEST(MainThread, WorkPostedFromAnotherThreadRunsOnTheMainThread)
{
    std::atomic<bool> ranOnMain = false;
    std::atomic<bool> done = false;
    std::thread([&] {
        MainThread::post([&] {
            ranOnMain = MainThread::isCurrent();
            done = true;
        });
    }).join();
    EXPECT_TRUE(test::runEventsUntil([&] { return done.load(); }));
    EXPECT_TRUE(ranOnMain);
}

TEST(MainThread, AnObservableUsedFromAnotherThreadReportsTheCallersLine)
{
    std::optional<SourceLocation> reported;
    auto previous = MainThread::setViolationHandler([&](const SourceLocation& where) { reported = where; });
    Observable<int> property(0);
    int line = 0;
    std::thread([&] {
        line = __LINE__ + 1;
        (void)property.value();
    }).join();
    MainThread::setViolationHandler(previous);

    ASSERT_TRUE(reported.has_value());
    EXPECT_EQ(static_cast<int>(reported->line()), line);
    EXPECT_TRUE(std::string(reported->file_name()).ends_with("MainThreadTests.cpp"));
}

TEST(MainThread, ByDefaultAViolationStopsTheProgramAndSaysWhere)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(std::thread([] { MainThread::check(); }).join(), "MainThreadTests.cpp");
}

} // namespace
} // namespace lh
