#include "Executor.h"

#include "EventLoop.h"
#include "ManualExecutor.h"
#include "SerialExecutor.h"

#include <gtest/gtest.h>

#include <latch>
#include <mutex>
#include <thread>
#include <vector>

namespace lh {
namespace {

using namespace std::chrono_literals;

// How deep the current thread is inside execute(): a job that sees more than zero was run
// from within the call that handed it in.
thread_local int insideExecute = 0;

// An executor a contract case can drain until the jobs it expects have run.
struct StepExecutor {
    test::ManualExecutor executor;
    bool drain(const std::function<bool()>& isDone)
    {
        executor.runAll();
        return isDone();
    }
};

struct ThreadExecutor {
    SerialExecutor executor;
    bool drain(const std::function<bool()>& isDone)
    {
        for (int i = 0; i < 500 && !isDone(); ++i)
            std::this_thread::sleep_for(10ms);
        return isDone();
    }
};

struct EventLoopExecutor {
    MainThreadExecutor executor;
    bool drain(const std::function<bool()>& isDone) { return test::runEventsUntil(isDone); }
};

template <class Side>
class ExecutorContract : public ::testing::Test {
protected:
    Side side;
    std::mutex mutex;
    std::vector<int> ran; // job numbers, in the order they ran
    bool ranInsideExecute = false;

    std::function<void()> job(int number, std::function<void()> then = {})
    {
        return [this, number, then = std::move(then)] {
            {
                std::lock_guard lock(mutex);
                ran.push_back(number);
                ranInsideExecute = ranInsideExecute || insideExecute > 0;
            }
            if (then)
                then();
        };
    }
    void handIn(std::function<void()> job)
    {
        ++insideExecute;
        side.executor.execute(std::move(job));
        --insideExecute;
    }
    std::vector<int> drained(std::size_t count)
    {
        EXPECT_TRUE(side.drain([&] {
            std::lock_guard lock(mutex);
            return ran.size() >= count;
        }));
        std::lock_guard lock(mutex);
        EXPECT_FALSE(ranInsideExecute);
        return ran;
    }
};

using Executors = ::testing::Types<StepExecutor, ThreadExecutor, EventLoopExecutor>;
TYPED_TEST_SUITE(ExecutorContract, Executors);

// A job handed in by a job runs after those already waiting, and neither runs inside the
// execute() that handed it in.
TYPED_TEST(ExecutorContract, JobsRunInTheOrderHandedInAndNeverInsideExecute)
{
    // Held until all three are in, or an executor of its own thread could run job 1 (and so
    // hand in job 4) before jobs 2 and 3 are waiting.
    std::latch handedIn(1);
    this->side.executor.execute([&handedIn] { handedIn.wait(); });
    this->handIn(this->job(1, [this] { this->handIn(this->job(4)); }));
    this->handIn(this->job(2));
    this->handIn(this->job(3));
    handedIn.count_down();
    EXPECT_EQ(this->drained(4), (std::vector<int> { 1, 2, 3, 4 }));
}

} // namespace
} // namespace lh
