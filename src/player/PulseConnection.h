#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <pulse/def.h>

struct pa_context;
struct pa_mainloop_api;
struct pa_threaded_mainloop;

namespace lh {

// The process's one connection to the PulseAudio server (or PipeWire's PulseAudio service) it
// plays through, on libpulse's threaded main loop, and what it knows of the server's sinks.
// It never starts a server; one that went away is connected to afresh at the next connect().
//
// Threads: connect(), sinks(), defaultSink() and waitUntil() on any thread but the loop's;
// callbacks run on the loop's thread with the loop locked. Whatever uses the context or its
// streams holds the loop's lock (Lock).
class PulseConnection {
public:
    struct Sink {
        std::string name;
        std::string description;

        bool operator==(const Sink&) const = default;
    };

    static PulseConnection& instance();
    ~PulseConnection();

    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // Whether a server answers and its sinks are known, waiting up to `timeout` for it.
    bool connect(std::chrono::milliseconds timeout);
    // The ready context, else nullptr; with the loop locked.
    pa_context* context() const;

    pa_mainloop_api* api() const;

    // As last heard from the server; empty while not connected.
    std::vector<Sink> sinks() const;
    std::string defaultSink() const;
    // Called on the loop's thread whenever the sinks or the default sink may have changed,
    // also when the server went away. Set it on the main thread before connecting.
    void setOnSinksChanged(std::function<void()> onChanged);

    // Runs `isDone` with the loop locked, again whenever the loop may have changed something,
    // until it is true or `timeout` passed; its last answer.
    bool waitUntil(const std::function<bool()>& isDone, std::chrono::milliseconds timeout);
    // Wakes waitUntil(); with the loop locked.
    void notify();

    // Holds the loop's lock: nothing of the loop's runs meanwhile.
    class Lock {
    public:
        explicit Lock(const PulseConnection& connection);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        pa_threaded_mainloop* loop_;
    };

private:
    PulseConnection();
    bool startContext();
    bool isSettled() const;
    void refreshSinks();
    static void onState(pa_context* context, void* self);
    static void onEvent(pa_context* context, pa_subscription_event_type_t type, std::uint32_t index, void* self);

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr; // the loop's lock
    bool hasSinkList_ = false; // the loop's lock
    std::vector<Sink> incoming_; // the loop's lock
    std::function<void()> onSinksChanged_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t changes_ = 0; // mutex_
    std::vector<Sink> sinks_; // mutex_
    std::string defaultSink_; // mutex_
};

} // namespace lh
