// Which track plays, and keeping the model in step with the engine.
#include "PlayerController.h"

#include "LevelMeter.h"
#include "Playlist.h"

#include <algorithm>
#include <cstdio>

namespace lh {
namespace {

// The user picked this file and it cannot be had: they hear why, whatever plays instead.
void sayUnreachable(const FileURL& url, RemoteFailure failure)
{
    const char* why = failure == RemoteFailure::missing ? "no such file"
        : failure == RemoteFailure::noSpace             ? "no space left for its copy"
                                                        : "the share is not answering";
    std::fprintf(stderr, "larkhaven: cannot play %s: %s\n", url.path().c_str(), why);
}

} // namespace

void PlayerController::play(std::int64_t row, std::int64_t step, bool wraps, bool isChosen)
{
    const auto& tracks = model_.tracks.value();
    if (row < 0 || row >= static_cast<std::int64_t>(tracks.size()))
        return;
    resetPlayback();
    playFirst(Playlist::candidates(model_.tracks.value(), row, step, wraps), isChosen, false);
}

void PlayerController::playOpened(std::int64_t row, const std::vector<Track>& others)
{
    const auto& tracks = model_.tracks.value();
    if (row < 0 || row >= static_cast<std::int64_t>(tracks.size()))
        return;
    resetPlayback();
    Candidates candidates { tracks[std::size_t(row)] };
    candidates.insert(candidates.end(), others.begin(), others.end());
    playFirst(std::move(candidates), true, false);
}

// Plays the first candidate that can be played now, or waits for the copy of a network file.
// Only the first candidate looked at can count as chosen by the user (and only when the user
// picked it, not when a track ended): a chosen file is always waited for, while moving on automatically passes over files known to be unreachable and,
// once their share is known to be away, every network file without a copy.
void PlayerController::playFirst(Candidates candidates, bool isChosen, bool isShareAway)
{
    // With a share away, a thousand rows may be passed over before one plays: each is looked
    // at through the playlist index and the rows' file states, never a pass over the rows or a
    // look at the disk (that walk once held the window for 0.7 s).
    bool isChosenOne = isChosen;
    for (std::size_t i = 0; i < candidates.size(); ++i, isChosenOne = false) {
        const Track& track = candidates[i];
        if (!index_.mayHold(track))
            continue; // removed meanwhile
        if (track.isRemote) {
            const bool isPassedOver = !isChosenOne && (isShareAway || knownUnreachable_.contains(track.url));
            if (isPassedOver && model_.fileStates.value().state(track.url) != FileState::cached)
                continue;
            if (!cachedCopy(track)) {
                if (isPassedOver || !rowOf(track))
                    continue;
                waitFor(track, Candidates(candidates.begin() + static_cast<std::ptrdiff_t>(i) + 1, candidates.end()), isChosenOne);
                return;
            }
        }
        const auto file = playableFile(track);
        if (!file)
            continue; // the copy went between the two looks
        if (startPlayback(track, *file)) {
            if (track.isRemote)
                cache_.markPlayed(*file);
            return;
        }
    }
    model_.currentIndex.set(std::nullopt);
}

void PlayerController::waitFor(const Track& track, Candidates rest, bool isChosen)
{
    model_.currentIndex.set(rowOf(track));
    model_.isLoading.set(true);
    // A newer wait replaces this handle; only a reset cancels.
    std::stop_source wait;
    pendingPlayback_ = wait;
    downloader_->fetch(track.url,
        [mainThread = mainThread_, weak = Weak(self_), token = wait.get_token(), track, rest = std::move(rest), isChosen](
            Downloader::CopyResult result) mutable {
            // On the downloader's executor: back to the main thread before anything else.
            mainThread->execute([weak, token, track = std::move(track), rest = std::move(rest), result = std::move(result), isChosen]() mutable {
                auto alive = weak.lock();
                if (!alive || token.stop_requested())
                    return;
                PlayerController& controller = **alive;
                controller.model_.isLoading.set(false);
                if (result.hasValue() && controller.startPlayback(track, result.value()))
                    return;
                const bool isShareAway = !result.hasValue() && result.failure() == RemoteFailure::away;
                if (isChosen && !result.hasValue())
                    sayUnreachable(track.url, result.failure());
                controller.playFirst(std::move(rest), false, isShareAway);
            });
        });
}

bool PlayerController::startPlayback(const Track& track, const FileURL& file)
{
    const auto row = rowOf(track);
    model_.isSoundDeviceMissing.set(false); // the engine says so again if it still is
    if (row && environment_.streamTitle)
        playback_.setStreamTitle(environment_.streamTitle(track).toStdString());
    if (filler_)
        filler_->holdFor(fillerPauseAtStart); // the engine opens the file and fills its queue
    if (!row || !playback_.start(track, file, gainOf(track)))
        return false;
    model_.currentIndex.set(row);
    model_.duration.set(playback_.length().value_or(0));
    model_.isPlaying.set(true);
    startTimer();
    downloadAhead();
    readPlayingTags(track, file);
    readMissingStreamInfo(); // the display shows the format of what plays, wherever its row is
    return true;
}

void PlayerController::resetPlayback()
{
    if (pendingPlayback_) {
        pendingPlayback_->request_stop();
        pendingPlayback_.reset();
    }
    model_.isLoading.set(false);
    stopTimer();
    stopAwaitingDevice();
    playback_.stop();
    hasLookedAhead_ = false;
    shufflePick_.reset();
    model_.isPlaying.set(false);
    model_.currentTime.set(0);
    model_.duration.set(0);
    model_.leftLevel.set(0);
    model_.rightLevel.set(0);
}

void PlayerController::togglePlayPause()
{
    if (model_.isPlaying.value()) {
        stopAwaitingDevice();
        pause();
    } else if (model_.duration.value() > 0) {
        model_.isSoundDeviceMissing.set(false); // the engine says so again if it still is
        playback_.resume();
        model_.isPlaying.set(true);
        startTimer();
    } else if (const auto current = model_.currentIndex.value()) {
        play(*current, 1, true);
    } else if (!model_.tracks.value().empty()) {
        play(0, 1, true);
    }
}

// A join heard since the last tick stands through the pause: the model moves on to its row
// as the tick would have, instead of showing the row before it, paused past its end.
void PlayerController::pause()
{
    playback_.pause();
    if (playback_.advance() && !followOn()) {
        // The joined row was removed meanwhile: the transport moves on as at any end, and what
        // it starts is paused in turn.
        trackEnded();
        playback_.pause();
    }
    showPaused();
}

void PlayerController::showPaused()
{
    hasLookedAhead_ = false; // the pause took the upcoming track back
    model_.isPlaying.set(false);
    model_.leftLevel.set(0);
    model_.rightLevel.set(0);
    stopTimer();
}

// A Play that finds no device while the lost one is awaited keeps the wait: the user still
// wants to hear the track. A sound server without any output is awaited as a lost one is: a
// card plugged in, or a server that has just started finding its devices, plays on by itself.
void PlayerController::deviceTrouble(DeviceTrouble trouble)
{
    model_.isSoundDeviceMissing.set(trouble != DeviceTrouble::lost);
    if (!model_.isPlaying.value())
        return;
    if (trouble != DeviceTrouble::missing)
        awaitDevice();
    pause(); // the engine paused already; this takes the upcoming track back
    model_.currentTime.set(playback_.position());
}

void PlayerController::awaitDevice()
{
    if (!deviceRetry_)
        deviceRetry_ = makeCommandTimer(deviceRetryInterval, [](PlayerController& controller) { controller.retryDevice(); });
}

void PlayerController::stopAwaitingDevice()
{
    if (deviceRetry_) {
        deviceRetry_->invalidate();
        deviceRetry_.reset();
    }
}

void PlayerController::retryDevice()
{
    // The user's own Play may have found the device already.
    if (!deviceRetry_ || (!model_.isPlaying.value() && !playback_.retryDevice()))
        return;
    stopAwaitingDevice();
    model_.isSoundDeviceMissing.set(false);
    model_.isPlaying.set(true);
    if (!timer_)
        startTimer();
}

void PlayerController::next()
{
    if (const auto row = nextRow())
        play(*row, 1, true);
}

std::optional<std::int64_t> PlayerController::nextRow()
{
    const auto count = static_cast<std::int64_t>(model_.tracks.value().size());
    if (count == 0)
        return std::nullopt;
    if (model_.isShuffled.value()) {
        // A pick made ahead for a gapless join is the one that plays.
        const auto pick = takeShufflePick();
        return pick ? *pick : randomIndex();
    }
    return (model_.currentIndex.value().value_or(-1) + 1) % count;
}

void PlayerController::previous()
{
    const auto count = static_cast<std::int64_t>(model_.tracks.value().size());
    if (count == 0)
        return;
    std::int64_t row = model_.currentIndex.value().value_or(0) - 1;
    if (row < 0)
        row = count - 1;
    play(row, -1, true);
}

std::int64_t PlayerController::randomIndex()
{
    const auto count = static_cast<std::int64_t>(model_.tracks.value().size());
    const auto current = model_.currentIndex.value();
    if (!current || count < 2)
        return environment_.random(0, count);
    return (*current + environment_.random(1, count)) % count;
}

// Moving on by itself is nobody's pick: a row already known to be unreachable is passed over
// instead of costing a stall limit of silence.
void PlayerController::trackEnded()
{
    if (playback_.advance())
        followOn(); // the end notice of a track joined before the tick noticed the join
    if (model_.stopsAfterCurrent.value()) {
        model_.stopsAfterCurrent.set(false);
        resetPlayback();
        return;
    }
    const auto current = model_.currentIndex.value();
    if (model_.isRepeating.value() || model_.isShuffled.value() || !current) {
        if (const auto row = nextRow())
            play(*row, 1, true, false);
        return;
    }
    const auto count = static_cast<std::int64_t>(model_.tracks.value().size());
    if (*current >= count - 1)
        resetPlayback();
    else
        play(*current + 1, 1, false, false);
}

void PlayerController::seek(double time)
{
    if (model_.duration.value() <= 0)
        return;
    playback_.seek(time);
    model_.currentTime.set(time);
    lookAheadAgain();
    rearmHiddenTick();
}

void PlayerController::startTimer()
{
    timer_ = makeCommandTimer(tickInterval(), [](PlayerController& controller) { controller.perform(PlaybackTickCommand()); });
}

// Hidden, the process sleeps from one decision to the next instead of waking twenty times a
// second for a display nobody sees.
double PlayerController::tickInterval() const
{
    if (isWindowShown_)
        return playbackTickInterval;
    const double remaining = playback_.length().value_or(0) - playback_.position();
    const bool isBeforeLookAhead = !hasLookedAhead_ && remaining > lookAheadTime;
    return std::max(playbackTickInterval, isBeforeLookAhead ? remaining - lookAheadTime : remaining);
}

void PlayerController::rearmHiddenTick()
{
    if (timer_ && !isWindowShown_) {
        stopTimer();
        startTimer();
    }
}

void PlayerController::setIsWindowShown(bool isShown)
{
    if (isShown == isWindowShown_)
        return;
    isWindowShown_ = isShown;
    if (!timer_)
        return;
    stopTimer();
    startTimer();
    if (isShown)
        playbackTick(); // the time and the meter as they are now, not as they were at the hide
}

// Each firing only schedules the command on the main thread, so it never runs inside the
// timer's own callback, and not at all once the controller is gone.
std::unique_ptr<RepeatingTimer> PlayerController::makeCommandTimer(double interval, void (*fire)(PlayerController&))
{
    return environment_.makeTimer(interval, [mainThread = mainThread_, weak = Weak(self_), fire] {
        mainThread->execute([weak, fire] {
            if (auto alive = weak.lock())
                fire(**alive);
        });
    });
}

void PlayerController::stopTimer()
{
    if (timer_) {
        timer_->invalidate();
        timer_.reset();
    }
}

// Twenty times a second while playing: no allocation, no file access, except once per track
// near its end to work out the upcoming one.
void PlayerController::playbackTick()
{
    // Asked before the join: once past the end, a join to the upcoming track has been heard too.
    const bool isPastEnd = playback_.isPastEnd();
    const bool hasJoined = playback_.advance();
    if ((isPastEnd && !hasJoined) || (hasJoined && !followOn())) {
        // A cue track's end with nothing joined (the file itself goes on), or a joined row
        // removed meanwhile.
        trackEnded();
        return;
    }
    model_.currentTime.set(playback_.position());
    const PowerLevels levels = playback_.levels();
    model_.leftLevel.set(LevelMeter::next(model_.leftLevel.value(), levels.left));
    model_.rightLevel.set(LevelMeter::next(model_.rightLevel.value(), levels.right));
    lookAhead();
    rearmHiddenTick();
}

std::optional<std::int64_t> PlayerController::rowOf(const Track& track) const
{
    const auto& tracks = model_.tracks.value();
    const auto found = std::ranges::find(tracks, track);
    if (found == tracks.end())
        return std::nullopt;
    return found - tracks.begin();
}

} // namespace lh
