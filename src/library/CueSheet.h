#pragma once

#include "CueGains.h"
#include "FileURL.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lh {

// A cue sheet: the entries that split one or more audio files into tracks.
//
// Sheets come from many tools and systems, so every step is tolerant and none fails: decode()
// reads whatever encoding the sheet was saved in, parsing skips what it does not need and
// drops entries it cannot complete, and audioURL() finds the audio file even when the sheet's
// spelling of its name does not match the folder. All of it is pure; any thread.
struct CueSheet {
    struct Track {
        QString file; // as written in the FILE line in effect at the entry's INDEX 01
        std::int64_t number = 0;
        std::optional<QString> title;
        std::optional<QString> performer;
        double start = 0; // seconds
        std::optional<double> end; // the next entry's start when it lies in the same file
        // The entry's REM REPLAYGAIN_TRACK_GAIN and _PEAK, and the sheet's REM
        // REPLAYGAIN_ALBUM_GAIN and _PEAK (given before the first TRACK line).
        CueGains gains {};

        bool operator==(const Track&) const = default;
    };

    // A folder's entries, prepared once for matching several names against them.
    class Folder {
    public:
        explicit Folder(const std::vector<std::string>& names);
        // audioFiles() points into entries(): a move keeps it valid, a copy would not.
        Folder(Folder&&) = default;
        Folder& operator=(Folder&&) = default;
        Folder(const Folder&) = delete;
        Folder& operator=(const Folder&) = delete;

        struct Entry {
            std::string bytes; // the name as the file system has it
            QString name; // canonical (NFC) text of the name
            bool isAudio = false; // its extension names an audio format
            QString stem; // audio files only: canonical text without the extension
            QString key; // audio files only: the stem folded for loose comparison
        };

        // Every entry that can name a file inside the folder ("." and ".." and names with a
        // slash cannot), in listing order.
        const std::vector<Entry>& entries() const { return entries_; }
        // The entries whose extension names an audio format, in listing order.
        const std::vector<const Entry*>& audioFiles() const { return audioFiles_; }

    private:
        std::vector<Entry> entries_;
        std::vector<const Entry*> audioFiles_;
    };

    std::optional<QString> title; // before the first TRACK line: the album
    std::optional<QString> performer;
    std::vector<Track> tracks;

    CueSheet() = default;
    explicit CueSheet(const QString& text);

    // The sheet's bytes as text: a byte-order mark decides; otherwise strict UTF-8; otherwise
    // the most plausible of Windows-1252, -1250 and -1251, unless that reading shows traces of
    // a wrong page and another candidate (Greek, East Asian) fits strictly better. May be empty.
    static QString decode(const QByteArray& bytes);
    // How much decoded text looks like real words; decode() keeps the code page that scores
    // highest, the earlier one on a tie.
    static std::int64_t plausibility(QStringView text);

    // The distinct file names of the entries, in order of first appearance.
    std::vector<QString> files() const;

    // The audio file `file` (an entry's file name) refers to, in the sheet's folder. The result
    // always names one of the folder's own entries, spelled as the file system spells it.
    std::optional<FileURL> audioURL(const QString& file, const FileURL& cueURL, const std::vector<std::string>& folderFiles) const;
    std::optional<FileURL> audioURL(const QString& file, const FileURL& cueURL, const Folder& folder) const;

    bool operator==(const CueSheet&) const = default;

private:
    // Whether every entry names the same file (canonically), so the sheet's own name may
    // stand in for a file name that matches nothing.
    bool hasSingleFile() const;
};

} // namespace lh
