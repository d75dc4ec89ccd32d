#include "FolderWalker.h"

#include "MonotonicClock.h"
#include "PlaylistFile.h"
#include "SupportedAudio.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QLocale>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lh {
namespace {

bool isMusic(const FileURL& url)
{
    return SupportedAudio::isSupported(url) || SupportedAudio::isCueSheet(url);
}

// Sound files the player does not play. Met in a folder they are worth a word, since the user
// may wonder where they went; pictures, texts and playlists beside the music are not.
bool looksLikeAudio(const FileURL& url)
{
    static constexpr std::array<std::string_view, 22> others { "aifc", "au", "snd", "m4b", "m4r", "mp2", "mpa", "ac3",
        "dts", "amr", "spx", "mid", "midi", "mod", "xm", "it", "s3m", "dsf", "dff", "ra", "caf", "shn" };
    return std::ranges::find(others, SupportedAudio::lowercasedExtension(url)) != others.end();
}

// Why a file named in the request is not added: it is neither music nor a folder.
std::string whyNotAdded(int statError, bool exists)
{
    if (!exists)
        return std::strerror(statError);
    return "not an audio file or cue sheet the player plays";
}

// A folder's identity, so a link back into it is recognised whatever path it takes.
using FolderId = std::pair<dev_t, ino_t>;

struct Entry {
    QCollatorSortKey key;
    std::string name;
};

struct Listing {
    std::vector<std::string> files;
    std::vector<std::string> folders;
};

struct OpenFolder {
    DIR* dir = nullptr;
    ~OpenFolder()
    {
        if (dir)
            ::closedir(dir);
    }
};

enum class Kind { file, folder, other };

Kind kindOf(int folder, const dirent& entry)
{
    if (entry.d_type == DT_REG)
        return Kind::file;
    if (entry.d_type == DT_DIR)
        return Kind::folder;
    if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN)
        return Kind::other;
    // Links are followed: a link to a file or folder counts as what it leads to.
    struct stat info {};
    if (::fstatat(folder, entry.d_name, &info, 0) != 0)
        return Kind::other;
    return S_ISREG(info.st_mode) ? Kind::file : S_ISDIR(info.st_mode) ? Kind::folder : Kind::other;
}

} // namespace

// One walk of a request: the folders listed, what it has counted, the collator.
struct FolderWalker::Walk {
    FolderWalker& walker;
    const Listed& listed;
    QCollator collator;
    // Every folder listed, not only those on the way down: links that fan out (two in each
    // folder leading to the next) would otherwise make a few dozen folders into billions of
    // visits.
    std::set<FolderId> visited;
    std::size_t fileCount = 0;
    std::size_t folderCount = 0;
    std::size_t entryCount = 0;
    MonotonicClock::time_point deadline;
    bool isCut = false;
    std::size_t unreadCount = 0; // folders the walk met but could not list
    std::string firstUnread;
    int unreadError = 0;
    std::size_t unplayableCount = 0;
    std::vector<std::string> firstUnplayable; // paths, for the report

    static constexpr std::size_t namesReported = 3;

    Walk(FolderWalker& walker, const Listed& listed)
        : walker(walker)
        , listed(listed)
        , collator(FolderWalker::naturalOrder())
        , deadline(MonotonicClock::now() + walker.limits_.time)
    {
    }

    void sort(std::vector<std::string>& names) const
    {
        if (names.size() < 2)
            return;
        std::vector<Entry> entries;
        entries.reserve(names.size());
        for (std::string& name : names)
            entries.push_back(Entry { collator.sortKey(QString::fromUtf8(name)), std::move(name) });
        // Names that collate alike (or are not text) still get a fixed order, by their bytes.
        std::ranges::sort(entries, [](const Entry& a, const Entry& b) {
            const int order = a.key.compare(b.key);
            return order != 0 ? order < 0 : a.name < b.name;
        });
        for (std::size_t i = 0; i < names.size(); ++i)
            names[i] = std::move(entries[i].name);
    }

