#pragma once

#include "MediaTags.h"
#include "MetadataCache.h"
#include "TrackInfoReading.h"
#include "TrackList.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace lh {

// Reads the local files of the playlist that the metadata cache does not know yet, so every
// row has its duration and tags without being scrolled to: on a thread of its own at idle I/O
// and CPU priority, at a bounded rate, and not at all while it is held (playback needs the
// disk: the engine opens a file, copies of network files are made). Network files are never
// read here: their copies are read as they arrive. A file the cache knows as it is now costs a
// look at its stamp and nothing more.
//
// fill and setHeld may be called from any thread; `onLearned` runs on the filler's thread.
// Destroying the filler stops it after the file under way.
class CacheFiller {
public:
    struct Learned {
        FileURL url;
        std::optional<double> duration;
        std::optional<MediaTags> tags; // no picture
    };

    struct Options {
        double filesPerSecond = 100; // files read, not files looked at; 0: unbounded (benchmarks)
        // What was read, in batches: at most one a second, and when the work runs out.
        std::function<void(std::vector<Learned> learned)> onLearned;
        bool lowersPriority = true;
    };

    CacheFiller(std::shared_ptr<const TrackInfoReading> reader, std::shared_ptr<MetadataCache> cache, Options options);
    ~CacheFiller();

    CacheFiller(const CacheFiller&) = delete;
    CacheFiller& operator=(const CacheFiller&) = delete;

    // Goes over rows [first, end) of `tracks` after the passes already asked for.
    void fill(TrackList tracks, std::size_t first = 0);
    // Held, no file is read until released (copies of network files are being made).
    void setHeld(bool isHeld);
    // Held for a while from now, as well (a file starts playing: its first seconds are read).
    void holdFor(std::chrono::steady_clock::duration duration);

    // Files read so far, for benchmarks and tests.
    std::int64_t readCount() const;
    // Whether every pass asked for is done.
    bool isIdle() const;

private:
    struct Pass {
        TrackList tracks;
        std::size_t next;
    };

    void run(std::stop_token stop);
    // The next file to look at, waiting while held or out of work; none once stopped.
    std::optional<FileURL> next(std::stop_token stop);
    // Whether `url` had to be read.
    bool learn(const FileURL& url);
    void deliver(bool isOutOfWork);

    std::shared_ptr<const TrackInfoReading> reader_;
    std::shared_ptr<MetadataCache> cache_;
    Options options_;

    mutable std::mutex mutex_;
    std::condition_variable_any changed_;
    std::deque<Pass> passes_;
    bool isHeld_ = false;
    std::chrono::steady_clock::time_point heldUntil_ {};
    bool isWorking_ = false;
    std::int64_t readCount_ = 0;

    // The filler thread's own.
    std::vector<Learned> learned_;
    std::chrono::steady_clock::time_point lastDelivery_ {};

    std::jthread thread_; // last: it starts once everything above is made
};

} // namespace lh
