#pragma once

#include "AudioPlaying.h"
#include "Track.h"

#include <functional>
#include <optional>

namespace lh {

// Plays one track through an engine and speaks in track time: file time minus the track's
// start, so a stretch of a longer file (a cue track) behaves like a file of its own.
// Main thread only, like the engine.
class Playback {
public:
    explicit Playback(AudioPlaying& engine);

    // Loads `file` (the track's own file, or a local copy of it) and plays from the track's
    // start at the loudness factor `gain`, hearing nothing past its end. False when the file
    // cannot be played; the playback then holds what it held before.
    bool start(const Track& track, const FileURL& file, float gain = 1);

    const std::optional<Track>& track() const noexcept { return track_; }
    // The track becomes `track`, a stretch of the same file that holds the position: nothing
    // is reloaded, so the sound goes on, and from now on it ends where `track` ends. Takes the
    // upcoming track back, as it was worked out for the old end.
    void retarget(Track track);
    // The local file the track plays from.
    const std::optional<FileURL>& file() const noexcept { return file_; }

    // A track to go straight on into where this one ends, and the local file it plays from.
    struct Upcoming {
        Track track;
        FileURL file;
        float gain = 1;

        bool operator==(const Upcoming&) const = default;
    };
    // Has the engine follow the track with `upcoming` without a gap (none: takes it back).
    // False when the engine has already joined the one set before: that one stands. A seek
    // takes it back, and so does a pause unless the engine has already gone on into it (then
    // advance() reports it); set it again after them.
    bool setUpcoming(std::optional<Upcoming> upcoming);
    const std::optional<Upcoming>& upcoming() const noexcept { return upcoming_; }
    // True once the engine has gone on into the upcoming track; it is the track from then on.
    bool advance();

    // Seconds from the track's start to its end (or the file's end); none without a track.
    std::optional<double> length() const;
    // Seconds into the track; never negative.
    double position() const;
    // To `seconds` into the track; the caller keeps it within 0…length.
    void seek(double seconds);
    // Whether a track with an end has been played up to it. A track without one ends with the
    // engine's end-of-file notice instead.
    bool isPastEnd() const;

    void pause();
    void resume();
    // After the device was lost: plays on if one opens now (see AudioPlaying::retryDevice).
    bool retryDevice() { return engine_.retryDevice(); }
    void stop();
    void setVolume(float volume);
    // The loudness factor of the track playing, changed without a click.
    void setGain(float gain) { engine_.setGain(gain); }
    PowerLevels levels();
    void setOnFinished(std::function<void()> onFinished);
    void setOnDeviceTrouble(std::function<void(DeviceTrouble)> onTrouble);
    void setStreamTitle(const std::string& title) { engine_.setStreamTitle(title); }
    AudioPlaying& engine() { return engine_; }

private:
    double trackStart() const noexcept { return track_ ? track_->start : 0.0; }
    void forgetUpcoming();

    AudioPlaying& engine_;
    std::optional<Track> track_;
    std::optional<FileURL> file_;
    std::optional<Upcoming> upcoming_;
};

} // namespace lh
