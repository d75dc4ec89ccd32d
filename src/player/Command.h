#pragma once

#include "FileURL.h"
#include "PlaylistFile.h"
#include "ReplayGain.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <vector>

namespace lh {

class PlayerController;

// One request to the player: a plain value naming one controller operation and carrying its
// arguments. Executing it calls exactly that operation.
class Command {
public:
    virtual ~Command() = default;
    virtual void execute(PlayerController& controller) const = 0;
};

// The one entry for every request: the views, the timers, the engine's end notice and files
// opened from the desktop all come through here. Main thread only.
class CommandDispatching {
public:
    virtual ~CommandDispatching() = default;
    virtual void perform(const Command& command) = 0;
};

struct AddTracksCommand final : Command {
    explicit AddTracksCommand(std::vector<FileURL> urls)
        : urls(std::move(urls))
    {
    }
    void execute(PlayerController& controller) const override;
    std::vector<FileURL> urls;
};

struct OpenTracksCommand final : Command {
    explicit OpenTracksCommand(std::vector<FileURL> urls)
        : urls(std::move(urls))
    {
    }
    void execute(PlayerController& controller) const override;
    std::vector<FileURL> urls;
};

// Writes the playlist as a list file; `then` hears, on the main thread, why it failed, or
// nothing when it was written.
struct ExportPlaylistCommand final : Command {
    ExportPlaylistCommand(FileURL list, PlaylistFile::Format format, std::function<void(const std::optional<QString>&)> then)
        : list(std::move(list))
        , format(format)
        , then(std::move(then))
    {
    }
    void execute(PlayerController& controller) const override;
    FileURL list;
    PlaylistFile::Format format;
    std::function<void(const std::optional<QString>&)> then;
};

struct RemoveTracksCommand final : Command {
    explicit RemoveTracksCommand(std::set<std::int64_t> indices)
        : indices(std::move(indices))
    {
    }
    void execute(PlayerController& controller) const override;
    std::set<std::int64_t> indices;
};

struct PlayTrackCommand final : Command {
    explicit PlayTrackCommand(std::int64_t index)
        : index(index)
    {
    }
    void execute(PlayerController& controller) const override;
    std::int64_t index;
};

struct TogglePlayPauseCommand final : Command {
    void execute(PlayerController& controller) const override;
};

struct StopCommand final : Command {
    void execute(PlayerController& controller) const override;
};

struct NextCommand final : Command {
    void execute(PlayerController& controller) const override;
};

struct TrackEndedCommand final : Command {
    void execute(PlayerController& controller) const override;
};

struct PreviousCommand final : Command {
    void execute(PlayerController& controller) const override;
};

struct SeekCommand final : Command {
    explicit SeekCommand(double time)
        : time(time)
    {
    }
    void execute(PlayerController& controller) const override;
    double time; // seconds into the current track
};

struct ChangeVolumeCommand final : Command {
    explicit ChangeVolumeCommand(float delta)
        : delta(delta)
    {
    }
    void execute(PlayerController& controller) const override;
    float delta;
};

struct ShowInfoCommand final : Command {
    explicit ShowInfoCommand(std::int64_t index)
        : index(index)
    {
    }
    void execute(PlayerController& controller) const override;
    std::int64_t index;
};

struct CloseInfoCommand final : Command {
    void execute(PlayerController& controller) const override;
};

struct SetVolumeCommand final : Command {
    explicit SetVolumeCommand(float volume)
        : volume(volume)
    {
    }
    void execute(PlayerController& controller) const override;
    float volume;
};

struct ToggleShuffleCommand final : Command {
    void execute(PlayerController& controller) const override;
};

struct ToggleRepeatCommand final : Command {
    void execute(PlayerController& controller) const override;
};

struct ToggleStopAfterCurrentCommand final : Command {
    void execute(PlayerController& controller) const override;
};

struct ToggleDimCommand final : Command {
    void execute(PlayerController& controller) const override;
};

struct SetReplayGainModeCommand final : Command {
    explicit SetReplayGainModeCommand(ReplayGainMode mode)
        : mode(mode)
    {
    }
    void execute(PlayerController& controller) const override;
    ReplayGainMode mode;
};

// Plays to the sound server's device of that name; empty: to its default.
struct SetOutputDeviceCommand final : Command {
    explicit SetOutputDeviceCommand(std::string name)
        : name(std::move(name))
    {
    }
    void execute(PlayerController& controller) const override;
    std::string name;
};

struct SetShowsTagTitlesCommand final : Command {
    explicit SetShowsTagTitlesCommand(bool shows)
        : shows(shows)
    {
    }
    void execute(PlayerController& controller) const override;
    bool shows;
};

struct SetSleepTimerCommand final : Command {
    explicit SetSleepTimerCommand(std::optional<int> minutes)
        : minutes(minutes)
    {
    }
    void execute(PlayerController& controller) const override;
    std::optional<int> minutes; // none cancels
};

struct SleepTimerTickCommand final : Command {
    void execute(PlayerController& controller) const override;
};

struct PlaybackTickCommand final : Command {
    void execute(PlayerController& controller) const override;
};

// The list shows `count` rows from `first` on.
struct ShowRowsCommand final : Command {
    ShowRowsCommand(std::int64_t first, std::int64_t count)
        : first(first)
        , count(count)
    {
    }
    void execute(PlayerController& controller) const override;
    std::int64_t first;
    std::int64_t count;
};

// The window was shown, or hidden or minimised.
struct SetWindowShownCommand final : Command {
    explicit SetWindowShownCommand(bool isShown)
        : isShown(isShown)
    {
    }
    void execute(PlayerController& controller) const override;
    bool isShown;
};

} // namespace lh
