#pragma once

#include "FileURL.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace lh {

// What a file's tags say about the music, for the desktop's media controls. Unlike TrackInfo
// nothing is filled in from the file name: an absent field means the tags do not say, so the
// caller can keep what it shows otherwise.
struct MediaTags {
    FileURL url; // the playlist URL, also when the bytes came from a cached copy
    std::optional<QString> title;
    std::vector<QString> artists;
    std::optional<QString> album;
    std::vector<QString> albumArtists;
    std::optional<int> trackNumber;
    std::optional<int> discNumber;
    std::vector<QString> genres;
    std::optional<QString> year;
    std::optional<QByteArray> artwork; // the encoded picture as read; not kept once stored
    std::optional<FileURL> artFile; // where the picture was stored for others to read

    // The tags of the file at `file`. Blocking; call off the main thread. Never throws: an
    // unreadable file gives tags with nothing but `url`.
    static MediaTags read(const FileURL& url, const FileURL& file);

    bool operator==(const MediaTags&) const = default;
};

} // namespace lh
