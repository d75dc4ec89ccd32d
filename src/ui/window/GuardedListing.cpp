#include "GuardedListing.h"

#include "FolderWalker.h"
#include "MainThread.h"

#include <QFile>

#include <algorithm>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace lh {

std::atomic<int> GuardedListing::threadsOnPaths_ { 0 };

struct GuardedListing::Pending {
    Answer done;
};

namespace {

struct OpenFolder {
    DIR* dir = nullptr;
    ~OpenFolder()
    {
        if (dir)
            ::closedir(dir);
    }
};

// Nothing for what is neither a folder nor a regular file: FIFOs and sockets are no music.
std::optional<bool> isFolder(int folder, const dirent& entry)
{
    if (entry.d_type == DT_DIR || entry.d_type == DT_REG)
        return entry.d_type == DT_DIR;
    if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN)
        return std::nullopt;
    struct stat info {};
    if (::fstatat(folder, entry.d_name, &info, 0) != 0 || !(S_ISDIR(info.st_mode) || S_ISREG(info.st_mode)))
        return std::nullopt;
    return S_ISDIR(info.st_mode);
}

void sortNaturally(std::vector<PathContent::Entry>& entries)
{
    const QCollator collator = FolderWalker::naturalOrder();
    std::ranges::sort(entries, [&](const PathContent::Entry& a, const PathContent::Entry& b) {
        if (a.isFolder != b.isFolder)
            return a.isFolder;
        return collator.compare(a.name, b.name) < 0;
    });
}

} // namespace

GuardedListing::GuardedListing(Read read, StallRuntime runtime)
    : read_(std::move(read))
    , runtime_(std::move(runtime))
{
}

GuardedListing::~GuardedListing() = default;

void GuardedListing::look(const QString& path, Answer done)
{
    pending_ = std::make_shared<Pending>(Pending { std::move(done) });
    const auto answer = [pending = std::weak_ptr(pending_)](std::optional<PathContent> content) {
        MainThread::post([pending, content = std::move(content)]() mutable {
            if (const std::shared_ptr<Pending> current = pending.lock())
                current->done(std::move(content));
        });
    };
    if (threadsOnPaths_.load() >= maxThreads) {
        answer(std::nullopt); // the threads before are still held by the share
        return;
    }
    // Counts the look until its thread lets go of the path, however long after the watchdog.
    ++threadsOnPaths_;
    const std::shared_ptr<void> onPath(nullptr, [](void*) { --threadsOnPaths_; });
    withStallLimit<PathContent>(
        stallLimit,
        [read = read_, path, onPath](const Progress& progress) { return read(path, progress); },
        [answer](Outcome<PathContent> outcome) {
            answer(outcome.hasValue() ? std::optional(outcome.value()) : std::nullopt);
        },
        runtime_);
}

PathContent GuardedListing::readPath(const QString& path, const Progress& progress)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (::stat(native.constData(), &info) != 0)
        return {};
    if (!S_ISDIR(info.st_mode))
        return { PathContent::Kind::file, {}, true };
    progress();
    PathContent content { PathContent::Kind::folder, {}, true };
    OpenFolder folder { ::opendir(native.constData()) };
    if (!folder.dir) {
        content.isReadable = false;
        return content;
    }
    const int descriptor = ::dirfd(folder.dir);
    std::size_t read = 0;
    while (const dirent* entry = ::readdir(folder.dir)) {
        if ((++read % 64) == 0)
            progress();
        if (entry->d_name[0] == '.')
            continue;
        if (const std::optional<bool> isFolderEntry = isFolder(descriptor, *entry))
            content.entries.push_back({ QFile::decodeName(entry->d_name), *isFolderEntry });
    }
    sortNaturally(content.entries);
    return content;
}

} // namespace lh
