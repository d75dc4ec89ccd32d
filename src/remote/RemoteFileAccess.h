#pragma once

#include "FileURL.h"
#include "StallLimit.h"

#include <cstdint>

namespace lh {

// How the downloader reaches files on network volumes.
//
// Both operations block, possibly for ever when a share stops answering, so callers run them
// only inside withStallLimit, on the thread it starts, and never on the main thread.
// Implementations must be safe to call from several such threads at once.
class RemoteFileAccess {
public:
    virtual ~RemoteFileAccess() = default;

    // The file's size in bytes. Throws MissingFileError when the file is gone from a volume
    // that is still mounted, a FileError otherwise.
    virtual std::int64_t size(const FileURL& url) = 0;

    // Copies `source` to `destination` (replacing it), calling `progress` once the source is
    // open and after each piece read. Any error, `progress`'s included, ends the copy and
    // is rethrown after the destination has been removed. Throws MissingFileError when the
    // source is gone from a volume that is still mounted.
    virtual void copy(const FileURL& source, const FileURL& destination, const Progress& progress) = 0;
};

} // namespace lh
