#pragma once

#include "ReplayGain.h"

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
    // The file's own loudness tags, read with the description so a track's gain is known
    // before it plays.
    ReplayGain replayGain {};

    bool operator==(const StreamInfo&) const = default;
};

} // namespace lh
