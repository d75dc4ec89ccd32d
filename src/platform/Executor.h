#pragma once

#include <functional>
#include <utility>

namespace lh {

// Somewhere to run work later. Injected wherever work hops between threads, so tests can step
// it deterministically (tests/support/ManualExecutor). Every implementation:
// - runs each job at most once, and one at a time, in the order they were handed in;
// - never runs a job inside `execute`, so a caller may hold its own state half-changed across
//   the call, and a job may hand in the next without running into itself;
// - may drop jobs handed in while it is being destroyed (say so where it does).
class Executor {
public:
    virtual ~Executor() = default;
    virtual void execute(std::function<void()> job) = 0;
};

// Hands `value` to `executor` to be destroyed there: the last copy of a large playlist or map
// takes long enough to free that the main thread passes it on. The value must be safe to
// destroy on another thread.
template <typename T>
void freeOn(Executor& executor, T value)
{
    executor.execute([value = std::move(value)] {});
}

// Runs jobs on the Qt main thread's event loop.
class MainThreadExecutor final : public Executor {
public:
    void execute(std::function<void()> job) override;
};

} // namespace lh
