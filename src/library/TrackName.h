#pragma once

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

// The title and artist a track goes by: the cue sheet's title and performer, else the file
// name split at its first " - " into artist and title (the artist empty without one).
std::pair<QString, QString> titleAndArtist(const Track& track);

} // namespace TrackName
} // namespace lh
