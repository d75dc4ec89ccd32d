#pragma once

#include "FileURL.h"
#include "ReplayGain.h"
#include "Track.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace lh {

// What the track information panel shows: tags, artwork, stream properties and size.
// A placeholder (isLoading) is built from the file name alone, so the panel can open before
// the file has been read.
struct TrackInfo {
    FileURL url; // the playlist URL, also when the bytes came from a cached copy
    QString title;
    std::optional<QString> artist;
    std::optional<QString> album;
    std::optional<QString> year;
    std::optional<QString> genre;
    std::optional<double> duration; // seconds
    std::optional<std::int64_t> bitRate; // bits per second
    std::optional<double> sampleRate; // hertz
    std::optional<std::int64_t> channels;
    std::optional<std::int64_t> fileSize; // bytes of the file that was read
    std::optional<QByteArray> artwork; // encoded image exactly as stored
    ReplayGain replayGain {}; // for a cue track, as it applies to the track (see forCueTrack)
    bool isLoading = false;
    bool hasEmbeddedCueSheet = false; // the file carries a usable cue sheet inside itself
    std::optional<QString> sheetBeside; // a local file's "<its name>.cue" in its folder
    // For a cue track: which sheet it comes from, where the file has more than one kind.
    std::optional<QString> cueSheetNote;

    // What is known from the file name alone, without touching the file: "Artist - Title
    // (1999)" gives artist, title and year; the year is looked for in the whole name, so it is
    // found after the artist part too. Loading, with no tags or stream properties.
    static TrackInfo placeholder(const FileURL& url);

    // The information shown for a playlist row: for a whole file `fileInfo` unchanged; for a cue
    // track the track's own title and artist (no tag artist when the sheet names none) and its
    // length, end - start, or the rest of the file from start, never below zero, and the
    // image's gains as they apply to one of its tracks. Everything else is the file's, and a
    // note on which sheet was used when the file has one inside.
    static TrackInfo info(TrackInfo fileInfo, const Track& track);

    bool operator==(const TrackInfo&) const = default;
};

} // namespace lh
