#pragma once

#include <functional>
#include <utility>

namespace lh {

// Somewhere to run work later. Implementations run jobs in the order they were handed in.
// Injected wherever work hops between threads, so tests can step it deterministically.
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
