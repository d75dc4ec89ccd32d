#include "MonotonicClock.h"

#include <ctime>

namespace lh {

MonotonicClock::time_point MonotonicClock::now() noexcept
{
    timespec ts {};
    ::clock_gettime(CLOCK_BOOTTIME, &ts);
    return time_point(std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec));
}

} // namespace lh
