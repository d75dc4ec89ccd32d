#include "SerialExecutor.h"

namespace lh {

SerialExecutor::SerialExecutor()
    : thread_([this] { run(); })
{
}

SerialExecutor::~SerialExecutor()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void SerialExecutor::execute(std::function<void()> job)
{
    {
        std::lock_guard lock(mutex_);
        if (stopping_)
            return;
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

bool SerialExecutor::isCurrent() const noexcept
{
    return std::this_thread::get_id() == thread_.get_id();
}

void SerialExecutor::run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty())
            return; // stopping and drained
        auto job = std::move(jobs_.front());
        jobs_.pop_front();
        lock.unlock();
        job();
        job = nullptr; // release captures outside the lock
        lock.lock();
    }
}

} // namespace lh
