#pragma once

#include <functional>
#include "SourceLocation.h"

namespace lh {

// The main thread is the process's initial thread, where the Qt application object lives.
// Models, timers and the preferences store belong to it; touching them elsewhere is a
// programming error that is reported with the offending caller's file and line.
class MainThread {
public:
    using ViolationHandler = std::function<void(const SourceLocation&)>;

    static bool isCurrent() noexcept;

    // Reports a violation when not called on the main thread.
    static void check(const SourceLocation& where = SourceLocation::current());

    // Replaces the reporter (tests); the default prints the location and aborts.
    // Returns the previous handler.
    static ViolationHandler setViolationHandler(ViolationHandler handler);

    // Runs `work` later on the main thread, after everything posted before it; never inside
    // the caller. Safe from any thread once the Qt application object exists.
    static void post(std::function<void()> work);
};

} // namespace lh
