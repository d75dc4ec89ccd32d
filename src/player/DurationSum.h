#pragma once

#include "Executor.h"
#include "PlayerState.h"
#include "PlaylistDuration.h"

#include <functional>
#include <memory>

namespace lh {

// Adds the playlist's durations up on a worker whenever they may have changed: one sum at a
// time, and of the changes made while it ran only the latest is summed next, so a burst of
// reads costs one or two walks over the rows, never one each. Main thread only; `onSum` runs
// there, never after this object is gone. Both executors must outlive the jobs handed to them.
class DurationSum {
public:
    using Handler = std::function<void(const PlaylistDuration& total)>;

    DurationSum(Executor& worker, std::shared_ptr<Executor> mainThread, Handler onSum);

    void request(TrackList tracks, SharedStreamInfo streamInfo, SharedDurations known);

private:
    struct Input {
        TrackList tracks;
        SharedStreamInfo streamInfo;
        SharedDurations known;
    };
    struct State;
    static void run(std::shared_ptr<State> state, Input input);

    std::shared_ptr<State> state_;
};

} // namespace lh
