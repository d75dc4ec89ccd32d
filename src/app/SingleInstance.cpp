#include "SingleInstance.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace lh {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto receiptTimeout = std::chrono::seconds(5);
constexpr auto retryInterval = std::chrono::milliseconds(50);
constexpr int backlog = 128; // twenty simultaneous launches must all get through

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string cacheFolder()
{
    std::string base = environment("XDG_CACHE_HOME");
    if (base.empty() || base.front() != '/')
        base = environment("HOME") + "/.cache";
    return base + "/Larkhaven";
}

void makeFolder(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        ::mkdir(path.substr(0, slash).c_str(), 0700);
    ::mkdir(path.c_str(), 0700); // an error (it exists) is of no interest here
}

bool fillAddress(sockaddr_un& address, const std::string& path)
{
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.data(), path.size());
    return true;
}

bool writeAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += std::size_t(n);
    }
    return true;
}

bool awaitReceipt(int fd)
{
    pollfd entry { fd, POLLIN, 0 };
    const int timeout = int(std::chrono::duration_cast<std::chrono::milliseconds>(receiptTimeout).count());
    if (::poll(&entry, 1, timeout) <= 0)
        return false;
    char receipt = 0;
    return ::recv(fd, &receipt, 1, 0) == 1 && receipt == 'k';
}

// The bound and listening socket, or -1 (said once on standard error). The lock is held, so a
// socket file left behind is a dead player's and may go.
int listenOn(const std::string& path)
{
    sockaddr_un address;
    if (!fillAddress(address, path)) {
        std::fprintf(stderr, "larkhaven: activation socket path too long: %s\n", path.c_str());
        return -1;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    ::unlink(path.c_str());
    const mode_t previous = ::umask(0077);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::umask(previous);
    if (!bound || ::listen(fd, backlog) != 0) {
        std::fprintf(stderr, "larkhaven: cannot listen on %s: %s\n", path.c_str(), std::strerror(errno));
        ::close(fd);
        return -1;
    }
    return fd;
}

enum class LockResult { taken, heldByOther, unavailable };

LockResult takeLock(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return LockResult::unavailable;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return LockResult::heldByOther;
    }
    return LockResult::taken; // kept open and locked until the process ends
}

} // namespace

SingleInstance::Paths SingleInstance::defaultPaths()
{
    const std::string cache = cacheFolder();
    makeFolder(cache);
    const std::string runtime = environment("XDG_RUNTIME_DIR");
    return { cache + "/.lock", (runtime.empty() ? cache : runtime) + "/larkhaven.socket" };
}

bool SingleInstance::forward(const std::string& socketPath, const ActivationMessage& message)
{
    sockaddr_un address;
    if (!fillAddress(address, socketPath))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool delivered = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
        && writeAll(fd, message.encoded()) && awaitReceipt(fd);
    ::close(fd);
    return delivered;
}

SingleInstance::Claim SingleInstance::claimOrForward(
    const Paths& paths, const ActivationMessage& message, std::chrono::milliseconds patience)
{
    const auto deadline = Clock::now() + patience;
    while (true) {
        switch (takeLock(paths.lockFile)) {
        case LockResult::taken:
            return { Role::primary, listenOn(paths.socket) };
        case LockResult::unavailable:
            return { Role::primary, -1 };
        case LockResult::heldByOther:
            break;
        }
        if (forward(paths.socket, message))
            return { Role::forwarded, -1 };
        if (Clock::now() >= deadline) {
            std::fprintf(stderr, "larkhaven: the running player did not answer; %zu file(s) not handed over\n",
                message.files.size());
            return { Role::forwarded, -1 };
        }
        std::this_thread::sleep_for(retryInterval);
    }
}

} // namespace lh
