#include "PlaylistDuration.h"

#include <cmath>

namespace lh {

std::optional<double> PlaylistDuration::ofRow(const Track& track, const StreamInfoMap& streamInfo, const DurationMap& known)
{
    std::optional<double> end = track.end;
    if (!end) {
        if (const auto info = streamInfo.find(track.url); info != streamInfo.end())
            end = info->second.duration;
        else if (const auto duration = known.find(track.url); duration != known.end())
            end = duration->second;
    }
    if (!end)
        return std::nullopt;
    const double length = *end - track.start;
    // A length past any file's (a broken header) or not a number counts as nothing.
    return std::isfinite(length) && length > 0 ? length : 0;
}

PlaylistDuration PlaylistDuration::of(const TrackList& tracks, const StreamInfoMap& streamInfo, const DurationMap& known)
{
    PlaylistDuration total;
    for (const Track& track : tracks) {
        if (const auto length = ofRow(track, streamInfo, known))
            total.seconds += *length;
        else
            ++total.unknownRows;
    }
    return total;
}

} // namespace lh
