#pragma once

#include "CueSheet.h"
#include "FileURL.h"
#include "MediaTags.h"
#include "MetadataCache.h"
#include "StreamInfo.h"
#include "TrackInfo.h"
#include "TrackInfoReading.h"

#include <optional>

namespace lh {

// The reads MetadataReader runs, with what they learn kept in a metadata cache (when there is
// one) under the row's URL, and a stream read answered from it while the file is unchanged.
// `file` is what is read: the file itself, or a network file's local copy (never the share).
// Blocking; call on the reading thread, never on the main thread.
namespace CachedReads {

struct StreamRead {
    StreamInfo stream;
    std::optional<CueSheet> sheet;
    std::optional<MediaTags> tags; // with a cache: what the file's tags say (no picture)
};

// The stream description, and the sheet inside the file when `readsSheet`. With a cache, the
// file's tags come too, read once per version of the file, so the rows can be named by them
// without a read of their own; without one, only when `readsTags`. A file that cannot be read
// has no tags.
StreamRead readStream(const TrackInfoReading& reader, MetadataCache* cache, const FileURL& url,
    const FileURL& file, bool readsSheet, bool readsTags = false);

// What a full read (Get Info) or a tags read (the playing track) learned, kept.
void learn(MetadataCache* cache, const FileURL& url, const FileURL& file, const TrackInfo& info);
void learn(MetadataCache* cache, const FileURL& url, const FileURL& file, const MediaTags& tags);

} // namespace CachedReads
} // namespace lh
