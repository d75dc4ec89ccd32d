// Going from one track straight on into the next, without a gap.
//
// Near the end of a track the controller works out which track the transport would play next
// and hands it to the playback, which has the engine join the two as the frames leave for
// the device: within one file (a cue sheet's next window) just by moving the window's end
// on, between files by decoding the next one behind the last frame. The tick then finds the
// engine in the new track and moves the model on as if that row had been started. Whatever
// changes the answer before the join looks again; when nothing was joined, the track ends
// and the transport starts the next one as it always has.
#include "PlayerController.h"

namespace lh {

// The row the transport would play when the current track ends: the next one, wrapping only
// with repeat, or under shuffle a random one, picked once and kept until it has played.
std::optional<std::int64_t> PlayerController::upcomingRow()
{
    const auto current = model_.currentIndex.value();
    const auto count = static_cast<std::int64_t>(model_.tracks.value().size());
    if (!current || count == 0 || model_.stopsAfterCurrent.value())
        return std::nullopt;
    if (model_.isShuffled.value()) {
        if (!shufflePick_ || !rowOf(*shufflePick_))
            shufflePick_ = model_.tracks.value()[static_cast<std::size_t>(randomIndex())];
        return rowOf(*shufflePick_);
    }
    if (*current + 1 < count)
        return *current + 1;
    if (model_.isRepeating.value())
        return 0;
    return std::nullopt;
}

// The shuffle pick made ahead, used up by the move it was made for.
std::optional<std::int64_t> PlayerController::takeShufflePick()
{
    const auto pick = std::exchange(shufflePick_, std::nullopt);
    return pick ? rowOf(*pick) : std::nullopt;
}

void PlayerController::lookAhead()
{
    if (hasLookedAhead_ || !model_.isPlaying.value())
        return;
    const double remaining = playback_.length().value_or(0) - playback_.position();
    if (remaining > lookAheadTime)
        return;
    hasLookedAhead_ = true;
    armUpcoming();
}

// A network file without a local copy is never joined: it is waited for as usual.
void PlayerController::armUpcoming()
{
    std::optional<Playback::Upcoming> upcoming;
    if (const auto row = upcomingRow()) {
        const Track& track = model_.tracks.value()[static_cast<std::size_t>(*row)];
        if (const auto file = playableFile(track))
            upcoming = Playback::Upcoming { track, *file, gainOf(track) };
    }
    playback_.setUpcoming(std::move(upcoming)); // false: too late, the joined one stands
}

// After an edit or a toggle: the track armed may no longer be the one to play next.
void PlayerController::reconsiderUpcoming()
{
    if (hasLookedAhead_)
        armUpcoming();
}

// After a seek or a pause, which take the armed track back.
void PlayerController::lookAheadAgain()
{
    hasLookedAhead_ = false;
    lookAhead();
}

// The engine has gone on into the upcoming track: the model follows as if its row had been
// started. False when that row has been removed meanwhile; the caller ends the track then.
bool PlayerController::followOn()
{
    const Track track = *playback_.track();
    const auto row = rowOf(track);
    if (!row)
        return false;
    shufflePick_.reset();
    hasLookedAhead_ = false;
    model_.currentIndex.set(row);
    // Normally the gain it was joined with; a mode changed between the join and now counts.
    playback_.setGain(gainOf(track));
    model_.duration.set(playback_.length().value_or(0));
    model_.currentTime.set(playback_.position());
    if (environment_.streamTitle) // shown from the next time the stream opens
        playback_.setStreamTitle(environment_.streamTitle(track).toStdString());
    if (track.isRemote && playback_.file())
        cache_.markPlayed(*playback_.file());
    downloadAhead();
    if (playback_.file())
        readPlayingTags(track, *playback_.file());
    readMissingStreamInfo();
    return true;
}

} // namespace lh
