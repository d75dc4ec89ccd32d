#include "StreamLatency.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/proplist.h>

#include <memory>
#include <string>
#include <unistd.h>
#include <utility>

namespace lh {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The stream's buffer is full and the sink has taken its latency within a second of opening.
constexpr auto settleTime = 1s;
constexpr auto answerTime = 500ms;

struct Query {
    std::string pid = std::to_string(::getpid());
    std::optional<std::chrono::microseconds> latency;
    bool isDone = false;
};

void takeStream(pa_context*, const pa_sink_input_info* info, int isLast, void* data)
{
    auto* query = static_cast<Query*>(data);
    if (isLast) {
        query->isDone = true;
        return;
    }
    const char* pid = info ? pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_PROCESS_ID) : nullptr;
    if (pid && query->pid == pid && !info->corked)
        query->latency = std::chrono::microseconds(info->buffer_usec + info->sink_usec);
}

void askWhenReady(pa_context* context, void* data)
{
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY:
        if (pa_operation* operation = pa_context_get_sink_input_info_list(context, &takeStream, data))
            pa_operation_unref(operation);
        else
            static_cast<Query*>(data)->isDone = true;
        break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        static_cast<Query*>(data)->isDone = true;
        break;
    default:
        break;
    }
}

} // namespace

std::optional<std::chrono::microseconds> serverStreamLatency(std::chrono::milliseconds timeout)
{
    const std::unique_ptr<pa_mainloop, decltype(&pa_mainloop_free)> loop(pa_mainloop_new(), &pa_mainloop_free);
    if (!loop)
        return std::nullopt;
    const std::unique_ptr<pa_context, decltype(&pa_context_unref)> context(
        pa_context_new(pa_mainloop_get_api(loop.get()), "Larkhaven latency"), &pa_context_unref);
    if (!context)
        return std::nullopt;
    Query query;
    pa_context_set_state_callback(context.get(), &askWhenReady, &query);
    // Never start a server just to ask it: the stream's own server is the one wanted.
    if (pa_context_connect(context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return std::nullopt;
    const Clock::time_point deadline = Clock::now() + timeout;
    while (!query.isDone) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        if (left.count() <= 0 || pa_mainloop_prepare(loop.get(), static_cast<int>(left.count())) < 0
            || pa_mainloop_poll(loop.get()) < 0 || pa_mainloop_dispatch(loop.get()) < 0)
            break;
    }
    pa_context_set_state_callback(context.get(), nullptr, nullptr);
    pa_context_disconnect(context.get());
    return query.latency;
}

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
        const auto latency = serverStreamLatency(answerTime);
        if (latency)
            onLatency_(*latency);
        lock.lock();
        if (isQuitting_)
            return;
    }
}

} // namespace lh
