#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace lh {

// What tells one version of a file from the next without reading it: its size and when it was
// last changed. Whatever was learned from a file holds while its stamp stays the same.
struct FileStamp {
    std::int64_t size = 0;
    // Nanoseconds since the epoch. Absent for a network file's local copy: its time says when
    // it was last played, and a copy is replaced whole when its source is copied again.
    std::optional<std::int64_t> modified;

    // The stamp of the regular file at `path` (links followed); none when it cannot be read.
    // Blocking: call off the main thread, and only on local files.
    static std::optional<FileStamp> of(const std::string& path);
    // The same for a network file's local copy, whose time is left out.
    static std::optional<FileStamp> ofCopy(const std::string& path);

    bool operator==(const FileStamp&) const = default;
};

} // namespace lh
