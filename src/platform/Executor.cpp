#include "Executor.h"

#include "MainThread.h"

namespace lh {

void MainThreadExecutor::execute(std::function<void()> job)
{
    MainThread::post(std::move(job));
}

} // namespace lh
