#include "PlaylistExport.h"

#include "TrackName.h"

namespace lh::PlaylistExport {
namespace {

// A row's length: the stretch a cue track plays (to the file's end when it has none), else the
// file's; unknown until its stream description was read.
std::optional<double> duration(const Track& track, const StreamInfoMap& streamInfo)
{
    if (track.end)
        return *track.end - track.start;
    const auto info = streamInfo.find(track.url);
    if (info == streamInfo.end() || !info->second.duration)
        return std::nullopt;
    return *info->second.duration - track.start;
}

} // namespace

std::vector<PlaylistFileWriter::Row> rows(const TrackList& tracks, const StreamInfoMap& streamInfo)
{
    std::vector<PlaylistFileWriter::Row> rows;
    rows.reserve(tracks.size());
    for (const Track& track : tracks) {
        std::optional<FileURL> sheet;
        if (track.sheet)
            sheet = *track.sheet;
        else if (!track.isWholeFile())
            sheet = track.url;
        rows.push_back({ track.url, std::move(sheet), duration(track, streamInfo), TrackName::displayName(track) });
    }
    return rows;
}

} // namespace lh::PlaylistExport
