#include "PulseConnection.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/proplist.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>

#include <memory>

namespace lh {
namespace {

bool isOver(pa_context_state_t state)
{
    return state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED;
}

// One reading of the sinks and the default one; several may be under way at once.
struct SinkReading {
    PulseConnection* connection;
    std::vector<PulseConnection::Sink> sinks;
};

} // namespace

PulseConnection& PulseConnection::instance()
{
    static PulseConnection connection;
    return connection;
}

PulseConnection::PulseConnection()
    : loop_(pa_threaded_mainloop_new())
{
    if (loop_ && pa_threaded_mainloop_start(loop_) < 0) {
        pa_threaded_mainloop_free(loop_);
        loop_ = nullptr;
    }
    if (loop_)
        pa_threaded_mainloop_set_name(loop_, "sound server");
}

PulseConnection::~PulseConnection()
{
    if (!loop_)
        return;
    pa_threaded_mainloop_stop(loop_);
    if (context_) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    pa_threaded_mainloop_free(loop_);
}

PulseConnection::Lock::Lock(const PulseConnection& connection)
    : loop_(connection.loop_)
{
    if (loop_)
        pa_threaded_mainloop_lock(loop_);
}

PulseConnection::Lock::~Lock()
{
    if (loop_)
        pa_threaded_mainloop_unlock(loop_);
}

bool PulseConnection::connect(std::chrono::milliseconds timeout)
{
    if (!loop_)
        return false;
    {
        Lock lock(*this);
        if (!context_ || isOver(pa_context_get_state(context_)))
            startContext();
    }
    waitUntil([this] { return isSettled(); }, timeout);
    Lock lock(*this);
    return context() != nullptr;
}

pa_context* PulseConnection::context() const
{
    const bool isReady = context_ && pa_context_get_state(context_) == PA_CONTEXT_READY && hasSinkList_;
    return isReady ? context_ : nullptr;
}

pa_mainloop_api* PulseConnection::api() const
{
    return pa_threaded_mainloop_get_api(loop_);
}

bool PulseConnection::isSettled() const
{
    return !context_ || isOver(pa_context_get_state(context_)) || context();
}

bool PulseConnection::startContext()
{
    if (context_) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_set_subscribe_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    hasSinkList_ = false;
    const std::unique_ptr<pa_proplist, decltype(&pa_proplist_free)> properties(pa_proplist_new(), &pa_proplist_free);
    pa_proplist_sets(properties.get(), PA_PROP_APPLICATION_NAME, "Larkhaven");
    pa_proplist_sets(properties.get(), PA_PROP_APPLICATION_ID, "larkhaven");
    pa_proplist_sets(properties.get(), PA_PROP_APPLICATION_ICON_NAME, "larkhaven");
    context_ = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop_), "Larkhaven", properties.get());
    if (!context_)
        return false;
    pa_context_set_state_callback(context_, &PulseConnection::onState, this);
    // Never start a server: the one this process would play through is wanted, or none.
    return pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0;
}

void PulseConnection::onState(pa_context* context, void* self)
{
    auto* connection = static_cast<PulseConnection*>(self);
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_READY) {
        pa_context_set_subscribe_callback(context, &PulseConnection::onEvent, connection);
        const auto mask = static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SERVER);
        if (pa_operation* operation = pa_context_subscribe(context, mask, nullptr, nullptr))
            pa_operation_unref(operation);
        connection->refreshSinks();
    } else if (isOver(state)) {
        connection->hasSinkList_ = false;
        {
            std::lock_guard lock(connection->mutex_);
            connection->sinks_.clear();
            connection->defaultSink_.clear();
        }
        if (connection->onSinksChanged_)
            connection->onSinksChanged_();
    }
    connection->notify();
}

void PulseConnection::onEvent(pa_context*, pa_subscription_event_type_t type, std::uint32_t, void* self)
{
    const int facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    if (facility == PA_SUBSCRIPTION_EVENT_SINK || facility == PA_SUBSCRIPTION_EVENT_SERVER)
        static_cast<PulseConnection*>(self)->refreshSinks();
}

// Reads the sinks, then the server's default; only a change is told.
void PulseConnection::refreshSinks()
{
    auto* reading = new SinkReading { this, {} };
    static constexpr auto onServer = [](pa_context*, const pa_server_info* info, void* data) {
        const std::unique_ptr<SinkReading> reading(static_cast<SinkReading*>(data));
        PulseConnection& connection = *reading->connection;
        const std::string defaultSink = info && info->default_sink_name ? info->default_sink_name : "";
        bool isChanged = false;
        {
            std::lock_guard lock(connection.mutex_);
            isChanged = connection.sinks_ != reading->sinks || connection.defaultSink_ != defaultSink;
            connection.sinks_ = std::move(reading->sinks);
            connection.defaultSink_ = defaultSink;
        }
        connection.hasSinkList_ = true;
        if (isChanged && connection.onSinksChanged_)
            connection.onSinksChanged_();
        connection.notify();
    };
    const auto onSink = [](pa_context* context, const pa_sink_info* info, int isLast, void* data) {
        auto* reading = static_cast<SinkReading*>(data);
        if (!isLast) {
            if (info)
                reading->sinks.push_back({ info->name ? info->name : "", info->description ? info->description : "" });
            return;
        }
        pa_operation* operation = isLast > 0 ? pa_context_get_server_info(context, onServer, data) : nullptr;
        if (operation)
            pa_operation_unref(operation);
        else
            delete reading; // refused, or the connection is going: the next reading tells
    };
    if (pa_operation* operation = pa_context_get_sink_info_list(context_, onSink, reading))
        pa_operation_unref(operation);
    else
        delete reading;
}

std::vector<PulseConnection::Sink> PulseConnection::sinks() const
{
    std::lock_guard lock(mutex_);
    return sinks_;
}

std::string PulseConnection::defaultSink() const
{
    std::lock_guard lock(mutex_);
    return defaultSink_;
}

void PulseConnection::setOnSinksChanged(std::function<void()> onChanged)
{
    Lock lock(*this);
    onSinksChanged_ = std::move(onChanged);
}

bool PulseConnection::waitUntil(const std::function<bool()>& isDone, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock lock(mutex_);
    while (true) {
        const std::uint64_t seen = changes_;
        lock.unlock();
        bool done = false;
        {
            Lock loopLock(*this);
            done = isDone();
        }
        lock.lock();
        if (done)
            return true;
        if (!changed_.wait_until(lock, deadline, [&] { return changes_ != seen; }))
            break;
    }
    lock.unlock();
    Lock loopLock(*this);
    return isDone();
}

void PulseConnection::notify()
{
    {
        std::lock_guard lock(mutex_);
        ++changes_;
    }
    changed_.notify_all();
}

} // namespace lh
