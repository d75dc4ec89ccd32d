#pragma once

#include "CueGains.h"
#include "FileURL.h"
#include "InternedURL.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace lh {

// One playlist entry: a whole audio file, or a stretch of one described by a cue sheet.
// A track with a title is a cue track; a track without one is a whole file. Tracks are
// compared field by field and are never hashed (the playlist keys them itself).
struct Track {
    FileURL url; // canonical (normalizedFileURL); for a cue track the audio file, not the sheet
    double start = 0; // seconds into the file
    std::optional<double> end; // seconds; absent means to the end of the file
    std::optional<QString> title; // present exactly for cue tracks
    std::optional<QString> artist; // the cue sheet's performer
    std::optional<QString> album; // cue tracks: the sheet's TITLE
    // The flags together: a playlist holds a million tracks, and each byte of padding is a megabyte.
    bool isRemote = false; // on a network volume: played from a local copy
    bool isFromEmbeddedSheet = false; // cue tracks: the sheet is stored inside the audio file
    CueGains gains {}; // cue tracks: the loudness corrections the sheet states
    // Cue tracks of a sheet file: that sheet, so an exported list can name it where no list
    // format can name a stretch of a file. None for older stored rows and embedded sheets.
    InternedURL sheet {};

    bool isWholeFile() const noexcept { return !title.has_value(); }

    bool operator==(const Track&) const = default;
};

// The gains fill the padding after the flags: a million rows take no more memory for them. The
// sheet is one pointer: 8 MB a million rows.
static_assert(sizeof(Track) <= 160);

} // namespace lh
