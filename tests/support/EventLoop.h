#pragma once

#include <chrono>
#include <functional>

namespace lh::test {

// Processes the main thread's events until `isDone` holds or `timeout` passes; returns
// whether it held. Every asynchronous wait in a test goes through here, so none hangs.
bool runEventsUntil(const std::function<bool()>& isDone,
    std::chrono::milliseconds timeout = std::chrono::seconds(5));

// Processes the main thread's events for `duration`.
void runEventsFor(std::chrono::milliseconds duration);

} // namespace lh::test
