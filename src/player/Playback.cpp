#include "Playback.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace lh {

Playback::Playback(AudioPlaying& engine)
    : engine_(engine)
{
}

bool Playback::start(const Track& track, const FileURL& file, float gain)
{
    try {
        engine_.load(file);
    } catch (const AudioLoadError& error) {
        // The caller moves on to the next candidate; the window shows nothing, so say why here.
        std::fprintf(stderr, "larkhaven: cannot play %s: %s\n", file.path().c_str(), error.what());
        return false;
    }
    engine_.setGain(gain); // before play, so not one frame is heard uncorrected
    engine_.setPlayingWindowEnd(track.end);
    // A file loads at its start, with its first frames already decoded: a seek there would
    // throw them away and decode them again.
    if (track.start > 0)
        engine_.setCurrentTime(track.start);
    engine_.play();
    track_ = track;
    file_ = file;
    upcoming_.reset(); // the load took it back
    return true;
}

void Playback::retarget(Track track)
{
    engine_.setPlayingWindowEnd(track.end);
    track_ = std::move(track);
    forgetUpcoming();
}

bool Playback::setUpcoming(std::optional<Upcoming> upcoming)
{
    if (upcoming == upcoming_)
        return true;
    std::optional<Continuation> next;
    if (upcoming)
        next = Continuation { upcoming->file, upcoming->track.start, upcoming->track.end, upcoming->gain };
    if (!engine_.setContinuation(std::move(next)))
        return false;
    upcoming_ = std::move(upcoming);
    return true;
}

bool Playback::advance()
{
    if (!upcoming_ || !engine_.takeContinuation())
        return false;
    track_ = std::move(upcoming_->track);
    file_ = std::move(upcoming_->file);
    upcoming_.reset();
    return true;
}

std::optional<double> Playback::length() const
{
    if (!track_)
        return std::nullopt;
    const double end = track_->end.value_or(engine_.duration());
    return std::max(end - track_->start, 0.0);
}

double Playback::position() const
{
    return std::max(engine_.currentTime() - trackStart(), 0.0);
}

void Playback::seek(double seconds)
{
    engine_.setCurrentTime(trackStart() + seconds);
    forgetUpcoming();
}

bool Playback::isPastEnd() const
{
    return track_ && track_->end && engine_.currentTime() >= *track_->end;
}

void Playback::pause()
{
    engine_.pause();
    forgetUpcoming();
}

// The engine is told as well, so the two never disagree about what follows: a continuation
// this forgot but the engine kept would be joined with nothing to report it. A join the engine
// has already made stands, and advance() takes it.
void Playback::forgetUpcoming()
{
    if (engine_.setContinuation(std::nullopt))
        upcoming_.reset();
}

void Playback::resume()
{
    engine_.play();
}

void Playback::stop()
{
    engine_.stop();
    track_.reset();
    file_.reset();
    upcoming_.reset();
}

void Playback::setVolume(float volume)
{
    engine_.setVolume(volume);
}

PowerLevels Playback::levels()
{
    return engine_.readPowerLevels();
}

void Playback::setOnDeviceTrouble(std::function<void(DeviceTrouble)> onTrouble)
{
    engine_.setOnDeviceTrouble(std::move(onTrouble));
}

void Playback::setOnFinished(std::function<void()> onFinished)
{
    engine_.setOnFinishedPlaying(std::move(onFinished));
}

} // namespace lh
