#include "SingleInstance.h"

#include "FileSystem.h"

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

// A socket's address. A path longer than an address holds (a deep cache folder) is reached
// through a descriptor of its folder, as /proc/self/fd/N/name, which names the same file.
class SocketAddress {
public:
    explicit SocketAddress(const std::string& path)
    {
        std::string usable = path;
        if (path.size() >= sizeof address_.sun_path) {
            errno = ENAMETOOLONG;
            const std::size_t slash = path.find_last_of('/');
            if (slash == std::string::npos)
                return;
            folder_ = ::open(path.substr(0, slash).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            if (folder_ < 0)
                return;
            usable = "/proc/self/fd/" + std::to_string(folder_) + path.substr(slash);
        }
        if (usable.size() >= sizeof address_.sun_path) {
            errno = ENAMETOOLONG;
            return;
        }
        address_.sun_family = AF_UNIX;
        std::memcpy(address_.sun_path, usable.data(), usable.size());
        isValid_ = true;
    }
    ~SocketAddress()
    {
        if (folder_ >= 0)
            ::close(folder_);
    }
    SocketAddress(const SocketAddress&) = delete;
    SocketAddress& operator=(const SocketAddress&) = delete;

    bool isValid() const { return isValid_; }
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&address_); }
    static constexpr socklen_t size = sizeof(sockaddr_un);

private:
    sockaddr_un address_ {};
    int folder_ = -1;
    bool isValid_ = false;
};

int millisecondsUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return int(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
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
    const SocketAddress address(socketPath);
    if (!address.isValid())
        return Delivery::failed;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return Delivery::failed;
    const int milliseconds = std::max(millisecondsUntil(deadline), 1);
    const timeval sendLimit { milliseconds / 1000, (milliseconds % 1000) * 1000 };
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit); // bounds connect() too
    Delivery delivery = Delivery::failed;
    if (::connect(fd, address.get(), SocketAddress::size) == 0 && FileSystem::writeAll(fd, bytes.data(), bytes.size()))
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

// Whether a process listens on the socket at `address`.
bool isListenedOn(const SocketAddress& address)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool isAnswered = fd >= 0 && ::connect(fd, address.get(), SocketAddress::size) == 0;
    if (fd >= 0)
        ::close(fd);
    return isAnswered;
}

// The bound and listening socket, or -1 (said once on standard error). The lock is held, so a
// socket file left behind is a dead player's and may go; but one that still answers belongs
// to a live player that took another lock, and taking it away would leave that one unreachable.
int listenOn(const std::string& path)
{
    const SocketAddress address(path);
    if (!address.isValid()) {
        std::fprintf(stderr, "larkhaven: cannot name the activation socket %s: %s\n", path.c_str(), std::strerror(errno));
        return -1;
    }
    if (isListenedOn(address)) {
        std::fprintf(stderr, "larkhaven: another player listens on %s; later launches cannot reach this one\n", path.c_str());
        return -1;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    ::unlink(path.c_str());
    const mode_t previous = ::umask(0077);
    const bool bound = ::bind(fd, address.get(), SocketAddress::size) == 0;
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
    claim.isUnanswered = lost < parts.size();
    if (last == Delivery::unconfirmed) {
        std::fprintf(stderr, "larkhaven: the running player has not confirmed %zu file(s) yet; it may still open them\n",
            claim.filesNotConfirmed);
    }
    if (claim.filesNotHandedOver > 0) {
        std::fprintf(stderr, "larkhaven: the running player did not answer; %zu file(s) not handed over\n",
            claim.filesNotHandedOver);
    } else if (claim.isUnanswered) {
        std::fprintf(stderr, "larkhaven: the running player did not answer\n");
    }
    return claim;
}

} // namespace

SingleInstance::Paths SingleInstance::defaultPaths()
{
    const std::string cache = cacheFolder();
    if (!FileSystem::makePrivateFolder(cache))
        std::fprintf(stderr, "larkhaven: cannot make the cache folder %s: %s\n", cache.c_str(), std::strerror(errno));
    // Beside the lock, so that whoever holds the lock is who listens, whatever the environment
    // of the launch (another runtime folder, or none, under ssh, cron or sudo).
    return { cache + "/.lock", cache + "/larkhaven.socket" };
}

SingleInstance::Claim SingleInstance::claimOrForward(
    const Paths& paths, const ActivationMessage& message, std::chrono::milliseconds patience)
{
    const auto deadline = Clock::now() + patience;
    if (std::optional<Claim> claim = tryToClaim(paths))
        return *claim;
    const ActivationMessage::Parts parts
        = ActivationMessage::split(message.files, message.activationToken, newHandOverId(), ActivationMessage::limits, message.part);
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
