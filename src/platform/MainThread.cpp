#include "MainThread.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>

namespace lh {
namespace {

void abortWithLocation(const SourceLocation& where)
{
    std::fprintf(stderr, "larkhaven: main-thread object used from another thread at %s:%u (%s)\n",
                 where.file_name(), static_cast<unsigned>(where.line()), where.function_name());
    std::abort();
}

std::mutex handlerMutex;

// Qt hands a posted job to the main thread under locks inside Qt itself, which a race
// detector cannot see into: it takes the job, written by the poster and run on the main
// thread, for a data race, and so hides the real ones among false reports. Posting under this
// lock and taking it before the job runs makes the hand-over visible to it. It is held only
// while a job is queued, so the main thread waits at most that long.
std::mutex handOverMutex;

class PostedWork {
public:
    explicit PostedWork(std::function<void()> work)
        : work_(std::move(work))
    {
    }

    void operator()()
    {
        { std::lock_guard handedOver(handOverMutex); }
        work_();
    }

private:
    std::function<void()> work_;
};

MainThread::ViolationHandler& handler()
{
    static MainThread::ViolationHandler current = abortWithLocation;
    return current;
}

} // namespace

bool MainThread::isCurrent() noexcept
{
    // On Linux the initial thread's id equals the process id; cached per thread.
    thread_local const bool isMain = ::syscall(SYS_gettid) == ::getpid();
    return isMain;
}

void MainThread::check(const SourceLocation& where)
{
    if (isCurrent())
        return;
    ViolationHandler report;
    {
        std::lock_guard lock(handlerMutex);
        report = handler();
    }
    report(where);
}

MainThread::ViolationHandler MainThread::setViolationHandler(ViolationHandler replacement)
{
    std::lock_guard lock(handlerMutex);
    return std::exchange(handler(), replacement ? std::move(replacement) : abortWithLocation);
}

void MainThread::post(std::function<void()> work)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        std::fprintf(stderr, "larkhaven: work posted to the main thread before the application exists\n");
        std::abort();
    }
    std::lock_guard handingOver(handOverMutex);
    QMetaObject::invokeMethod(app, PostedWork(std::move(work)), Qt::QueuedConnection);
}

} // namespace lh
