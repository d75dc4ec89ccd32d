#include "MainThread.h"
#include "Observable.h"

#include "EventLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
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

// The posting threads go on running (nothing joins them) while their jobs run, so nothing
// but the hand-over orders what a poster wrote before posting before what its job reads:
// ThreadSanitizer reports any job that runs without that order.
TEST(MainThread, WorkPostedFromRunningThreadsSeesWhatTheyWroteBeforePosting)
{
    constexpr int posterCount = 4;
    constexpr int postsEach = 5000;
    std::atomic<int> ran = 0;
    std::atomic<int> wrong = 0;
    std::atomic<bool> isDone = false;
    std::vector<std::thread> posters;
    for (int i = 0; i < posterCount; ++i) {
        posters.emplace_back([&, i] {
            for (int post = 0; post < postsEach; ++post) {
                auto text = std::make_shared<std::string>(64, static_cast<char>('a' + i));
                MainThread::post([&, i, text] {
                    if (*text != std::string(64, static_cast<char>('a' + i)))
                        ++wrong;
                    ++ran;
                });
            }
            while (!isDone)
                std::this_thread::yield();
        });
    }
    const bool allRan = test::runEventsUntil([&] { return ran == posterCount * postsEach; }, std::chrono::seconds(60));
    isDone = true;
    for (std::thread& poster : posters)
        poster.join();
    EXPECT_TRUE(allRan);
    EXPECT_EQ(wrong, 0);
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
