#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace lh {

// Asks the sound server for this process's stream latency (PulseServer::streamLatency, which
// blocks) on a thread of its own a moment after each ask(), once the new
// stream has filled its buffer, and hands an answer to `onLatency` on that thread. The thread
// starts at the first ask() and sleeps until the next one; destruction ends a wait at once and
// an asking within its timeout.
class StreamLatencyProbe {
public:
    explicit StreamLatencyProbe(std::function<void(std::chrono::microseconds)> onLatency);
    ~StreamLatencyProbe();

    StreamLatencyProbe(const StreamLatencyProbe&) = delete;
    StreamLatencyProbe& operator=(const StreamLatencyProbe&) = delete;

    // Any thread.
    void ask();

private:
    void run();

    std::function<void(std::chrono::microseconds)> onLatency_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool isAsked_ = false; // guarded by mutex_
    bool isQuitting_ = false; // guarded by mutex_
    std::thread thread_;
};

} // namespace lh
