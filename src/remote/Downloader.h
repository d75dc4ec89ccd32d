#pragma once

#include "AudioFileCache.h"
#include "FileState.h"
#include "RemoteFileAccess.h"
#include "RemoteResult.h"
#include "SerialExecutor.h"
#include "StallLimit.h"

#include <chrono>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

namespace lh {

using DownloadStates = std::unordered_map<FileURL, DownloadState>;

// Brings network files into the cache before they are played.
//
// `want` starts a look-ahead pass over the files the player will need next, most urgent
// first: it takes them in that order, copying the missing ones a few at a time, and protects
// their copies from eviction, until the files taken fill the cache's budget (the first is
// taken whatever its size). Nothing is asked of the share before copying: a file's size is
// learnt from its copy, so the next track is copied first however long the list. `fetch` gets
// one file now, abandoning the pass; a copy already under way for that file is joined, never
// repeated. After three `away` failures in a row a pass stops asking the network, so a
// vanished share costs little. A copy given up on for stalling leaves its thread blocked on
// the share; while it is, a pass starts no other for that file and counts it as away, and no
// more than `maxShareThreads` threads are ever on the share, so passes at every track start
// do not pile threads onto a dead share. A copy that failed for want of space on the
// cache's disk is no away failure; the file counts as unreachable until a copy of it succeeds,
// and the first such failure (again after a success) is said on standard error.
//
// Threads: an actor. Its state lives on its own serial executor and is touched only there;
// the public calls are safe from any thread and return at once. Completions and `onChange`
// run on that executor: callers hop to their own thread. Each change of what the downloader
// does about a file is reported as the whole state map, and the downloader goes on only after
// `onChange` has called its `done`. Size queries and copies run under withStallLimit on
// threads of their own, never on the executor.
class Downloader {
public:
    using Done = std::function<void()>;
    using OnChange = std::function<void(const DownloadStates& states, Done done)>;
    using CopyResult = RemoteResult<FileURL>;

    static constexpr int failuresToGiveUp = 3;
    // Copies a pass runs at once, and threads on the share at most, stuck ones included: a
    // long list costs the share what a short one does.
    static constexpr int copiesAtOnce = 4;
    static constexpr int maxShareThreads = 8;

    // `executor` replaces the downloader's own serial executor (tests pass a manual one, which
    // must outlive the downloader); `runtime` replaces the stall watchdog's threads and clock.
    Downloader(AudioFileCache& cache, std::shared_ptr<RemoteFileAccess> files,
        std::chrono::nanoseconds stallLimit, OnChange onChange, Executor* executor = nullptr,
        StallRuntime runtime = {});
    // Drops whatever is still under way; completions not yet called are never called. Copies
    // blocked on a dead share keep their threads until the share answers or is unmounted.
    ~Downloader();

    Downloader(const Downloader&) = delete;
    Downloader& operator=(const Downloader&) = delete;

    // Starts a new look-ahead pass over `urls`, in this order of priority, cancelling the
    // current one (which stops at its next check between files; a copy it began runs on).
    void want(std::vector<FileURL> urls);
    // As want(), with the list worked out on the downloader's own thread by `order`, in turn
    // with the other requests: at a million rows the walk to find the network files would
    // cost the caller a frame.
    void wantOrder(std::function<std::vector<FileURL>()> order);

    // Gets the file now, for playback: cancels the current pass and calls `completion` with
    // the copy's location or the reason it could not be had.
    void fetch(FileURL url, std::function<void(CopyResult)> completion);

    // Calls `completion` once no pass and no copy is running.
    void settle(Done completion);

private:
    struct Actor;

    std::shared_ptr<Actor> actor_;
    std::unique_ptr<SerialExecutor> ownExecutor_;
};

} // namespace lh
