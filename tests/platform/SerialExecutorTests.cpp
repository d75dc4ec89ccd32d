#include "SerialExecutor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

namespace lh {
namespace {

TEST(SerialExecutor, RunsJobsOneAtATimeInOrderOnItsOwnThread)
{
    std::vector<int> order;
    std::atomic<int> running = 0;
    std::atomic<bool> overlapped = false;
    std::promise<void> done;
    {
        SerialExecutor executor;
        for (int i = 0; i < 100; ++i) {
            executor.execute([&, i] {
                if (++running > 1)
                    overlapped = true;
                EXPECT_TRUE(executor.isCurrent());
                order.push_back(i);
                --running;
            });
        }
        executor.execute([&] { done.set_value(); });
        done.get_future().wait();
        EXPECT_FALSE(executor.isCurrent());
    }
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
    EXPECT_FALSE(overlapped);
}

TEST(SerialExecutor, AJobQueuedFromAJobRunsAfterTheOnesAlreadyWaiting)
{
    std::vector<std::string> order;
    std::promise<void> done;
    std::promise<void> gate; // holds the executor until both jobs are queued
    SerialExecutor executor;
    executor.execute([opened = gate.get_future().share()] { opened.wait(); });
    executor.execute([&] {
        order.push_back("a");
        executor.execute([&] {
            order.push_back("continuation");
            done.set_value();
        });
    });
    executor.execute([&] { order.push_back("b"); });
    gate.set_value();
    done.get_future().wait();
    EXPECT_EQ(order, std::vector<std::string>({ "a", "b", "continuation" }));
}

TEST(SerialExecutor, DestructionRunsWhatWasQueued)
{
    std::atomic<int> ran = 0;
    {
        SerialExecutor executor;
        for (int i = 0; i < 10; ++i)
            executor.execute([&] { ++ran; });
    }
    EXPECT_EQ(ran, 10);
}

} // namespace
} // namespace lh
