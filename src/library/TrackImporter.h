#pragma once

#include "CueSheet.h"
#include "FileURL.h"
#include "Track.h"

#include <QByteArray>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace lh {

// Turns the files the user opens or drops into playlist tracks: supported audio files become
// whole-file tracks, cue sheets one track per entry, playlist files the files they name (see
// ListExpander), and an audio file a cue sheet of the same batch covers is not added again as a
// whole file. Everything else is ignored; what a playlist names but cannot become a row is said
// on standard error.
//
// Every file access goes through the three injected functions, so an import that reads cue
// sheets on a network share can run in the background under a watchdog, and tests can supply
// files from memory. The importer keeps no other state: copies are independent and any
// thread may use one, provided the functions may be called from that thread.
class TrackImporter {
public:
    // The whole file, or nothing when it cannot be read. Only cue sheets and playlists are read.
    using ReadFile = std::function<std::optional<QByteArray>(const FileURL&)>;
    // The names of the regular files in a folder (a FIFO named like audio is never matched, since
    // playing it would wait for a writer), in the file system's order, hidden ones included;
    // empty when the folder cannot be listed.
    using ListFolder = std::function<std::vector<std::string>(const FileURL&)>;
    // Whether a file lies on a network volume; asked once per audio file.
    using IsRemote = std::function<bool(const FileURL&)>;

    // Real sheets are a few kilobytes; a larger file named ".cue" is something else and would
    // only cost memory (its text is built several times over while decoding).
    static constexpr qsizetype maximumCueSheetSize = 16 * 1024 * 1024;
    // A sheet splits one disc image or names a file per track (99 at most on a CD); one with
    // more distinct files is something else, and matching each of them against a large folder
    // would keep the import busy long after its watchdog gave up.
    static constexpr std::size_t maximumCueSheetFiles = 999;
    // Name-by-entry comparisons one sheet may cost: about a second of matching.
    static constexpr std::size_t maximumMatchingWork = 10'000'000;

    TrackImporter(ReadFile readFile, ListFolder listFolder, IsRemote isRemote);
    // Reads and lists through the local file system.
    explicit TrackImporter(IsRemote isRemote);

    // The local file's bytes, or nothing when it is larger than any file the importer reads
    // (checked before reading, so a huge file named like a list costs nothing).
    static std::optional<QByteArray> readLocalFile(const FileURL& url);

    // Never fails: unreadable or unmatched input yields fewer tracks.
    std::vector<Track> tracks(const std::vector<FileURL>& urls) const;

    // The tracks of the sheet stored inside `file`, all of them in that file whatever its
    // FILE lines say (only the first file's entries count: another file's times mean another
    // file). Entries past `duration`, or not after the one before, are left out and the ends
    // follow the entries kept, so every track plays a stretch the file has.
    static std::vector<Track> embeddedTracks(const CueSheet& sheet, const FileURL& file, bool isRemote,
        std::optional<double> duration);

    // Whether importing `urls` reads files (a cue sheet or a playlist is among them), and so
    // belongs off the main thread.
    static bool needsReading(const std::vector<FileURL>& urls);

private:
    std::vector<Track> cueTracks(const FileURL& cueURL) const;

    ReadFile readFile_;
    ListFolder listFolder_;
    IsRemote isRemote_;
};

} // namespace lh
