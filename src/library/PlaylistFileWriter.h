#pragma once

#include "FileURL.h"
#include "PlaylistFile.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace lh {

// A playlist written as a file other players read: M3U8 (M3U is the same, in UTF-8), PLS or
// XSPF. Paths are written relative to the list's folder when that folder holds every one of
// them, so a list saved beside its music travels with it; absolute otherwise. None of these
// formats can name part of a file, so a run of cue tracks is written as their sheet, once,
// and reading the list back gives the same rows. Pure: writing the bytes to disk is the
// caller's (FileSystem::replaceFile). Any thread.
class PlaylistFileWriter {
public:
    struct Row {
        FileURL file;
        // For a cue track: the sheet it came from (the audio file itself, for a sheet inside
        // its tags). Consecutive rows of one sheet are written once, as the sheet.
        std::optional<FileURL> sheet;
        std::optional<double> duration; // seconds
        QString name;
    };

    static QByteArray write(PlaylistFile::Format format, const FileURL& listURL, const std::vector<Row>& rows);
};

} // namespace lh
