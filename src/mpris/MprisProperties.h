#pragma once

#include "MediaTags.h"
#include "TrackList.h"

#include <QDBusObjectPath>
#include <QString>
#include <QVariantMap>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace lh {

// The player as the media controls see it: the values last delivered by the player state.
struct MprisSnapshot {
    TrackList tracks; // the player state's own list, shared
    std::optional<std::int64_t> currentIndex;
    bool isPlaying = false;
    bool isLoading = false;
    double currentTime = 0; // seconds
    double duration = 0; // seconds; 0 when nothing is loaded
    float volume = 0.8f;
    bool isShuffled = false;
    bool isRepeating = true;
    std::optional<MediaTags> tags; // of the file last started; used only while it is current's

    const Track* currentTrack() const;
    // The tags when they describe the current track's file.
    const MediaTags* currentTags() const;
};

// The values of the two media-player interfaces, computed from a snapshot and nothing else.
namespace MprisProperties {

// Names a track to clients. Derived from what makes a playlist row unique (file and start),
// so a row keeps its id while rows around it come and go.
QDBusObjectPath trackId(const Track& track);
// The id clients receive while no track is current.
QDBusObjectPath noTrackId();

std::int64_t microseconds(double seconds);

// org.mpris.MediaPlayer2.Player, every property except Position: clients poll that one.
QVariantMap player(const MprisSnapshot& snapshot);
// What the desktop shows of the current track: the window's title and artist lines, replaced
// by the file's tags where it has them. A cue track keeps its sheet's title and performer and
// takes the rest from its file, except the file's track and disc numbers.
QVariantMap metadata(const MprisSnapshot& snapshot);
QString playbackStatus(const MprisSnapshot& snapshot);
// org.mpris.MediaPlayer2: constant for the life of the player.
QVariantMap root();

} // namespace MprisProperties
} // namespace lh
