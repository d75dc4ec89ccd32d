#pragma once

#include "AudioPlaying.h"
#include "FileStates.h"
#include "FileURL.h"
#include "MediaTags.h"
#include "ReplayGain.h"
#include "PlaylistDuration.h"
#include "Publisher.h"
#include "SharedValue.h"
#include "StreamInfo.h"
#include "TagNames.h"
#include "TrackList.h"
#include "TrackInfo.h"

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

namespace lh {

using StreamInfoMap = std::unordered_map<FileURL, StreamInfo>;
// The large properties travel as shared values: every binding that keeps one shares it.
using SharedStreamInfo = SharedValue<StreamInfoMap>;
using SharedFileStates = FileStates;
// Seconds per file, as the metadata cache knew them at launch.
using DurationMap = std::unordered_map<FileURL, float>;
using SharedDurations = SharedValue<DurationMap>;

// The player as the views see it: one publisher per property and no way to change anything.
// Each call returns a fresh publisher; subscribing delivers the current value at once, then
// every later assignment (equal values included), synchronously and before the property
// holds the new value. Main thread only.
class PlayerState {
public:
    virtual ~PlayerState() = default;

    virtual Publisher<TrackList> tracksPublisher() const = 0;
    virtual Publisher<std::optional<std::int64_t>> currentIndexPublisher() const = 0;
    virtual Publisher<bool> isPlayingPublisher() const = 0;
    virtual Publisher<bool> isLoadingPublisher() const = 0;
    virtual Publisher<bool> isReadingFolderPublisher() const = 0;
    virtual Publisher<bool> isWalkWaitingPublisher() const = 0;
    virtual Publisher<double> currentTimePublisher() const = 0;
    virtual Publisher<double> durationPublisher() const = 0;
    virtual Publisher<float> volumePublisher() const = 0;
    virtual Publisher<double> leftLevelPublisher() const = 0;
    virtual Publisher<double> rightLevelPublisher() const = 0;
    virtual Publisher<std::optional<TrackInfo>> infoPublisher() const = 0;
    virtual Publisher<SharedStreamInfo> streamInfoPublisher() const = 0;
    virtual Publisher<SharedFileStates> fileStatesPublisher() const = 0;
    virtual Publisher<bool> isShuffledPublisher() const = 0;
    virtual Publisher<bool> isRepeatingPublisher() const = 0;
    virtual Publisher<bool> isDimmedPublisher() const = 0;
    virtual Publisher<bool> stopsAfterCurrentPublisher() const = 0;
    virtual Publisher<ReplayGainMode> replayGainModePublisher() const = 0;
    virtual Publisher<std::optional<double>> sleepTimeRemainingPublisher() const = 0;
    virtual Publisher<bool> isSoundDeviceMissingPublisher() const = 0;
    virtual Publisher<std::optional<MediaTags>> playingTagsPublisher() const = 0;
    virtual Publisher<std::vector<OutputDevice>> outputDevicesPublisher() const = 0;
    virtual Publisher<std::string> outputDevicePublisher() const = 0;
    virtual Publisher<SharedDurations> knownDurationsPublisher() const = 0;
    virtual Publisher<bool> showsTagTitlesPublisher() const = 0;
    virtual Publisher<TagNames> tagNamesPublisher() const = 0;
    virtual Publisher<PlaylistDuration> totalDurationPublisher() const = 0;
};

} // namespace lh
