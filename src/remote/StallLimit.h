#pragma once

#include "FileErrors.h"
#include "MonotonicClock.h"

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <variant>

namespace lh {

// Called by a guarded operation whenever it has made progress. Throws StalledError once the
// watchdog has given up on the operation, so the operation ends at its next report.
using Progress = std::function<void()>;

// The value a guarded operation returned, or the error it (or its watchdog) threw.
template <typename T>
class Outcome {
public:
    static Outcome success(T value) { return Outcome(std::move(value)); }
    static Outcome failure(std::exception_ptr error) { return Outcome(std::move(error)); }

    bool hasValue() const noexcept { return std::holds_alternative<T>(content_); }
    const T& value() const { return std::get<T>(content_); }
    const std::exception_ptr& error() const { return std::get<std::exception_ptr>(content_); }

    // The value, or the error rethrown.
    const T& get() const
    {
        if (!hasValue())
            std::rethrow_exception(error());
        return value();
    }

private:
    explicit Outcome(T value)
        : content_(std::move(value))
    {
    }
    explicit Outcome(std::exception_ptr error)
        : content_(std::move(error))
    {
    }

    std::variant<T, std::exception_ptr> content_;
};

// Where a guarded operation gets its thread, its watchdog and the time. The defaults are the
// real ones; tests substitute deterministic ones.
struct StallRuntime {
    using Job = std::function<void()>;
    // Returns whether the watchdog is still needed.
    using Tick = std::function<bool()>;

    // Runs `job` on a new thread of its own, never a pooled one: it may block for ever.
    std::function<void(Job)> startThread = startDetachedThread;
    // Calls `tick` every `period` on a thread that no guarded operation can hold up, until
    // it returns false. The real one is a single thread for every watchdog of the process.
    std::function<void(std::chrono::nanoseconds period, Tick)> startWatchdog = startWatchdogThread;
    MonotonicNow now = MonotonicClock::now;

    static void startDetachedThread(Job job);
    static void startWatchdogThread(std::chrono::nanoseconds period, Tick tick);
};

namespace detail {

// Shared by the caller, the operation's thread and the watchdog. `lock` guards the three
// fields below it and is never held while the operation runs or the completion is called.
template <typename T>
class StallState {
public:
    StallState(std::function<void(Outcome<T>)> completion, MonotonicNow now)
        : now_(std::move(now))
        , completion_(std::move(completion))
        , lastProgress_(now_())
    {
    }

    void touch()
    {
        std::lock_guard guard(lock_);
        if (finished_)
            throw StalledError();
        lastProgress_ = now_();
    }

    // Only the first outcome reaches the completion; later ones are dropped.
    void finish(Outcome<T> outcome)
    {
        std::function<void(Outcome<T>)> completion;
        {
            std::lock_guard guard(lock_);
            if (finished_)
                return;
            finished_ = true;
            completion = std::exchange(completion_, nullptr);
        }
        completion(std::move(outcome));
    }

    // One watchdog check: gives up when the operation has been idle for longer than `limit`.
    // Returns whether the operation is still running.
    bool check(std::chrono::nanoseconds limit)
    {
        bool isStalled = false;
        {
            std::lock_guard guard(lock_);
            if (finished_)
                return false;
            isStalled = limit < now_() - lastProgress_;
        }
        if (isStalled)
            finish(Outcome<T>::failure(std::make_exception_ptr(StalledError())));
        return !isStalled;
    }

private:
    const MonotonicNow now_;
    std::mutex lock_;
    std::function<void(Outcome<T>)> completion_;
    MonotonicClock::time_point lastProgress_;
    bool finished_ = false;
};

} // namespace detail

// Runs a blocking `operation` on a thread of its own under a no-progress watchdog and calls
// `completion` exactly once: with the operation's value or error, or with StalledError when
// the operation reported no progress for longer than `limit`. The watchdog looks every
// limit / 4, so a stall is reported between limit and 1.25 × limit after the last progress.
//
// Nobody waits: this returns at once. `completion` runs on the operation's thread or the
// watchdog's, never inside this call's caller; it must hop to wherever its caller lives. A
// stalled operation is not interrupted: it runs on until its blocking call returns, its next
// progress report throws StalledError, and its outcome is dropped.
template <typename T>
void withStallLimit(std::chrono::nanoseconds limit, std::function<T(const Progress&)> operation,
    std::function<void(Outcome<T>)> completion, const StallRuntime& runtime = {})
{
    auto state = std::make_shared<detail::StallState<T>>(std::move(completion), runtime.now);
    try {
        runtime.startThread([state, operation = std::move(operation)] {
            const Progress progress = [state] { state->touch(); };
            try {
                state->finish(Outcome<T>::success(operation(progress)));
            } catch (...) {
                state->finish(Outcome<T>::failure(std::current_exception()));
            }
        });
        runtime.startWatchdog(limit / 4, [state, limit] { return state->check(limit); });
    } catch (...) {
        // No thread to be had: the caller still hears exactly once.
        state->finish(Outcome<T>::failure(std::current_exception()));
    }
}

} // namespace lh
