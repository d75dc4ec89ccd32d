#pragma once

#include "StallLimit.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace lh {

// What the file dialog of our own learns about a path: whether it is a folder, a file or
// nothing, and a folder's entries.
struct PathContent {
    enum class Kind { missing, file, folder };
    struct Entry {
        QString name;
        bool isFolder = false;
    };

    Kind kind = Kind::missing;
    // A folder's visible entries (hidden ones left out), folders and files each in natural
    // order; empty for anything else, and for a folder that cannot be read.
    std::vector<Entry> entries;
    bool isReadable = true;
};

// Looks at paths for the file dialog without the main thread ever touching one: each look runs
// on a thread of its own under the stall watchdog the downloads use, so a share that stops
// answering costs the dialog a line of text, never the window. Any path may be on a share,
// and a link may lead onto one, so local paths take the same way.
//
// Only the latest look is answered: a new one makes every earlier answer moot. Threads blocked
// on a dead share are never ended; no more than `maxThreads` of them are on paths at once, so a
// user clicking on a frozen share does not pile threads up. Main thread only, but `read` runs
// on the look's own thread.
class GuardedListing {
public:
    using Read = std::function<PathContent(const QString& path, const Progress& progress)>;
    // The content, or nothing when the path did not answer in time.
    using Answer = std::function<void(std::optional<PathContent>)>;

    static constexpr int maxThreads = 4;
    static constexpr std::chrono::seconds stallLimit { 4 };

    explicit GuardedListing(Read read = readPath, StallRuntime runtime = {});
    ~GuardedListing();
    GuardedListing(const GuardedListing&) = delete;
    GuardedListing& operator=(const GuardedListing&) = delete;

    // `done` is called later on the main thread, unless another look starts first or this
    // object is gone.
    void look(const QString& path, Answer done);

    // Reads `path` with the file system (blocking), reporting progress as entries are read.
    static PathContent readPath(const QString& path, const Progress& progress);

    // Looks on paths right now, blocked ones included (tests).
    static int threadsOnPaths() { return threadsOnPaths_.load(); }

private:
    struct Pending;

    Read read_;
    StallRuntime runtime_;
    std::shared_ptr<Pending> pending_;
    static std::atomic<int> threadsOnPaths_;
};

} // namespace lh
