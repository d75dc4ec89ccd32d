#include "CueSheet.h"
#include "EmbeddedCueSheet.h"
#include "TrackImporter.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// Cue sheets arrive from anywhere, in any encoding, beside folders of any names, and inside
// audio files' tags.
//
// Input: a 16-bit little-endian length, that many bytes of sheet, then the sheet's folder
// listing as names separated by zero bytes (names may hold anything else, "/" included). The
// sheet's bytes are also read as an audio file that may hold a sheet in its tags.
namespace {

const lh::FileURL cueURL("/music/Album/Album.cue");

std::vector<std::string> folderNames(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> names;
    std::string name;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            names.push_back(std::move(name));
            name.clear();
        } else {
            name += static_cast<char>(data[i]);
        }
    }
    names.push_back(std::move(name));
    return names;
}

// Whatever the sheet says, a found file is one of the folder's own entries.
void checkInFolder(const lh::FileURL& url, const std::vector<std::string>& names)
{
    const std::string folder = "/music/Album/";
    if (!url.path().starts_with(folder))
        std::abort();
    const std::string name = url.path().substr(folder.size());
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
        std::abort();
    if (std::find(names.begin(), names.end(), name) == names.end())
        std::abort();
}

// The tracks of a sheet inside a file keep to that file: each starts within it, after the one
// before, and ends where the next begins.
void checkEmbedded(const QByteArray& bytes)
{
    const auto readAt = [&](std::int64_t offset, std::int64_t length) {
        if (offset < 0 || offset >= bytes.size() || length <= 0)
            return QByteArray();
        return bytes.mid(static_cast<qsizetype>(offset), static_cast<qsizetype>(std::min<std::int64_t>(length, bytes.size() - offset)));
    };
    const auto sheet = lh::EmbeddedCueSheet::read(readAt, bytes.size(), "fuzz input");
    if (!sheet)
        return;
    constexpr double duration = 3600;
    const lh::FileURL image("/music/Album/Album.flac");
    const auto tracks = lh::TrackImporter::embeddedTracks(*sheet, image, false, duration);
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const lh::Track& track = tracks[i];
        if (track.url != image || !(track.start >= 0 && track.start < duration) || !track.title)
            std::abort();
        if (i + 1 < tracks.size() ? track.end != tracks[i + 1].start : track.end.has_value())
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::size_t sheetSize = std::min<std::size_t>(data[0] | (data[1] << 8), size - 2);
    const QByteArray bytes(reinterpret_cast<const char*>(data + 2), static_cast<qsizetype>(sheetSize));
    const std::vector<std::string> names = folderNames(data + 2 + sheetSize, size - 2 - sheetSize);

    const lh::CueSheet sheet(lh::CueSheet::decode(bytes));
    const lh::CueSheet::Folder folder(names);
    for (const QString& file : sheet.files()) {
        if (const auto url = sheet.audioURL(file, cueURL, folder))
            checkInFolder(*url, names);
    }

    const lh::TrackImporter importer(
        [&](const lh::FileURL& url) { return url == cueURL ? std::optional(bytes) : std::nullopt; },
        [&](const lh::FileURL& url) { return url.path() == "/music/Album" ? names : std::vector<std::string>(); },
        [](const lh::FileURL&) { return false; });
    for (const lh::Track& track : importer.tracks({ cueURL, lh::FileURL("/music/Album/../Album/Album.flac") })) {
        if (track.title)
            checkInFolder(track.url, names);
    }
    checkEmbedded(bytes);
    return 0;
}
