#include "PulseServer.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>

#include <functional>
#include <memory>

namespace lh::PulseServer {
namespace {

using Clock = std::chrono::steady_clock;

// Starts one introspection request on a ready context; its callbacks set `isDone` at the end.
using Request = std::function<pa_operation*(pa_context*)>;

struct Conversation {
    Request request;
    bool isDone = false;
    bool isAnswered = false; // the request ran to its end, not the connection
};

void askWhenReady(pa_context* context, void* data)
{
    auto* conversation = static_cast<Conversation*>(data);
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY:
        if (pa_operation* operation = conversation->request(context))
            pa_operation_unref(operation);
        else
            conversation->isDone = true;
        break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        conversation->isDone = true;
        break;
    default:
        break;
    }
}

// Connects, runs `conversation`'s request and waits for its end or the deadline. Whether the
// request was answered whole.
bool converse(Conversation& conversation, std::chrono::milliseconds timeout)
{
    const std::unique_ptr<pa_mainloop, decltype(&pa_mainloop_free)> loop(pa_mainloop_new(), &pa_mainloop_free);
    if (!loop)
        return false;
    const std::unique_ptr<pa_context, decltype(&pa_context_unref)> context(
        pa_context_new(pa_mainloop_get_api(loop.get()), "Larkhaven query"), &pa_context_unref);
    if (!context)
        return false;
    pa_context_set_state_callback(context.get(), &askWhenReady, &conversation);
    // Never start a server just to ask it: the one this process would play through is wanted.
    if (pa_context_connect(context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return false;
    const Clock::time_point deadline = Clock::now() + timeout;
    while (!conversation.isDone) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        if (left.count() <= 0 || pa_mainloop_prepare(loop.get(), static_cast<int>(left.count())) < 0
            || pa_mainloop_poll(loop.get()) < 0 || pa_mainloop_dispatch(loop.get()) < 0)
            break;
    }
    pa_context_set_state_callback(context.get(), nullptr, nullptr);
    pa_context_disconnect(context.get());
    return conversation.isAnswered;
}

struct SinkCount {
    Conversation* conversation = nullptr;
    int sinks = 0;
};

void countSink(pa_context*, const pa_sink_info* info, int isLast, void* data)
{
    auto* count = static_cast<SinkCount*>(data);
    if (isLast) {
        count->conversation->isAnswered = isLast > 0; // negative: the server refused
        count->conversation->isDone = true;
        return;
    }
    if (info)
        ++count->sinks;
}

} // namespace

std::optional<bool> hasSink(std::chrono::milliseconds timeout)
{
    SinkCount count;
    Conversation conversation { [&count](pa_context* context) {
        return pa_context_get_sink_info_list(context, &countSink, &count);
    } };
    count.conversation = &conversation;
    if (!converse(conversation, timeout))
        return std::nullopt;
    return count.sinks > 0;
}

} // namespace lh::PulseServer
