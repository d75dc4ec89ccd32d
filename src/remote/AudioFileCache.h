#pragma once

#include "FileErrors.h"
#include "FileURL.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace lh {

// Local copies of network audio files, in one flat folder bounded in size.
//
// A copy is named by the SHA-256 of its source file's canonical path plus the source's
// extension in lower case, so no index is kept; how recently a copy was played is its
// modification time. Copies are written under "<copy name>.<UUID>.partial" and moved into
// place only when complete, so a copy under its final name is always whole. Names beginning
// with "." (the single-instance lock) are never counted or deleted.
//
// One instance is shared by the main thread and the downloader; every operation may be called
// from any thread. The lock guards only the protected set; file operations are not serialised,
// and the protected set is what keeps eviction away from the copies about to be used.
class AudioFileCache {
public:
    // The bytes the file system holding `folder` has available to the user; nothing when
    // unknown. Only ever asked about the local cache folder.
    using AvailableSpace = std::function<std::optional<std::int64_t>(const std::string& folder)>;

    static constexpr std::int64_t defaultLimit = 5'000'000'000;
    // Copies never take this last stretch of the cache's disk.
    static constexpr std::int64_t defaultKeptFree = 1'000'000'000;

    // Removes partial files left by an earlier run; does not create the folder.
    AudioFileCache(FileURL folder, std::int64_t limit, AvailableSpace availableSpace = statvfsSpace,
        std::int64_t keptFree = defaultKeptFree);

    // statvfs on `folder`, or on its nearest existing parent.
    static std::optional<std::int64_t> statvfsSpace(const std::string& folder);

    // $XDG_CACHE_HOME/Larkhaven (by default ~/.cache/Larkhaven).
    static FileURL defaultFolder();

    std::int64_t limit() const noexcept { return limit_; }
    // How much the copies may take now: the limit, or less when the disk could not hold that
    // much and keep its last stretch free. Lists the folder.
    std::int64_t budget() const;
    const FileURL& folder() const noexcept { return folder_; }

    // The copy of the file at `url`, when one exists.
    std::optional<FileURL> copy(const FileURL& url) const;

    // A fresh location to write a copy of `url` to; creates the folder (mode 0700) when
    // needed. Throws FileError when it cannot.
    FileURL partial(const FileURL& url) const;

    // Makes the finished `partial` the copy of `url` (replacing an older one), marks it
    // played, evicts older copies and returns it. The partial reaches the disk before it is
    // renamed, so a power cut leaves the old copy or the new one, never an empty one. Throws
    // FileError when that or the move fails; the partial file then stays for the caller to
    // delete, and an older copy stays in place.
    FileURL add(const FileURL& partial, const FileURL& url);

    // Sets the copy's modification time to now; errors are ignored.
    void markPlayed(const FileURL& copy) const;

    // From now on eviction spares the copies of exactly these source files.
    void protect(const std::vector<FileURL>& urls);
    // Adds these source files to the ones spared, as a pass takes them one by one.
    void protectAlso(const std::vector<FileURL>& urls);

    // How many copies eviction has deleted so far: a reader that saw the same count knows
    // every copy it saw is still there (unless deleted by hand). Safe from any thread.
    std::uint64_t evictions() const noexcept { return evictions_.load(); }

private:
    FileURL copyURL(const FileURL& url) const;
    std::string copyName(const FileURL& url) const;
    void removePartials() const;
    // The budget for copies that take `used` bytes in all.
    std::int64_t budgetFor(std::int64_t used) const;
    // Deletes the least recently played copies until the folder fits the budget, sparing the
    // protected ones and `keeping`.
    void evict(const FileURL& keeping) const;

    const FileURL folder_;
    const std::int64_t limit_;
    const AvailableSpace availableSpace_;
    const std::int64_t keptFree_;
    mutable std::mutex lock_;
    std::unordered_set<std::string> protected_;
    mutable std::atomic<std::uint64_t> evictions_ = 0;
};

} // namespace lh
