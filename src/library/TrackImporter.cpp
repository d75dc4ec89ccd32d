#include "TrackImporter.h"

#include "CueSheet.h"
#include "FileSystem.h"
#include "ListExpander.h"
#include "PlaylistFile.h"
#include "SupportedAudio.h"

#include <QHash>

#include <cmath>

#include <unordered_map>
#include <unordered_set>

#include <sys/stat.h>

namespace lh {
namespace {

bool isAudioFile(const FileURL& url)
{
    return !url.isDirectory() && SupportedAudio::isSupported(url);
}

QString cueTrackTitle(const CueSheet::Track& entry)
{
    if (entry.title)
        return *entry.title;
    return QString::asprintf("Track %02lld", static_cast<long long>(entry.number));
}

} // namespace

TrackImporter::TrackImporter(ReadFile readFile, ListFolder listFolder, IsRemote isRemote)
    : readFile_(std::move(readFile))
    , listFolder_(std::move(listFolder))
    , isRemote_(std::move(isRemote))
{
}

TrackImporter::TrackImporter(IsRemote isRemote)
    : TrackImporter(
          readLocalFile, [](const FileURL& url) { return FileSystem::listFiles(url.path()); },
          std::move(isRemote))
{
}

std::optional<QByteArray> TrackImporter::readLocalFile(const FileURL& url)
{
    static_assert(PlaylistFile::maximumSize >= maximumCueSheetSize);
    struct stat info {};
    if (::stat(url.path().c_str(), &info) == 0 && info.st_size > PlaylistFile::maximumSize)
        return std::nullopt;
    return FileSystem::readFile(url.path());
}

bool TrackImporter::needsReading(const std::vector<FileURL>& urls)
{
    return std::ranges::any_of(urls, [](const FileURL& url) { return SupportedAudio::isCueSheet(url) || PlaylistFile::isPlaylist(url); });
}

std::vector<Track> TrackImporter::tracks(const std::vector<FileURL>& urls) const
{
    NotAddedReport notAdded;
    const std::vector<FileURL> normalized = ListExpander(readFile_, listFolder_, notAdded).expand(urls);
    notAdded.print();

    // Each sheet is read once, however often the batch names it.
    std::unordered_map<FileURL, std::vector<Track>> sheets;
    std::unordered_set<FileURL> covered;
    for (const FileURL& url : normalized) {
        if (!SupportedAudio::isCueSheet(url) || url.isDirectory() || sheets.contains(url))
            continue;
        std::vector<Track> sheetTracks = cueTracks(url);
        for (const Track& track : sheetTracks)
            covered.insert(track.url);
        sheets.emplace(url, std::move(sheetTracks));
    }

    std::vector<Track> result;
    for (const FileURL& url : normalized) {
        if (const auto sheet = sheets.find(url); sheet != sheets.end()) {
            result.insert(result.end(), sheet->second.begin(), sheet->second.end());
        } else if (isAudioFile(url) && !covered.contains(url)) {
            result.push_back(Track {
                .url = url,
                .start = 0,
                .end = std::nullopt,
                .title = std::nullopt,
                .artist = std::nullopt,
                .album = std::nullopt,
                .isRemote = isRemote_(url),
                .isFromEmbeddedSheet = false,
            });
        }
    }
    return result;
}

std::vector<Track> TrackImporter::embeddedTracks(const CueSheet& sheet, const FileURL& file, bool isRemote,
    std::optional<double> duration)
{
    std::vector<Track> tracks;
    if (sheet.tracks.empty())
        return tracks;
    const QString& firstFile = sheet.tracks.front().file;
    const bool knowsEnd = duration && std::isfinite(*duration) && *duration > 0;
    for (const CueSheet::Track& entry : sheet.tracks) {
        if (entry.file != firstFile || !std::isfinite(entry.start) || entry.start < 0)
            continue;
        if ((knowsEnd && entry.start >= *duration) || (!tracks.empty() && entry.start <= tracks.back().start))
            continue;
        if (!tracks.empty())
            tracks.back().end = entry.start;
        tracks.push_back(Track {
            .url = file,
            .start = entry.start,
            .end = std::nullopt,
            .title = cueTrackTitle(entry),
            .artist = entry.performer ? entry.performer : sheet.performer,
            .album = sheet.title,
            .isRemote = isRemote,
            .isFromEmbeddedSheet = true,
            .gains = entry.gains,
        });
    }
    return tracks;
}

std::vector<Track> TrackImporter::cueTracks(const FileURL& cueURL) const
{
    const std::optional<QByteArray> bytes = readFile_(cueURL);
    if (!bytes || bytes->size() > maximumCueSheetSize)
        return {};
    const CueSheet sheet(CueSheet::decode(*bytes));
    if (sheet.tracks.empty() || sheet.files().size() > maximumCueSheetFiles)
        return {};
    const CueSheet::Folder folder(listFolder_(cueURL.deletingLastPathComponent()));
    // Each name is compared with every entry of the folder; real sheets (99 files at most)
    // stay far below this even in a folder of 100,000 entries.
    if (sheet.files().size() * folder.entries().size() > maximumMatchingWork)
        return {};

    // Entries of one file resolve alike; match each name and ask the remote test once.
    struct Resolved {
        FileURL url;
        bool isRemote = false;
    };
    QHash<QString, std::optional<Resolved>> resolved;
    const InternedURL sheetURL(cueURL.normalizedFileURL());
    std::vector<Track> tracks;
    for (const CueSheet::Track& entry : sheet.tracks) {
        auto found = resolved.find(entry.file);
        if (found == resolved.end()) {
            std::optional<Resolved> file;
            // The matcher also finds formats the player cannot play; those entries are left out.
            if (const auto url = sheet.audioURL(entry.file, cueURL, folder); url && SupportedAudio::isSupported(*url))
                file = Resolved { url->normalizedFileURL(), isRemote_(url->normalizedFileURL()) };
            found = resolved.insert(entry.file, std::move(file));
        }
        if (!*found)
            continue;
        tracks.push_back(Track {
            .url = (*found)->url,
            .start = entry.start,
            .end = entry.end,
            .title = cueTrackTitle(entry),
            .artist = entry.performer ? entry.performer : sheet.performer,
            .album = sheet.title,
            .isRemote = (*found)->isRemote,
            .isFromEmbeddedSheet = false,
            .gains = entry.gains,
            .sheet = sheetURL,
        });
    }
    return tracks;
}

} // namespace lh
