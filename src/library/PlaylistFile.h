#pragma once

#include "FileURL.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace lh {

// A playlist file another player wrote (M3U, M3U8, PLS, XSPF), read into the files it names.
//
// read() is pure: it never touches the disk, so whether an entry's file exists, is audio, or
// is itself a playlist is the importer's business. Entries come back in the list's order as
// absolute, normalised local paths; nested lists are entries like any other file. What cannot
// be an entry is returned with the reason, once per line, for the caller to report. Input
// that is not a playlist at all (binary data, too large, an XML document type) gives an error
// and no entries. Any thread; meant to run off the main thread for large lists.
class PlaylistFile {
public:
    enum class Format { m3u, m3u8, pls, xspf };

    enum class SkipReason {
        stream, // http(s) and other network URLs
        notAnEntry, // a line or location that names no local file
    };

    struct Skipped {
        std::string text; // as the list wrote it, UTF-8
        SkipReason reason;

        bool operator==(const Skipped&) const = default;
    };

    struct Contents {
        std::vector<FileURL> entries;
        std::vector<Skipped> skipped;
        std::optional<QString> error; // when set, entries and skipped are empty

        bool operator==(const Contents&) const = default;
    };

    // No real list comes near these; they stop a mistaken or hostile file from holding the
    // importer (and its memory) for minutes.
    static constexpr qsizetype maximumSize = 64 * 1024 * 1024;
    static constexpr std::size_t maximumEntries = 1'000'000;
    // A path is at most 4096 bytes; its file URL, percent-encoded, three times that.
    static constexpr qsizetype maximumLineLength = 16 * 1024;

    // By the name's extension, in any case; nothing for other files.
    static std::optional<Format> formatOf(const FileURL& url);
    static bool isPlaylist(const FileURL& url) { return formatOf(url).has_value(); }

    // The entries of the list at `listURL` (which decides the format, and which relative
    // entries are resolved against), whose contents are `bytes`.
    static Contents read(const FileURL& listURL, const QByteArray& bytes);

    // The file's bytes, or the reason they were not read: no regular file, unreadable, or
    // larger than maximumSize (checked before reading, so a huge file costs nothing). Blocks
    // on the disk: never on the main thread.
    static std::variant<QByteArray, QString> readBounded(const FileURL& url);

    // For the message to the user.
    static QString reasonText(SkipReason reason);

private:
    static Contents failed(QString message);
    static QString tooLarge();
    // Checked after every entry: a bound on entries bounds the work of every later step.
    static bool isOverBound(const Contents& contents) { return contents.entries.size() + contents.skipped.size() > maximumEntries; }
    static QString tooManyEntries();

    static Contents readLines(const FileURL& listURL, std::string_view text, Format format);
    static Contents readXspf(const FileURL& listURL, const QByteArray& bytes);
};

} // namespace lh
