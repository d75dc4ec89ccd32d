#include "SingleInstance.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace lh {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto retryInterval = std::chrono::milliseconds(50);
// A receipt is waited for at least this long, however little patience is left.
constexpr auto shortestTry = std::chrono::seconds(1);
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

int millisecondsUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return int(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
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

enum class Delivery {
    confirmed,
    unconfirmed, // sent whole but no receipt yet: the running player may still take it
    failed, // certainly not taken: nobody listened, or the connection closed without a receipt
};

Delivery awaitReceipt(int fd, Clock::time_point deadline)
{
    pollfd entry { fd, POLLIN, 0 };
    while (true) {
        const int ready = ::poll(&entry, 1, millisecondsUntil(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0)
            return Delivery::unconfirmed;
        char receipt = 0;
        return ready > 0 && ::recv(fd, &receipt, 1, 0) == 1 && receipt == 'k' ? Delivery::confirmed : Delivery::failed;
    }
}

// One connection, one message. The player takes a message only once all of it has arrived, so
// a send cut short by the deadline (a player too busy to read) has certainly not been taken.
Delivery deliver(const std::string& socketPath, const std::string& bytes, Clock::time_point deadline)
{
    sockaddr_un address;
    if (!fillAddress(address, socketPath))
        return Delivery::failed;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return Delivery::failed;
    const int milliseconds = std::max(millisecondsUntil(deadline), 1);
    const timeval sendLimit { milliseconds / 1000, (milliseconds % 1000) * 1000 };
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit); // bounds connect() too
    Delivery delivery = Delivery::failed;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && writeAll(fd, bytes))
        delivery = awaitReceipt(fd, deadline);
    ::close(fd);
    return delivery;
}

// Tells the parts of one launch apart from every other launch's, so the player can recognise a
// part it was sent before.
std::uint64_t newHandOverId()
{
    std::uint64_t id = 0;
    if (::getrandom(&id, sizeof id, GRND_NONBLOCK) != ssize_t(sizeof id))
        id = std::uint64_t(Clock::now().time_since_epoch().count()) ^ (std::uint64_t(::getpid()) << 40);
    return id;
}

std::size_t filesIn(const std::vector<ActivationMessage>& messages, std::size_t from, std::size_t to)
{
    std::size_t count = 0;
    for (std::size_t i = from; i < to; ++i)
        count += messages[i].files.size();
    return count;
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

std::optional<SingleInstance::Claim> tryToClaim(const SingleInstance::Paths& paths)
{
    switch (takeLock(paths.lockFile)) {
    case LockResult::taken:
        return SingleInstance::Claim { SingleInstance::Role::primary, listenOn(paths.socket) };
    case LockResult::unavailable:
        return SingleInstance::Claim { SingleInstance::Role::primary, -1 };
    case LockResult::heldByOther:
        break;
    }
    return std::nullopt;
}

// What became of a launch's parts when the first `confirmed` of them were confirmed and the
// next one ended as `last`; said on standard error where files may be lost.
SingleInstance::Claim forwardedClaim(const std::vector<ActivationMessage>& parts, std::size_t confirmed, Delivery last)
{
    SingleInstance::Claim claim { SingleInstance::Role::forwarded, -1 };
    if (confirmed == parts.size())
        return claim;
    const std::size_t lost = last == Delivery::unconfirmed ? confirmed + 1 : confirmed;
    claim.filesNotConfirmed = filesIn(parts, confirmed, lost);
    claim.filesNotHandedOver = filesIn(parts, lost, parts.size());
    if (last == Delivery::unconfirmed) {
        std::fprintf(stderr, "larkhaven: the running player has not confirmed %zu file(s) yet; it may still open them\n",
            claim.filesNotConfirmed);
    }
    if (lost < parts.size()) {
        std::fprintf(stderr, "larkhaven: the running player did not answer; %zu file(s) not handed over\n",
            claim.filesNotHandedOver);
    }
    return claim;
}

} // namespace

SingleInstance::Paths SingleInstance::defaultPaths()
{
    const std::string cache = cacheFolder();
    makeFolder(cache);
    const std::string runtime = environment("XDG_RUNTIME_DIR");
    return { cache + "/.lock", (runtime.empty() ? cache : runtime) + "/larkhaven.socket" };
}

SingleInstance::Claim SingleInstance::claimOrForward(
    const Paths& paths, const ActivationMessage& message, std::chrono::milliseconds patience)
{
    const auto deadline = Clock::now() + patience;
    if (std::optional<Claim> claim = tryToClaim(paths))
        return *claim;
    const ActivationMessage::Parts parts
        = ActivationMessage::split(message.files, message.activationToken, newHandOverId());
    for (const FileURL& file : parts.leftOut)
        std::fprintf(stderr, "larkhaven: a path the running player cannot be sent, ignored: %s\n", file.path().c_str());

    // In order, each part until its receipt: a later part only adds to what an earlier one opened.
    std::size_t confirmed = 0;
    std::string bytes = parts.messages.front().encoded();
    while (true) {
        const Delivery delivery = deliver(paths.socket, bytes, std::max(deadline, Clock::now() + shortestTry));
        if (delivery == Delivery::confirmed && ++confirmed < parts.messages.size()) {
            bytes = parts.messages[confirmed].encoded();
            continue;
        }
        if (delivery != Delivery::failed || Clock::now() >= deadline)
            return forwardedClaim(parts.messages, confirmed, delivery);
        std::this_thread::sleep_for(retryInterval);
        // The running player may have ended meanwhile; then this launch becomes the player,
        // unless it has handed part of its files over already.
        if (confirmed == 0) {
            if (std::optional<Claim> claim = tryToClaim(paths))
                return *claim;
        }
    }
}

} // namespace lh
