#pragma once

#include "Command.h"

#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <typeinfo>
#include <vector>

namespace lh {

// Writes each command down as a short text, so a test compares what was sent with one line.
class RecordingDispatcher final : public CommandDispatching {
public:
    std::vector<std::string> sent;
    // The last export's completion, for the test to answer as the player would.
    std::function<void(const std::optional<QString>&)> exportDone;

    void perform(const Command& command) override
    {
        if (auto* c = dynamic_cast<const ExportPlaylistCommand*>(&command))
            exportDone = c->then;
        if (!dynamic_cast<const ShowRowsCommand*>(&command)) // the list reports what it paints
            sent.push_back(describe(command));
    }

    static std::string describe(const Command& command)
    {
        std::ostringstream out;
        if (auto* c = dynamic_cast<const PlayTrackCommand*>(&command))
            out << "play " << c->index;
        else if (auto* c = dynamic_cast<const SeekCommand*>(&command))
            out << "seek " << c->time;
        else if (auto* c = dynamic_cast<const SetVolumeCommand*>(&command))
            out << "volume " << c->volume;
        else if (auto* c = dynamic_cast<const ChangeVolumeCommand*>(&command))
            out << "change volume " << c->delta;
        else if (auto* c = dynamic_cast<const ShowInfoCommand*>(&command))
            out << "info " << c->index;
        else if (auto* c = dynamic_cast<const SetSleepTimerCommand*>(&command))
            out << "sleep " << (c->minutes ? std::to_string(*c->minutes) : "off");
        else if (auto* c = dynamic_cast<const SetReplayGainModeCommand*>(&command))
            out << "replay gain " << static_cast<int>(c->mode);
        else if (auto* c = dynamic_cast<const ExportPlaylistCommand*>(&command))
            out << "export " << c->list.path() << " " << static_cast<int>(c->format);
        else if (auto* c = dynamic_cast<const RemoveTracksCommand*>(&command))
            out << "remove " << c->indices.size();
        else if (auto* c = dynamic_cast<const AddTracksCommand*>(&command))
            out << "add " << (c->urls.empty() ? "" : c->urls.front().path());
        else
            out << typeid(command).name();
        return out.str();
    }

    template <class T>
    static std::string name()
    {
        return typeid(T).name();
    }
};

} // namespace lh
