#pragma once

#include "CueSheet.h"
#include "FileURL.h"
#include "MediaTags.h"
#include "StreamInfo.h"
#include "TrackInfo.h"

#include <optional>

namespace lh {

// Reads what a file says about itself. Both operations block on file I/O and never fail: what
// cannot be read stays absent. Implementations hold no state, so one object may be used from
// any number of threads at once; call them off the main thread (MetadataReader does).
class TrackInfoReading {
public:
    virtual ~TrackInfoReading() = default;

    // The complete information of the file at `file`, reported under the playlist URL `url`
    // (they differ when a network file is read from its cached copy). Starts from the
    // file-name placeholder, so a file without tags keeps its name-derived title, artist and
    // year; isLoading is false.
    virtual TrackInfo readInfo(const FileURL& url, const FileURL& file) const = 0;

    // Length, bit rate, sample rate and channels of the file's first audio stream; all absent
    // for a file that cannot be opened or has no audio.
    virtual StreamInfo readStream(const FileURL& file) const = 0;

    // What the tags of the file at `file` say, reported under `url`, with the picture's bytes
    // in `artwork`; nothing but `url` for a file without tags. Nothing is taken from the name.
    virtual MediaTags readTags(const FileURL& url, const FileURL& file) const = 0;

    // The cue sheet stored inside the file at `file`, when it holds one with usable entries.
    // A reader that knows no such sheets answers none for every file.
    virtual std::optional<CueSheet> readCueSheet(const FileURL& file) const
    {
        (void)file;
        return std::nullopt;
    }
};

} // namespace lh
