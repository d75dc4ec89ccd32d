#include "Playback.h"

#include <algorithm>
#include <utility>

namespace lh {

Playback::Playback(AudioPlaying& engine)
    : engine_(engine)
{
}

bool Playback::start(const Track& track, const FileURL& file)
{
    try {
        engine_.load(file);
    } catch (const AudioLoadError&) {
        return false; // the caller moves on to the next candidate; nothing to show
    }
    engine_.setPlayingWindowEnd(track.end);
    engine_.setCurrentTime(track.start);
    engine_.play();
    track_ = track;
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
}

bool Playback::isPastEnd() const
{
    return track_ && track_->end && engine_.currentTime() >= *track_->end;
}

void Playback::pause()
{
    engine_.pause();
}

void Playback::resume()
{
    engine_.play();
}

void Playback::stop()
{
    engine_.stop();
    track_.reset();
}

void Playback::setVolume(float volume)
{
    engine_.setVolume(volume);
}

PowerLevels Playback::levels()
{
    return engine_.readPowerLevels();
}

void Playback::setOnFinished(std::function<void()> onFinished)
{
    engine_.setOnFinishedPlaying(std::move(onFinished));
}

} // namespace lh
