#include "DurationSum.h"

#include <optional>
#include <utility>

namespace lh {

// Touched on the main thread only: the worker gets its input whole and hands its sum back.
struct DurationSum::State {
    Executor& worker;
    std::shared_ptr<Executor> mainThread;
    Handler onSum;
    bool isRunning = false;
    std::optional<Input> next;
};

DurationSum::DurationSum(Executor& worker, std::shared_ptr<Executor> mainThread, Handler onSum)
    : state_(std::make_shared<State>(State { worker, std::move(mainThread), std::move(onSum), false, std::nullopt }))
{
}

void DurationSum::request(TrackList tracks, SharedStreamInfo streamInfo, SharedDurations known)
{
    Input input { std::move(tracks), std::move(streamInfo), std::move(known) };
    if (state_->isRunning) {
        state_->next = std::move(input);
        return;
    }
    state_->isRunning = true;
    run(state_, std::move(input));
}

void DurationSum::run(std::shared_ptr<State> state, Input input)
{
    Executor& worker = state->worker;
    worker.execute([weak = std::weak_ptr(state), input = std::move(input), mainThread = state->mainThread]() mutable {
        const PlaylistDuration total = PlaylistDuration::of(input.tracks, input.streamInfo, input.known);
        // The rows go with the worker: freeing a million of them is no work for the main thread.
        input = {};
        mainThread->execute([weak, total] {
            auto state = weak.lock();
            if (!state)
                return;
            state->onSum(total);
            if (!state->next) {
                state->isRunning = false;
                return;
            }
            run(state, *std::exchange(state->next, std::nullopt));
        });
    });
}

} // namespace lh
