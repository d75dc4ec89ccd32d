#include "ManualTimers.h"

namespace lh::test {

TimerFactory ManualTimers::factory()
{
    return [this](double interval, std::function<void()> block) {
        auto timer = std::make_shared<Timer>(Timer { interval, std::move(block) });
        timers_.push_back(timer);
        struct Handle final : RepeatingTimer {
            explicit Handle(std::shared_ptr<Timer> timer)
                : timer(std::move(timer))
            {
            }
            ~Handle() override { invalidate(); }
            void invalidate() override { timer->isValid = false; }
            std::shared_ptr<Timer> timer;
        };
        return std::make_unique<Handle>(timer);
    };
}

int ManualTimers::fire(double interval)
{
    int count = 0;
    const auto firing = timers_; // a block may create timers
    for (const auto& timer : firing) {
        if (timer->isValid && timer->interval == interval) {
            timer->block();
            ++count;
        }
    }
    return count;
}

int ManualTimers::validCount(double interval) const
{
    int count = 0;
    for (const auto& timer : timers_)
        count += timer->isValid && timer->interval == interval;
    return count;
}

} // namespace lh::test
