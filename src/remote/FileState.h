#pragma once

namespace lh {

// What the downloader is doing about one network file; no entry means nothing.
enum class DownloadState {
    copying, // a copy into the cache is being made
    unreachable, // the latest size query or copy failed
};

// Why a network file could not be had.
enum class RemoteFailure {
    missing, // gone, although its volume is still mounted
    away, // volume gone, share stalled, reading failed, or storing failed but for space
    noSpace, // the copy did not fit on the cache's disk; the share is not to blame
};

// One playlist file's state as the user sees it.
enum class FileState {
    local, // not on a network volume; played in place
    cached, // remote, and a copy is in the cache
    waiting, // remote, no copy, nothing being done about it
    copying, // remote, being copied now
    unreachable, // remote, no copy, and the last attempt to reach it failed
};

} // namespace lh
