#include "StreamLatency.h"

#include "PulseServer.h"

#include <utility>

namespace lh {
namespace {

using namespace std::chrono_literals;

// The stream's buffer is full and the sink has taken its latency within a second of opening.
constexpr auto settleTime = 1s;
constexpr auto answerTime = 500ms;

} // namespace

StreamLatencyProbe::StreamLatencyProbe(std::function<void(std::chrono::microseconds)> onLatency)
    : onLatency_(std::move(onLatency))
{
}

StreamLatencyProbe::~StreamLatencyProbe()
{
    {
        std::lock_guard lock(mutex_);
        isQuitting_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void StreamLatencyProbe::ask()
{
    {
        std::lock_guard lock(mutex_);
        isAsked_ = true;
        if (!thread_.joinable())
            thread_ = std::thread([this] { run(); });
    }
    wake_.notify_all();
}

void StreamLatencyProbe::run()
{
    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait(lock, [this] { return isAsked_ || isQuitting_; });
        isAsked_ = false;
        // A stream opened again meanwhile starts the wait afresh.
        if (wake_.wait_for(lock, settleTime, [this] { return isAsked_ || isQuitting_; })) {
            if (isQuitting_)
                return;
            continue;
        }
        lock.unlock();
        const auto latency = PulseServer::streamLatency(answerTime);
        if (latency)
            onLatency_(*latency);
        lock.lock();
        if (isQuitting_)
            return;
    }
}

} // namespace lh
