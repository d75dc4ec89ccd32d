#pragma once

#include <functional>
#include <memory>

namespace lh {

// A timer that calls its block about every interval until invalidated. Every implementation,
// the tests' hand-fired timers included, promises: after invalidate() returns, or the timer is
// destroyed, the block never runs again, also when that happens inside the block itself.
class RepeatingTimer {
public:
    virtual ~RepeatingTimer() = default;
    virtual void invalidate() = 0;
};

// Makes and starts a repeating timer; injected so tests can fire timers by hand.
using TimerFactory = std::function<std::unique_ptr<RepeatingTimer>(double intervalSeconds, std::function<void()> block)>;

// A timer on the main thread's event loop; it keeps firing while menus are open. Create it on
// the main thread.
std::unique_ptr<RepeatingTimer> makeMainThreadTimer(double intervalSeconds, std::function<void()> block);

} // namespace lh
