#pragma once

#include <functional>

namespace lh {

// Somewhere to run work later. Implementations run jobs in the order they were handed in.
// Injected wherever work hops between threads, so tests can step it deterministically.
class Executor {
public:
    virtual ~Executor() = default;
    virtual void execute(std::function<void()> job) = 0;
};

// Runs jobs on the Qt main thread's event loop.
class MainThreadExecutor final : public Executor {
public:
    void execute(std::function<void()> job) override;
};

} // namespace lh
