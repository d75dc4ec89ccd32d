#pragma once

#include "PlayerState.h"
#include "Track.h"
#include "TrackName.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace lh {

// The texts the window shows for the player's state, as pure functions of that state: the
// name of a playlist row, the display's title, artist and format lines, a row's duration and
// the bottom bar's status. Nothing here draws or touches a file.
namespace DisplayTexts {

struct LcdLines {
    QString title;
    QString artist;

    bool operator==(const LcdLines&) const = default;
};

// "Artist - Title", the bare title, or for a whole file its name without the extension.
using TrackName::displayName;
// A row's name: displayName, or with tag names (Show Tag Titles) a tagged whole file's title.
QString rowName(const Track& track, const TagNames& names);

// The display's title and artist: "Not Playing" with no current track; for a file without tags,
// its name split at the first " - " into artist and title (TrackName::fileNameParts). With tag
// names (Show Tag Titles), a tagged whole file's title and artist tags.
LcdLines lcdInfo(const TrackList& tracks, std::optional<std::int64_t> currentIndex, const TagNames& names = {});

// The window's title: the current row's name, or the player's alone.
QString windowTitle(const TrackList& tracks, std::optional<std::int64_t> currentIndex, const TagNames& names = {});

// "FLAC · 912 kbps · 44.1 kHz · Stereo": the extension, then whatever the stream information
// holds. Empty with no current track.
QString formatText(const TrackList& tracks, std::optional<std::int64_t> currentIndex,
    const StreamInfoMap& streamInfo);

// The length of a row: the cue track's own stretch, else the file's stream duration, else the
// duration the metadata cache knew at launch; empty when none is known yet.
QString rowDurationText(const Track& track, const StreamInfoMap& streamInfo, const DurationMap& known = {});
std::vector<QString> rowDurationTexts(const std::vector<Track>& tracks, const StreamInfoMap& streamInfo);

// "0 songs", "1 song", "2 songs".
QString countText(std::int64_t count);

// The count's tooltip: the count and how long the rows play ("20,013 songs, 61 days 4:12:07"),
// "at least" while some rows' durations are not known yet.
QString countToolTip(std::int64_t count, const PlaylistDuration& total);

// The count, and while a sleep timer runs the whole minutes left, rounded up
// ("12 songs — stops in 2 min"); while a folder is still being read, that comes first
// ("7,900 songs — reading folder…"): the count is not the folder's yet.
QString statusText(std::int64_t count, std::optional<double> sleepTimeRemaining, bool isReadingFolder = false,
    bool isWalkWaiting = false);

} // namespace DisplayTexts

} // namespace lh
