#include "ManualExecutor.h"

namespace lh::test {

bool ManualExecutor::runOne()
{
    if (jobs_.empty())
        return false;
    auto job = std::move(jobs_.front());
    jobs_.pop_front();
    job();
    return true;
}

std::size_t ManualExecutor::runAll()
{
    std::size_t count = 0;
    while (runOne())
        ++count;
    return count;
}

} // namespace lh::test
