#pragma once

#include "TrackInfo.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace lh {

// One tag entry of a file, whatever its format, with the two ways of recognising it: a key
// shared by every format and, separately, what the entry is in its own format. An entry may
// carry both (an MP4 ©day is a creation date and a release date).
struct TagItem {
    enum class CommonKey { none, title, artist, albumName, creationDate, artwork };
    enum class Identifier {
        none,
        id3Year, // ID3v2 TYER
        id3RecordingTime, // ID3v2 TDRC
        mp4ReleaseDate, // MP4 ©day
        id3ContentType, // ID3v2 TCON, kept as stored: "(17)" is not turned into a genre name
        mp4UserGenre, // MP4 ©gen
        plainGenre, // a genre field with no numeric form: Vorbis GENRE, RIFF IGNR, APE Genre
    };

    CommonKey commonKey = CommonKey::none;
    Identifier identifier = Identifier::none;
    QString text; // for text entries
    QByteArray data; // for artwork: the encoded image as stored

    // Applies the entry on top of what earlier entries set. Text is trimmed of spaces and
    // tabs at both ends and ignored when that leaves nothing; dates give their first four
    // characters as the year.
    void applyTo(TrackInfo& info) const;
};

} // namespace lh
