#include "FileSystem.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace lh::FileSystem {
namespace {

struct FileDescriptor {
    int fd;
    ~FileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// The names in a folder that `keep` accepts, given the folder's descriptor and the entry.
template <typename Keep>
std::vector<std::string> names(const std::string& path, Keep keep)
{
    std::vector<std::string> names;
    DIR* folder = ::opendir(path.c_str());
    if (!folder)
        return names;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(folder);
        if (!entry)
            break;
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0 && keep(::dirfd(folder), *entry))
            names.emplace_back(entry->d_name);
    }
    if (errno != 0)
        names.clear(); // a listing cut short is no listing
    ::closedir(folder);
    return names;
}

} // namespace

std::optional<QByteArray> readFile(const std::string& path)
{
    // Without O_NONBLOCK, opening a FIFO waits for a writer; a regular file reads alike either way.
    FileDescriptor file { ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC) };
    if (file.fd < 0)
        return std::nullopt;
    struct stat info {};
    if (::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;

    // Read straight into the result: a large file (a stored playlist of a million tracks) is not
    // copied a second time on its way in. One byte more than its size, so that the end is seen
    // without growing; a file that grew meanwhile grows the buffer.
    QByteArray contents;
    contents.resize(static_cast<qsizetype>(info.st_size) + 1);
    qsizetype size = 0;
    for (;;) {
        if (size == contents.size())
            contents.resize(size + size / 2 + 64 * 1024);
        const ssize_t count = ::read(file.fd, contents.data() + size, static_cast<size_t>(contents.size() - size));
        if (count == 0) {
            contents.truncate(size);
            return contents;
        }
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        size += count;
    }
}

std::vector<std::string> listFolder(const std::string& path)
{
    return names(path, [](int, const dirent&) { return true; });
}

std::vector<std::string> listFiles(const std::string& path)
{
    return names(path, [](int folder, const dirent& entry) {
        if (entry.d_type != DT_UNKNOWN && entry.d_type != DT_LNK)
            return entry.d_type == DT_REG;
        struct stat info {};
        return ::fstatat(folder, entry.d_name, &info, 0) == 0 && S_ISREG(info.st_mode);
    });
}

bool isRegularFile(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool writeAll(int fd, const char* data, std::size_t size)
{
    bool isSocket = true; // until it says otherwise: only send() can keep SIGPIPE away
    while (size > 0) {
        ssize_t count = isSocket ? ::send(fd, data, size, MSG_NOSIGNAL) : ::write(fd, data, size);
        if (count < 0 && isSocket && errno == ENOTSOCK) {
            isSocket = false;
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count == 0)
            errno = EIO; // nothing written and no reason given: it would never end
        if (count <= 0)
            return false;
        data += count;
        size -= static_cast<std::size_t>(count);
    }
    return true;
}

bool makePrivateFolder(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return true;
        errno = ENOTDIR;
        return false;
    }
    if (errno != ENOENT)
        return false;
    const std::size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makePrivateFolder(path.substr(0, slash)))
        return false;
    // Another process may make it meanwhile: a folder there is all that is asked.
    return ::mkdir(path.c_str(), 0700) == 0 || (errno == EEXIST && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode));
}

bool replaceFile(const std::string& path, const QByteArray& bytes)
{
    struct stat existing {};
    const mode_t mode = ::stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644;
    std::string temporary = path + ".tmp-XXXXXX";
    FileDescriptor file { ::mkostemp(temporary.data(), O_CLOEXEC) };
    if (file.fd < 0)
        return false;
    const bool isWritten = ::fchmod(file.fd, mode) == 0 && writeAll(file.fd, bytes) && ::fsync(file.fd) == 0;
    const bool isClosed = ::close(std::exchange(file.fd, -1)) == 0;
    if (isWritten && isClosed && ::rename(temporary.c_str(), path.c_str()) == 0)
        return true;
    const int error = errno;
    ::unlink(temporary.c_str());
    errno = error;
    return false;
}

} // namespace lh::FileSystem
