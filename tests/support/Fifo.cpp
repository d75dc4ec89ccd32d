#include "Fifo.h"

#include <future>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lh::test {

using namespace std::chrono_literals;

Fifo::Fifo(std::string path)
    : path_(std::move(path))
{
    if (::mkfifo(path_.c_str(), 0600) != 0)
        throw std::runtime_error("cannot make the FIFO " + path_);
}

Fifo::~Fifo()
{
    ::unlink(path_.c_str());
}

bool Fifo::returnsInTime(const std::function<void()>& call, std::chrono::milliseconds timeout) const
{
    std::future<void> done = std::async(std::launch::async, call);
    if (done.wait_for(timeout) == std::future_status::ready) {
        done.get();
        return true;
    }
    // The call may open the pipe again after each release (several readers in turn).
    while (done.wait_for(10ms) != std::future_status::ready) {
        const int writer = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (writer >= 0)
            ::close(writer);
    }
    done.get();
    return false;
}

} // namespace lh::test
