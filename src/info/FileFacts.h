#pragma once

#include "FileStamp.h"
#include "MediaTags.h"
#include "StreamInfo.h"

#include <optional>

namespace lh {

// What the player has learned about one version of a file, as the metadata cache keeps it.
// Each kind of fact is absent until a read has learned it: a stream read learns no tags, a
// tags read no stream description.
struct FileFacts {
    FileStamp stamp;
    std::optional<StreamInfo> stream; // with the file's ReplayGain values
    // Only what the tags say; never the URL, the picture or where it was stored.
    std::optional<MediaTags> tags;
    std::optional<bool> hasEmbeddedCueSheet;

    // These facts with what `newer` adds: for the same version of the file, each kind `newer`
    // knows replaces this one's and the others stay; for another version, only `newer` holds.
    FileFacts mergedWith(FileFacts newer) const;

    bool operator==(const FileFacts&) const = default;
};

} // namespace lh