    // Counts one more of something bounded; false, and the walk cut, past its bound.
    bool count(std::size_t& counter, std::size_t limit, const char* what, const FileURL& where)
    {
        if (++counter <= limit && MonotonicClock::now() < deadline)
            return true;
        if (counter > limit)
            cut(where, std::to_string(limit) + " " + what);
        else
            cut(where, std::to_string(std::chrono::duration_cast<std::chrono::seconds>(walker.limits_.time).count())
                    + " seconds");
        return false;
    }

    // Time spent waiting for a share that stopped answering does not count against the walk's
    // bound: it carries on once the share is back, however long that took.
    void pardonWait(MonotonicClock::time_point started)
    {
        const auto waited = MonotonicClock::now() - started;
        if (waited > std::chrono::seconds(1))
            deadline += waited;
    }

    // A folder its parent's listing named that cannot be listed any more, or one whose volume
    // fails (a share unmounted or gone): what it holds is missing from the add, and the user
    // hears so once.
    void noteUnread(const FileURL& folder, int error, bool isNamedByParent)
    {
        if (!isVolumeGone(error) && !(isNamedByParent && error == ENOENT))
            return;
        if (unreadCount++ == 0) {
            firstUnread = folder.path();
            unreadError = error;
        }
    }

    static bool isVolumeGone(int error)
    {
        static constexpr std::array errors { ENOTCONN, EIO, ESTALE, EHOSTDOWN, EHOSTUNREACH, ETIMEDOUT, ECONNABORTED,
            ECONNRESET, ENODEV, ENXIO, ENETDOWN, ENETUNREACH, ESHUTDOWN };
        return std::ranges::find(errors, error) != errors.end();
    }

    void reportUnread(std::size_t found, const FileURL& request) const
    {
        if (unreadCount == 0)
            return;
        std::fprintf(stderr,
            "larkhaven: added %zu file%s of %s: the share stopped answering; %zu folder%s not read, from %s on (%s)\n",
            found, found == 1 ? "" : "s", request.path().c_str(), unreadCount, unreadCount == 1 ? "" : "s",
            firstUnread.c_str(), std::strerror(unreadError));
    }

