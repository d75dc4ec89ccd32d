#pragma once

#include "PlayerState.h"
#include "PlaylistRows.h"

namespace lh {

// The playlist's rows as the list shows them, worked out from the model's values for each
// row only when the list asks: holding the shared values costs nothing per row.
class TrackRows final : public PlaylistRows {
public:
    TrackRows(TrackList tracks, SharedStreamInfo streamInfo, SharedFileStates fileStates,
        SharedDurations knownDurations = {}, TagNames names = {});

    std::int64_t count() const override;
    QString title(std::int64_t row) const override;
    QString time(std::int64_t row) const override;
    bool isUncached(std::int64_t row) const override;

private:
    const Track& track(std::int64_t row) const;

    TrackList tracks_;
    SharedStreamInfo streamInfo_;
    SharedFileStates fileStates_;
    SharedDurations knownDurations_;
    TagNames names_;
};

} // namespace lh
