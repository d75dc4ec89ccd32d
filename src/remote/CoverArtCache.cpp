#include "CoverArtCache.h"

#include "CacheEntry.h"
#include "FileSystem.h"

#include <QCryptographicHash>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace lh {
namespace {

constexpr std::string_view partialSuffix = ".partial";

// Only types every desktop's image loader reads; other bytes are not offered as a picture.
std::optional<std::string> imageExtension(const QByteArray& image)
{
    if (image.startsWith("\xFF\xD8\xFF"))
        return "jpg";
    if (image.startsWith("\x89PNG\r\n\x1A\n"))
        return "png";
    if (image.startsWith("GIF87a") || image.startsWith("GIF89a"))
        return "gif";
    if (image.size() >= 12 && image.startsWith("RIFF") && image.mid(8, 4) == "WEBP")
        return "webp";
    if (image.startsWith("BM"))
        return "bmp";
    return std::nullopt;
}

void touch(const std::string& path)
{
    const timespec times[2] { { 0, UTIME_OMIT }, { 0, UTIME_NOW } };
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

using Entry = CacheEntry;

} // namespace

CoverArtCache::CoverArtCache(FileURL folder, int maximumCount, std::int64_t maximumBytes)
    : folder_(std::move(folder))
    , maximumCount_(maximumCount)
    , maximumBytes_(maximumBytes)
{
}

std::optional<FileURL> CoverArtCache::store(const QByteArray& image)
{
    const auto extension = imageExtension(image);
    if (!extension || image.size() > maximumBytes_)
        return std::nullopt;
    const QByteArray digest = QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex();
    const std::string name = digest.toStdString() + "." + *extension;
    std::lock_guard guard(lock_);
    const FileURL location = folder_.appendingPathComponent(name);
    if (::access(location.path().c_str(), F_OK) == 0) {
        touch(location.path()); // used again: last in line for eviction
        evict(name);
        return location;
    }
    auto written = write(image, name);
    evict(name);
    return written;
}

// A crash leaves at most a partial file, which the next eviction removes; a file under its
// final name is always whole.
std::optional<FileURL> CoverArtCache::write(const QByteArray& image, const std::string& name)
{
    if (!FileSystem::makePrivateFolder(folder_.path()))
        return std::nullopt;
    const FileURL location = folder_.appendingPathComponent(name);
    const std::string partial = location.path() + std::string(partialSuffix);
    const int fd = ::open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return std::nullopt;
    const bool isWritten = FileSystem::writeAll(fd, image);
    if (::close(fd) != 0 || !isWritten || ::rename(partial.c_str(), location.path().c_str()) != 0) {
        ::unlink(partial.c_str());
        return std::nullopt;
    }
    return location;
}

void CoverArtCache::evict(const std::string& keeping) const
{
    std::vector<Entry> entries;
    for (const std::string& name : FileSystem::listFolder(folder_.path())) {
        const std::string path = folder_.appendingPathComponent(name).path();
        if (name.ends_with(partialSuffix)) {
            ::unlink(path.c_str()); // left by a run that stopped mid-write: writes hold the lock
            continue;
        }
        struct stat info {};
        if (name.starts_with('.') || ::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        entries.push_back({ name, static_cast<std::int64_t>(info.st_size), info.st_mtim });
    }
    std::int64_t total = 0;
    for (const Entry& entry : entries)
        total += entry.size;
    auto count = static_cast<std::int64_t>(entries.size());
    std::ranges::stable_sort(entries, CacheEntry::isOlder);
    for (const Entry& entry : entries) {
        if (count <= maximumCount_ && total <= maximumBytes_)
            break;
        if (entry.name == keeping)
            continue;
        ::unlink(folder_.appendingPathComponent(entry.name).path().c_str());
        total -= entry.size;
        --count;
    }
}

} // namespace lh
