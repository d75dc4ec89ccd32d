#pragma once

#include "Observable.h"
#include "PlayerState.h"

namespace lh {

// Everything the window shows about the player, and nothing else: no rules, no clamping, no
// de-duplication. The controller is its only writer and keeps the invariants (a valid current
// index, volume and levels within 0…1, a file state for every network file of the playlist;
// a file without one is local); the views read it through PlayerState. Main thread only: every
// access checks.
class PlayerModel final : public PlayerState {
public:
    Observable<TrackList> tracks;
    Observable<std::optional<std::int64_t>> currentIndex;
    Observable<bool> isPlaying { false };
    Observable<bool> isLoading { false };
    Observable<bool> isReadingFolder { false }; // a folder walk is under way
    Observable<bool> isWalkWaiting { false }; // and waits for a share that stopped answering
    Observable<double> currentTime { 0 }; // seconds into the current track
    Observable<double> duration { 0 }; // seconds; 0 when nothing is loaded
    Observable<float> volume { 0.8f };
    Observable<double> leftLevel { 0 };
    Observable<double> rightLevel { 0 };
    Observable<std::optional<TrackInfo>> info; // none: the info panel is closed
    Observable<SharedStreamInfo> streamInfo;
    Observable<SharedFileStates> fileStates;
    Observable<bool> isShuffled { false };
    Observable<bool> isRepeating { true }; // the stored setting replaces it at start-up
    Observable<bool> isDimmed { false };
    Observable<bool> stopsAfterCurrent { false }; // for this track only: cleared when it fires
    Observable<ReplayGainMode> replayGainMode { ReplayGainMode::off }; // the stored one replaces it
    Observable<std::optional<double>> sleepTimeRemaining;
    Observable<bool> isSoundDeviceMissing { false }; // the latest play found no device
    // The tags of the file last started, for the desktop's media controls; the window does not
    // show them. Describes `url`, which may differ from the current row's file by now.
    Observable<std::optional<MediaTags>> playingTags;
    // The sound server's devices, and the one chosen (empty: the server's default).
    Observable<std::vector<OutputDevice>> outputDevices;
    Observable<std::string> outputDevice;
    // The files' durations the metadata cache knew at launch, looked up without touching them;
    // what this run reads (streamInfo) wins. Set whole, never edited: a million rows' worth.
    Observable<SharedDurations> knownDurations;
    // View > Show Tag Titles: rows, display and title named by the files' tags where known. The
    // stored setting replaces it at start-up.
    Observable<bool> showsTagTitles { false };
    // The files' names by their tags; empty while showsTagTitles is off.
    Observable<TagNames> tagNames;
    // All rows' durations added up, as far as they are known; summed off the main thread, so
    // it follows the rows a moment later.
    Observable<PlaylistDuration> totalDuration;

    Publisher<TrackList> tracksPublisher() const override { return tracks.publisher(); }
    Publisher<std::optional<std::int64_t>> currentIndexPublisher() const override { return currentIndex.publisher(); }
    Publisher<bool> isPlayingPublisher() const override { return isPlaying.publisher(); }
    Publisher<bool> isLoadingPublisher() const override { return isLoading.publisher(); }
    Publisher<bool> isReadingFolderPublisher() const override { return isReadingFolder.publisher(); }
    Publisher<bool> isWalkWaitingPublisher() const override { return isWalkWaiting.publisher(); }
    Publisher<double> currentTimePublisher() const override { return currentTime.publisher(); }
    Publisher<double> durationPublisher() const override { return duration.publisher(); }
    Publisher<float> volumePublisher() const override { return volume.publisher(); }
    Publisher<double> leftLevelPublisher() const override { return leftLevel.publisher(); }
    Publisher<double> rightLevelPublisher() const override { return rightLevel.publisher(); }
    Publisher<std::optional<TrackInfo>> infoPublisher() const override { return info.publisher(); }
    Publisher<SharedStreamInfo> streamInfoPublisher() const override { return streamInfo.publisher(); }
    Publisher<SharedFileStates> fileStatesPublisher() const override { return fileStates.publisher(); }
    Publisher<bool> isShuffledPublisher() const override { return isShuffled.publisher(); }
    Publisher<bool> isRepeatingPublisher() const override { return isRepeating.publisher(); }
    Publisher<bool> isDimmedPublisher() const override { return isDimmed.publisher(); }
    Publisher<bool> stopsAfterCurrentPublisher() const override { return stopsAfterCurrent.publisher(); }
    Publisher<ReplayGainMode> replayGainModePublisher() const override { return replayGainMode.publisher(); }
    Publisher<std::optional<double>> sleepTimeRemainingPublisher() const override { return sleepTimeRemaining.publisher(); }
    Publisher<bool> isSoundDeviceMissingPublisher() const override { return isSoundDeviceMissing.publisher(); }
    Publisher<std::optional<MediaTags>> playingTagsPublisher() const override { return playingTags.publisher(); }
    Publisher<std::vector<OutputDevice>> outputDevicesPublisher() const override { return outputDevices.publisher(); }
    Publisher<std::string> outputDevicePublisher() const override { return outputDevice.publisher(); }
    Publisher<SharedDurations> knownDurationsPublisher() const override { return knownDurations.publisher(); }
    Publisher<bool> showsTagTitlesPublisher() const override { return showsTagTitles.publisher(); }
    Publisher<TagNames> tagNamesPublisher() const override { return tagNames.publisher(); }
    Publisher<PlaylistDuration> totalDurationPublisher() const override { return totalDuration.publisher(); }
};

} // namespace lh
