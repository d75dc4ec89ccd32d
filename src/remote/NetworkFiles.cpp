#include "NetworkFiles.h"

#include "FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace lh {
namespace {

class Descriptor {
public:
    explicit Descriptor(int fd)
        : fd_(fd)
    {
    }
    ~Descriptor() { close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const noexcept { return fd_; }
    int release() noexcept { return std::exchange(fd_, -1); }
    void close() noexcept
    {
        if (fd_ >= 0)
            ::close(fd_); // errors ignored: nothing is left to save
        fd_ = -1;
    }

private:
    int fd_;
};

// Only a regular file is copied: opening a FIFO to read would wait for a writer, holding a
// thread for ever. Anything else counts as no file at all.
int openForReading(const FileURL& url)
{
    const int fd = ::open(url.path().c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        FileError::throwLast("open " + url.path());
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || ::fcntl(fd, F_SETFL, O_RDONLY) != 0) {
        ::close(fd);
        throw MissingFileError();
    }
    return fd;
}

std::size_t readSome(int fd, char* data, std::size_t size)
{
    for (;;) {
        const ssize_t count = ::read(fd, data, size);
        if (count >= 0)
            return static_cast<std::size_t>(count);
        if (errno != EINTR)
            FileError::throwLast("read");
    }
}

// Copies in pieces the size cp uses, each written as soon as it is read: on FUSE shares
// (sshfs) the kernel's read-ahead then keeps the link busy, where reading a whole block before
// writing it leaves the link idle during each write, a quarter slower in all. Every piece read
// is progress: a slow link that still delivers is not a stalled one.
void copyBlocks(int source, int destination, const Progress& progress)
{
    std::vector<char> piece(NetworkFiles::pieceSize);
    for (;;) {
        const std::size_t count = readSome(source, piece.data(), piece.size());
        if (count == 0)
            return;
        progress();
        if (!FileSystem::writeAll(destination, piece.data(), count))
            FileError::throwLast("write");
    }
}

} // namespace

NetworkFiles::NetworkFiles(MountLister mounts)
    : mounts_(std::move(mounts))
{
}

template <typename Body>
auto NetworkFiles::tellingMissing(const FileURL& url, Body body) -> decltype(body())
{
    try {
        return body();
    } catch (const FileError& error) {
        if (error.isNoSuchFile() && Volumes::holder(url, mounts_()))
            throw MissingFileError();
        throw;
    }
}

std::int64_t NetworkFiles::size(const FileURL& url)
{
    return tellingMissing(url, [&] {
        struct stat info {};
        if (::stat(url.path().c_str(), &info) != 0)
            FileError::throwLast("stat " + url.path());
        return static_cast<std::int64_t>(info.st_size);
    });
}

void NetworkFiles::copy(const FileURL& source, const FileURL& destination, const Progress& progress)
{
    Descriptor input(tellingMissing(source, [&] { return openForReading(source); }));
    ::posix_fadvise(input.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    progress();

    const int fd = ::open(destination.path().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        FileError::throwLast("create " + destination.path()); // nothing was created to remove
    Descriptor output(fd);
    try {
        copyBlocks(input.get(), output.get(), progress);
        // A late write error shows only here; a copy that may be short must not pass.
        if (::close(output.release()) != 0)
            FileError::throwLast("close " + destination.path());
    } catch (...) {
        output.close();
        ::unlink(destination.path().c_str());
        throw;
    }
}

} // namespace lh
