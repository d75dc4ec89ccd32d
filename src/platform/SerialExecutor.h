#pragma once

#include "Executor.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace lh {

// A thread of its own that runs jobs one at a time, first in first out. The object that owns
// it touches its fields only from jobs, which makes it an actor: anything that "awaits"
// returns from its job and continues in a later one, so other jobs run in between.
class SerialExecutor final : public Executor {
public:
    SerialExecutor();
    // Refuses new jobs, runs the ones already queued, then joins the thread.
    ~SerialExecutor() override;

    SerialExecutor(const SerialExecutor&) = delete;
    SerialExecutor& operator=(const SerialExecutor&) = delete;

    // Safe from any thread, including from a job of this executor. Dropped once the
    // executor is being destroyed.
    void execute(std::function<void()> job) override;

    // True on this executor's own thread.
    bool isCurrent() const noexcept;

private:
    void run();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace lh
