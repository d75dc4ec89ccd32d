#pragma once

#include "Executor.h"

#include <cstddef>
#include <deque>
#include <functional>

namespace lh::test {

// An executor that runs nothing until the test says so.
class ManualExecutor final : public Executor {
public:
    void execute(std::function<void()> job) override { jobs_.push_back(std::move(job)); }

    // Runs the oldest job; false when there was none.
    bool runOne();
    // Runs jobs, also those they queue, until none is left; returns how many ran.
    std::size_t runAll();
    std::size_t pendingCount() const { return jobs_.size(); }

private:
    std::deque<std::function<void()>> jobs_;
};

} // namespace lh::test
