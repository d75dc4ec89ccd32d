#pragma once

#include <cstdint>
#include <optional>

namespace lh {

// The technical description of a file's first audio stream. Every field is absent for a file
// without audio. The duration is the whole file's, also for a cue track.
struct StreamInfo {
    std::optional<double> duration; // seconds
    std::optional<std::int64_t> bitRate; // bits per second, truncated; absent when not positive
    std::optional<double> sampleRate; // hertz
    std::optional<std::int64_t> channels;

    bool operator==(const StreamInfo&) const = default;
};

} // namespace lh
