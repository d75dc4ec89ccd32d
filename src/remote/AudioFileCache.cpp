#include "AudioFileCache.h"

#include "FileErrors.h"
#include "CacheEntry.h"
#include "FileSystem.h"

#include <QCryptographicHash>
#include <QFile>
#include <QStandardPaths>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace lh {
namespace {

constexpr std::string_view partialExtension = "partial";

std::string asciiLowercase(std::string text)
{
    std::ranges::transform(text, text.begin(), [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
    return text;
}

bool isPartial(const std::string& name)
{
    return FileURL("/" + name).pathExtension() == partialExtension;
}

void createFolder(const std::string& path)
{
    if (!FileSystem::makePrivateFolder(path))
        FileError::throwLast("mkdir " + path);
}

using Entry = CacheEntry;

// The folder's copies in listing order, without partial and hidden files and without entries
// whose size cannot be read.
std::vector<Entry> listCopies(const std::string& folder)
{
    std::vector<Entry> entries;
    DIR* directory = ::opendir(folder.c_str());
    if (!directory)
        return entries;
    const int fd = ::dirfd(directory);
    while (const dirent* item = ::readdir(directory)) {
        const std::string name = item->d_name;
        if (name.starts_with('.') || isPartial(name))
            continue;
        struct stat info {};
        if (::fstatat(fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode))
            continue;
        entries.push_back({ name, static_cast<std::int64_t>(info.st_size), info.st_mtim });
    }
    ::closedir(directory);
    return entries;
}

std::int64_t totalSize(const std::vector<Entry>& entries)
{
    std::int64_t total = 0;
    for (const Entry& entry : entries)
        total += entry.size;
    return total;
}

void syncFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        FileError::throwLast("open " + path);
    const int result = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    if (result != 0)
        throw FileError(error, "fsync " + path);
}

} // namespace

AudioFileCache::AudioFileCache(FileURL folder, std::int64_t limit, AvailableSpace availableSpace, std::int64_t keptFree)
    : folder_(std::move(folder))
    , limit_(limit)
    , availableSpace_(std::move(availableSpace))
    , keptFree_(keptFree)
{
    removePartials();
}

std::optional<std::int64_t> AudioFileCache::statvfsSpace(const std::string& folder)
{
    std::string path = folder;
    struct statvfs info {};
    while (::statvfs(path.c_str(), &info) != 0) {
        if (errno != ENOENT || path.size() <= 1)
            return std::nullopt;
        const std::size_t slash = path.find_last_of('/', path.size() - 2);
        path = slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
    }
    return static_cast<std::int64_t>(info.f_bavail) * static_cast<std::int64_t>(info.f_frsize);
}

std::int64_t AudioFileCache::budget() const
{
    return budgetFor(totalSize(listCopies(folder_.path())));
}

std::int64_t AudioFileCache::budgetFor(std::int64_t used) const
{
    const auto available = availableSpace_ ? availableSpace_(folder_.path()) : std::nullopt;
    if (!available)
        return limit_;
    return std::clamp<std::int64_t>(used + *available - keptFree_, 0, limit_);
}

FileURL AudioFileCache::defaultFolder()
{
    static const FileURL folder = FileURL::fromLocalFile(
        QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation), true)
                                      .appendingPathComponent("Larkhaven", true);
    return folder;
}

std::optional<FileURL> AudioFileCache::copy(const FileURL& url) const
{
    FileURL location = copyURL(url);
    if (::access(location.path().c_str(), F_OK) != 0)
        return std::nullopt;
    return location;
}

FileURL AudioFileCache::partial(const FileURL& url) const
{
    createFolder(folder_.path());
    const QByteArray uuid = QUuid::createUuid().toByteArray(QUuid::WithoutBraces).toUpper();
    return folder_.appendingPathComponent(copyName(url) + "." + uuid.toStdString() + "." + std::string(partialExtension));
}

FileURL AudioFileCache::add(const FileURL& partial, const FileURL& url)
{
    const FileURL location = copyURL(url);
    syncFile(partial.path());
    if (::rename(partial.path().c_str(), location.path().c_str()) != 0)
        FileError::throwLast("rename " + partial.path());
    markPlayed(location);
    evict(location);
    return location;
}

void AudioFileCache::markPlayed(const FileURL& copy) const
{
    const timespec times[2] { { 0, UTIME_OMIT }, { 0, UTIME_NOW } };
    ::utimensat(AT_FDCWD, copy.path().c_str(), times, 0);
}

void AudioFileCache::protect(const std::vector<FileURL>& urls)
{
    std::unordered_set<std::string> names;
    for (const FileURL& url : urls)
        names.insert(copyName(url));
    std::lock_guard guard(lock_);
    protected_ = std::move(names);
}

void AudioFileCache::protectAlso(const std::vector<FileURL>& urls)
{
    std::vector<std::string> names;
    names.reserve(urls.size());
    for (const FileURL& url : urls)
        names.push_back(copyName(url));
    std::lock_guard guard(lock_);
    protected_.insert(names.begin(), names.end());
}

FileURL AudioFileCache::copyURL(const FileURL& url) const
{
    return folder_.appendingPathComponent(copyName(url));
}

std::string AudioFileCache::copyName(const FileURL& url) const
{
    const std::string path = url.normalizedFileURL().path();
    const QByteArray digest = QCryptographicHash::hash(QByteArray::fromStdString(path), QCryptographicHash::Sha256).toHex();
    const std::string extension = asciiLowercase(url.pathExtension());
    return extension.empty() ? digest.toStdString() : digest.toStdString() + "." + extension;
}

void AudioFileCache::removePartials() const
{
    for (const std::string& name : FileSystem::listFolder(folder_.path())) {
        if (isPartial(name))
            ::unlink(folder_.appendingPathComponent(name).path().c_str());
    }
}

void AudioFileCache::evict(const FileURL& keeping) const
{
    std::unordered_set<std::string> spared;
    {
        std::lock_guard guard(lock_);
        spared = protected_;
    }
    spared.insert(keeping.lastPathComponent());

    std::vector<Entry> entries = listCopies(folder_.path());
    std::int64_t total = totalSize(entries);
    const std::int64_t allowed = budgetFor(total);
    std::erase_if(entries, [&](const Entry& entry) { return spared.contains(entry.name); });
    std::ranges::stable_sort(entries, CacheEntry::isOlder);
    for (const Entry& entry : entries) {
        if (total <= allowed)
            break;
        if (::unlink(folder_.appendingPathComponent(entry.name).path().c_str()) == 0)
            ++evictions_;
        total -= entry.size;
    }
}

} // namespace lh
