#pragma once

#include "FileURL.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <vector>

namespace lh {

// Replaces the folders of an add request by the music files and cue sheets beneath them, in
// the order a file manager shows them: depth first, a folder's files before its subfolders,
// names in natural order ("2 Song" before "10 Song", case ignored, the user's locale).
//
// Hidden entries and entries that are neither files nor folders are left out, and each real
// folder (device and inode) is listed once however many links lead to it; names keep their
// bytes. Whether an entry of the request is a
// folder is found out here, off the main thread: nobody on the main thread may touch a path
// that could lie on a dead share.
//
// One walker serves one request. walk() blocks on the file system and belongs on a thread of
// its own; foundSoFar() may be asked from any thread meanwhile, so a walk that stalls still
// gives what it listed before.
class FolderWalker {
public:
    // A walk stops at the first of these bounds and says so once on standard error: dropping
    // "/" by mistake must not keep the player busy for minutes, and adds wait for each other.
    // Files count the music files and cue sheets found, which may become rows; entries count
    // every name read (hidden ones and those neither file nor folder too), so a folder of
    // millions of names is never held in memory whole.
    struct Limits {
        std::size_t files = 100'000;
        std::size_t folders = 50'000;
        std::size_t entries = 1'000'000;
        std::chrono::nanoseconds time = std::chrono::minutes(2);
    };

    // Called after each folder has been listed, before its files are kept. An exception from
    // it ends the walk; what was kept until then stays.
    using Listed = std::function<void()>;

    explicit FolderWalker(std::vector<FileURL> request);
    FolderWalker(std::vector<FileURL> request, Limits limits);

    // Whether `urls` may hold a folder: one marked as such, or one named like neither an
    // audio file nor a cue sheet. Looks at the names only.
    static bool mayHoldFolders(const std::vector<FileURL>& urls);

    // The request with each folder replaced by the files found beneath it.
    std::vector<FileURL> walk(const Listed& listed);

    // The files found so far, followed by the entries not reached yet that are not marked as
    // folders.
    std::vector<FileURL> foundSoFar() const;
    // The files found so far from the `first` on, in the walk's order, which is walk()'s.
    std::vector<FileURL> foundFrom(std::size_t first) const;

private:
    struct Walk;

    void keep(std::vector<FileURL> files);

    const std::vector<FileURL> request_;
    const Limits limits_;
    mutable std::mutex lock_; // guards the two below
    std::vector<FileURL> found_;
    std::size_t reached_ = 0; // entries of request_ taken up by the walk
};

} // namespace lh
