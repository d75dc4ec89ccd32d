#pragma once

#include "FileURL.h"

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
    bool isLoading = false;

    bool operator==(const TrackInfo&) const = default;
};

} // namespace lh