    // Nothing when the path is no folder, has been listed before, or cannot be listed. A
    // listing the walk's bounds cut short still gives what it read.
    std::optional<Listing> list(const FileURL& folder, bool isNamedByParent)
    {
        auto started = MonotonicClock::now();
        const int descriptor = ::open(folder.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        pardonWait(started);
        if (descriptor < 0) {
            noteUnread(folder, errno, isNamedByParent);
            return std::nullopt;
        }
        OpenFolder open { ::fdopendir(descriptor) };
        struct stat info {};
        if (!open.dir) {
            ::close(descriptor);
            return std::nullopt;
        }
        if (::fstat(descriptor, &info) != 0 || !visited.insert({ info.st_dev, info.st_ino }).second)
            return std::nullopt;
        if (!count(folderCount, walker.limits_.folders, "folders", folder))
            return std::nullopt;
        Listing listing;
        while (!isCut) {
            errno = 0;
            started = MonotonicClock::now();
            const dirent* entry = ::readdir(open.dir);
            pardonWait(started);
            if (!entry && errno != 0) {
                noteUnread(folder, errno, isNamedByParent);
                return std::nullopt; // a listing cut short is no listing
            }
            if (!entry)
                return listing;
            if (!count(entryCount, walker.limits_.entries, "entries", folder))
                break;
            if (entry->d_name[0] == '.')
                continue; // hidden, and "." and ".."
            switch (kindOf(descriptor, *entry)) {
            case Kind::file:
                // Covers, scans and logs beside the music are bounded as entries: a library
                // with many of them must not stop short of its songs.
                if (!isMusic(folder.appendingPathComponent(entry->d_name)) || count(fileCount, walker.limits_.files, "files", folder))
                    listing.files.emplace_back(entry->d_name);
                break;
            case Kind::folder:
                listing.folders.emplace_back(entry->d_name);
                break;
            case Kind::other:
                break;
            }
        }
        return listing;
    }

    void folder(const FileURL& url, bool isNamedByParent = false)
    {
        if (isCut)
            return;
        std::optional<Listing> listing = list(url, isNamedByParent);
        if (!listing)
            return;
        listed();
        sort(listing->files);
        std::vector<FileURL> music;
        for (const std::string& name : listing->files) {
            FileURL file = url.appendingPathComponent(name);
            if (isMusic(file))
                music.push_back(std::move(file));
            else if (looksLikeAudio(file))
                noteUnplayable(file);
        }
        walker.keep(std::move(music));
        sort(listing->folders);
        for (const std::string& name : listing->folders) {
            if (isCut)
                break;
            folder(url.appendingPathComponent(name, true), true);
        }
    }

    void noteUnplayable(const FileURL& file)
    {
        if (++unplayableCount <= namesReported)
            firstUnplayable.push_back(file.path());
    }

    // One line for the whole request, however many folders it held.
    void reportUnplayable() const
    {
        if (unplayableCount == 0)
            return;
        std::string names;
        for (const std::string& name : firstUnplayable)
            names += (names.empty() ? "" : ", ") + name;
        if (unplayableCount > firstUnplayable.size())
            names += ", …";
        std::fprintf(stderr, "larkhaven: %zu file%s in the folders added look%s like audio the player cannot play: %s\n",
            unplayableCount, unplayableCount == 1 ? "" : "s", unplayableCount == 1 ? "s" : "", names.c_str());
    }

    void cut(const FileURL& where, const std::string& bound)
    {
        isCut = true;
        std::fprintf(stderr, "larkhaven: stopped adding the folder at %s after %s\n", where.path().c_str(), bound.c_str());
    }
};

FolderWalker::FolderWalker(std::vector<FileURL> request)
    : FolderWalker(std::move(request), Limits {})
{
}

FolderWalker::FolderWalker(std::vector<FileURL> request, Limits limits)
    : request_(std::move(request))
    , limits_(limits)
{
}

QCollator FolderWalker::naturalOrder()
{
    QCollator collator;
    // The C locale has no collation of its own (Qt compares code points there and ignores
    // numeric mode); file managers sort such names as in English.
    if (QLocale().language() == QLocale::C)
        collator.setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

bool FolderWalker::mayHoldFolders(const std::vector<FileURL>& urls)
{
    return std::ranges::any_of(urls, [](const FileURL& url) { return url.isDirectory() || !isMusic(url); });
}

std::vector<FileURL> FolderWalker::walk(const Listed& listed)
{
    Walk walk(*this, listed);
    for (const FileURL& entry : request_) {
        {
            std::lock_guard guard(lock_);
            ++reached_;
        }
        const FileURL url = entry.normalizedFileURL();
        // Files named like music or playlists are taken as they are (the importer opens the
        // lists); anything else may be a folder. Lists met inside a folder are not opened: the
        // files they name are in the folder already.
        if (!url.isDirectory() && (isMusic(url) || PlaylistFile::isPlaylist(url))) {
            keep({ url });
            continue;
        }
        struct stat info {};
        const bool exists = ::stat(url.path().c_str(), &info) == 0;
        const int statError = errno;
        if (url.isDirectory() || (exists && S_ISDIR(info.st_mode))) {
            walk.folder(FileURL(url.path(), true));
        } else {
            // The importer passes over it; the user named it, so they hear why.
            std::fprintf(stderr, "larkhaven: not added %s: %s\n", url.path().c_str(), whyNotAdded(statError, exists).c_str());
            keep({ url });
        }
    }
    walk.reportUnplayable();
    std::lock_guard guard(lock_);
    if (!request_.empty())
        walk.reportUnread(found_.size(), request_.front());
    return found_;
}

std::vector<FileURL> FolderWalker::foundSoFar() const
{
    std::lock_guard guard(lock_);
    std::vector<FileURL> result = found_;
    std::ranges::copy_if(request_.begin() + static_cast<std::ptrdiff_t>(reached_), request_.end(),
        std::back_inserter(result), [](const FileURL& url) { return !url.isDirectory(); });
    return result;
}

std::vector<FileURL> FolderWalker::foundFrom(std::size_t first) const
{
    std::lock_guard guard(lock_);
    return { found_.begin() + static_cast<std::ptrdiff_t>(std::min(first, found_.size())), found_.end() };
}

void FolderWalker::keep(std::vector<FileURL> files)
{
    std::lock_guard guard(lock_);
    found_.insert(found_.end(), std::make_move_iterator(files.begin()), std::make_move_iterator(files.end()));
}

} // namespace lh
