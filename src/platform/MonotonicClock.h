#pragma once

#include <chrono>
#include <functional>

namespace lh {

// A monotonic clock that keeps counting while the machine sleeps (CLOCK_BOOTTIME), so a
// stall limit measured across a suspend is still honest.
struct MonotonicClock {
    using duration = std::chrono::nanoseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<MonotonicClock>;
    static constexpr bool is_steady = true;

    static time_point now() noexcept;
};

// Where code asks for the time; substituted in tests.
using MonotonicNow = std::function<MonotonicClock::time_point()>;

} // namespace lh
