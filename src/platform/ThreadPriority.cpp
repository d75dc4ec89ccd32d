#include "ThreadPriority.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace lh::ThreadPriority {
namespace {

// From the kernel's ioprio.h, which glibc does not wrap.
constexpr int ioprioWhoProcess = 1; // with id 0: the calling thread
constexpr int ioprioClassIdle = 3;
constexpr int ioprioClassShift = 13;

} // namespace

bool lowerToIdle()
{
    const bool isIdleIo = ::syscall(SYS_ioprio_set, ioprioWhoProcess, 0, ioprioClassIdle << ioprioClassShift) == 0;
    sched_param none {};
    ::pthread_setschedparam(::pthread_self(), SCHED_IDLE, &none);
    ::setpriority(PRIO_PROCESS, ::gettid(), 19);
    return isIdleIo;
}

} // namespace lh::ThreadPriority
