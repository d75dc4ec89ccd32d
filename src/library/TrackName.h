#pragma once

#include "TagName.h"
#include "Track.h"

#include <QString>

#include <optional>
#include <utility>

namespace lh {

namespace TrackName {

// The four digits of a year in parentheses at the very end of a name: "Album (1999)" gives
// "1999"; "Album (1999) live" and "Album (99)" give nothing.
std::optional<QString> year(const QString& text);

// "Artist - Title", the bare title, or for a whole file its name without the extension.
QString displayName(const Track& track);
// The same where the user asked for tag titles: a whole file with a title tag (`tagged`) goes by
// that title. A cue track keeps its sheet's title, and a file not tagged (null) its name.
QString shownName(const Track& track, const TagName* tagged);

// The title and artist a track goes by: the cue sheet's title and performer, else the file
// name as fileNameParts splits it.
std::pair<QString, QString> titleAndArtist(const Track& track);
// The same where the user asked for tag titles: a tagged whole file goes by its title and
// artist tags, the artist empty where the tags name none.
std::pair<QString, QString> shownTitleAndArtist(const Track& track, const TagName* tagged);

// A file name (without its extension) split at its first " - " into title and artist, no
// artist without one. A part before it made only of a track number ("01", or with a disc
// "1-01", "1.01"), as rippers name files, is no artist: the title is the rest.
std::pair<QString, std::optional<QString>> fileNameParts(const QString& name);

} // namespace TrackName
} // namespace lh
