#include "Command.h"

#include "PlayerController.h"

namespace lh {

void AddTracksCommand::execute(PlayerController& controller) const { controller.addTracks(urls); }
void OpenTracksCommand::execute(PlayerController& controller) const { controller.openTracks(urls); }
void ExportPlaylistCommand::execute(PlayerController& controller) const { controller.exportPlaylist(list, format, then); }
void RemoveTracksCommand::execute(PlayerController& controller) const { controller.removeTracks(indices); }
void PlayTrackCommand::execute(PlayerController& controller) const { controller.play(index, 1, true); }
void TogglePlayPauseCommand::execute(PlayerController& controller) const { controller.togglePlayPause(); }
void StopCommand::execute(PlayerController& controller) const { controller.resetPlayback(); }
void NextCommand::execute(PlayerController& controller) const { controller.next(); }
void TrackEndedCommand::execute(PlayerController& controller) const { controller.trackEnded(); }
void PreviousCommand::execute(PlayerController& controller) const { controller.previous(); }
void SeekCommand::execute(PlayerController& controller) const { controller.seek(time); }
void ChangeVolumeCommand::execute(PlayerController& controller) const { controller.changeVolume(delta); }
void ShowInfoCommand::execute(PlayerController& controller) const { controller.showInfo(index); }
void CloseInfoCommand::execute(PlayerController& controller) const { controller.closeInfo(); }
void SetVolumeCommand::execute(PlayerController& controller) const { controller.setVolume(volume); }
void ToggleShuffleCommand::execute(PlayerController& controller) const { controller.toggleShuffle(); }
void ToggleRepeatCommand::execute(PlayerController& controller) const { controller.toggleRepeat(); }
void ToggleStopAfterCurrentCommand::execute(PlayerController& controller) const { controller.toggleStopAfterCurrent(); }
void ToggleDimCommand::execute(PlayerController& controller) const { controller.toggleDim(); }
void SetReplayGainModeCommand::execute(PlayerController& controller) const { controller.setReplayGainMode(mode); }
void SetOutputDeviceCommand::execute(PlayerController& controller) const { controller.setOutputDevice(name); }
void SetShowsTagTitlesCommand::execute(PlayerController& controller) const { controller.setShowsTagTitles(shows); }
void SetSleepTimerCommand::execute(PlayerController& controller) const { controller.setSleepTimer(minutes); }
void SleepTimerTickCommand::execute(PlayerController& controller) const { controller.sleepTimerTick(); }
void PlaybackTickCommand::execute(PlayerController& controller) const { controller.playbackTick(); }
void ShowRowsCommand::execute(PlayerController& controller) const { controller.showRows(first, count); }
void SetWindowShownCommand::execute(PlayerController& controller) const { controller.setIsWindowShown(isShown); }

} // namespace lh
