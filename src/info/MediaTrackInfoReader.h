#pragma once

#include "TrackInfoReading.h"

namespace lh {

// Reads stream descriptions with libavformat (through MediaFile: local files only, supported
// demuxers only) and tags and artwork with TagLib. Stream reads look at headers only: no audio
// is decoded except, for raw MP3, FLAC and ADTS streams, the first frames libavformat needs to
// learn the format, and the file is never read through.
class MediaTrackInfoReader final : public TrackInfoReading {
public:
    TrackInfo readInfo(const FileURL& url, const FileURL& file) const override;
    StreamInfo readStream(const FileURL& file) const override;
    MediaTags readTags(const FileURL& url, const FileURL& file) const override;
    std::optional<CueSheet> readCueSheet(const FileURL& file) const override;
};

} // namespace lh
