#pragma once

#include "RepeatingTimer.h"

#include <functional>
#include <memory>
#include <vector>

namespace lh::test {

// Timers fired by hand.
class ManualTimers {
public:
    struct Timer {
        double interval;
        std::function<void()> block;
        bool isValid = true;
    };
    TimerFactory factory();
    // Fires every valid timer of this interval once; returns how many fired.
    int fire(double interval);
    int validCount(double interval) const;

private:
    std::vector<std::shared_ptr<Timer>> timers_;
};

} // namespace lh::test
