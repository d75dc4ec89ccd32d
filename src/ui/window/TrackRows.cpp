#include "TrackRows.h"

#include "DisplayTexts.h"

namespace lh {

TrackRows::TrackRows(TrackList tracks, SharedStreamInfo streamInfo, SharedFileStates fileStates,
    SharedDurations knownDurations, TagNames names)
    : tracks_(std::move(tracks))
    , streamInfo_(std::move(streamInfo))
    , fileStates_(std::move(fileStates))
    , knownDurations_(std::move(knownDurations))
    , names_(std::move(names))
{
}

std::int64_t TrackRows::count() const
{
    return std::int64_t(tracks_.size());
}

const Track& TrackRows::track(std::int64_t row) const
{
    return tracks_[std::size_t(row)];
}

QString TrackRows::title(std::int64_t row) const
{
    return DisplayTexts::rowName(track(row), names_);
}

QString TrackRows::time(std::int64_t row) const
{
    return DisplayTexts::rowDurationText(track(row), streamInfo_, knownDurations_);
}

// A file with no state yet is taken for one that needs nothing.
bool TrackRows::isUncached(std::int64_t row) const
{
    const auto state = fileStates_.state(track(row).url);
    if (!state)
        return false;
    return state == FileState::waiting || state == FileState::copying || state == FileState::unreachable;
}

} // namespace lh
