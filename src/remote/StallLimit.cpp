#include "StallLimit.h"

#include <algorithm>
#include <condition_variable>
#include <iterator>
#include <thread>
#include <vector>

namespace lh {

void StallRuntime::startDetachedThread(Job job)
{
    std::thread(std::move(job)).detach();
}

namespace {

// One thread ticks every watchdog. A thread of its own per watchdog slept through a whole
// period after its operation had finished: a burst of quick operations (a thousand sizes a
// second from a share's attribute cache) kept thousands of threads asleep at once.
class WatchdogTicker {
public:
    // Never destroyed: its thread runs until the process ends.
    static WatchdogTicker& shared()
    {
        static auto* ticker = new WatchdogTicker;
        return *ticker;
    }

    void add(std::chrono::nanoseconds period, StallRuntime::Tick tick)
    {
        std::lock_guard guard(lock_);
        if (!hasThread_) {
            std::thread([this] { run(); }).detach();
            hasThread_ = true;
        }
        watchdogs_.push_back({ MonotonicClock::now() + period, period, std::move(tick) });
        wake_.notify_one();
    }

private:
    struct Watchdog {
        MonotonicClock::time_point due;
        std::chrono::nanoseconds period;
        StallRuntime::Tick tick;
    };

    // Waits in short slices of the steady clock, so time the machine spent suspended, which
    // the monotonic clock counts, is noticed soon after it wakes.
    void run()
    {
        std::unique_lock guard(lock_);
        for (;;) {
            if (watchdogs_.empty()) {
                wake_.wait(guard);
                continue;
            }
            const auto now = MonotonicClock::now();
            const auto first = std::ranges::min_element(watchdogs_, {}, &Watchdog::due)->due;
            if (now < first) {
                wake_.wait_for(guard, std::min<std::chrono::nanoseconds>(first - now, std::chrono::milliseconds(250)));
                continue;
            }
            std::vector<Watchdog> due;
            std::erase_if(watchdogs_, [&](Watchdog& watchdog) {
                if (now < watchdog.due)
                    return false;
                due.push_back(std::move(watchdog));
                return true;
            });
            guard.unlock();
            std::erase_if(due, [](Watchdog& watchdog) {
                watchdog.due = MonotonicClock::now() + watchdog.period;
                return !watchdog.tick();
            });
            guard.lock();
            std::ranges::move(due, std::back_inserter(watchdogs_));
        }
    }

    std::mutex lock_;
    std::condition_variable wake_;
    std::vector<Watchdog> watchdogs_;
    bool hasThread_ = false;
};

} // namespace

void StallRuntime::startWatchdogThread(std::chrono::nanoseconds period, Tick tick)
{
    WatchdogTicker::shared().add(period, std::move(tick));
}

} // namespace lh
