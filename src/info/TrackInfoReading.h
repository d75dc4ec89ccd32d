#pragma once

#include "CueSheet.h"
#include "FileURL.h"
#include "MediaTags.h"
#include "StreamInfo.h"
#include "TrackInfo.h"

#include <optional>

namespace lh {

// Reads what a file says about itself. What every implementation, fakes included, promises:
// - Nothing throws and nothing fails: what cannot be read stays absent. A missing file, one that
//   holds no audio, and anything that is not a regular file (a FIFO, a folder) all read as the
//   file-name placeholder (with its size, where it has one) and no stream, tags with nothing
//   but their URL, and no cue sheet.
// - Every read may block on file I/O for as long as the disk takes, but never waits on anything
//   else: a FIFO named like audio is neither opened nor waited on.
// - One object may be used from any number of threads at once: the real reader holds no state,
//   and a fake that records its reads guards the record. Never call them on the main thread;
//   MetadataReader calls them on its background executor.
// - A cue track is read as its whole file: these reads know files, not tracks.
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

    // The cue sheet stored inside the file at `file`, when it holds one with usable entries;
    // none for a file without one. A reader that knows no such sheets answers none for every
    // file, which is what this default does.
    virtual std::optional<CueSheet> readCueSheet(const FileURL& file) const
    {
        (void)file;
        return std::nullopt;
    }
};

} // namespace lh
