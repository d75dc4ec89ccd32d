#include "EventLoop.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <thread>

namespace lh::test {

bool runEventsUntil(const std::function<bool()>& isDone, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!isDone()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void runEventsFor(std::chrono::milliseconds duration)
{
    runEventsUntil([] { return false; }, duration);
}

} // namespace lh::test
