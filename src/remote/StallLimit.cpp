#include "StallLimit.h"

#include <cerrno>
#include <ctime>
#include <thread>

namespace lh {
namespace {

// Sleeps on the clock that keeps counting while the machine is suspended.
void sleepUntil(MonotonicClock::time_point deadline)
{
    const auto sinceEpoch = deadline.time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(sinceEpoch);
    const timespec until { static_cast<time_t>(seconds.count()),
        static_cast<long>((sinceEpoch - seconds).count()) };
    while (::clock_nanosleep(CLOCK_BOOTTIME, TIMER_ABSTIME, &until, nullptr) == EINTR) { }
}

} // namespace

void StallRuntime::startDetachedThread(Job job)
{
    std::thread(std::move(job)).detach();
}

void StallRuntime::startWatchdogThread(std::chrono::nanoseconds period, Tick tick)
{
    std::thread([period, tick = std::move(tick)] {
        do
            sleepUntil(MonotonicClock::now() + period);
        while (tick());
    }).detach();
}

} // namespace lh
