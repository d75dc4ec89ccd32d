#pragma once

#include "FileURL.h"

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace lh {

// A file the engine cannot play: unreadable, not audio, or audio it cannot decode.
class AudioLoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Average power of the samples being heard, per channel, in dBFS; −∞ for silence.
struct PowerLevels {
    float left;
    float right;
};

// Why the engine stopped being heard by itself.
enum class DeviceTrouble {
    lost, // the device went away while playing (the sound server quit, the card was removed)
    missing, // no device could be opened
    withoutOutput, // a sound server answered but has no device to play to: one may come at any moment
};

// A device the sound server plays to (a sink), by its name and what users read.
struct OutputDevice {
    std::string name;
    std::string description;

    bool operator==(const OutputDevice&) const = default;
};

// A stretch of a local file to go straight on into when the one being played ends: frames
// from `start` up to `end` (none: the file's end), in file seconds, at the loudness factor
// `gain` (see setGain), which takes over exactly at the join.
struct Continuation {
    FileURL file;
    double start = 0;
    std::optional<double> end;
    float gain = 1;

    bool operator==(const Continuation&) const = default;
};

// An audio engine that plays one local file at a time.
//
// Call order: load() a file, then play()/pause() and read or set the position as often as
// wanted; stop() unloads. Without a loaded file every operation is a no-op that reads 0, −∞
// or nothing. load() of another file replaces the loaded one; a failed load() leaves the
// loaded file, its position and its playing state exactly as they were.
//
// Threads: every member is called on the main thread. onFinishedPlaying and onDeviceTrouble
// are called there too, later than the moment the end was reached or the device failed, never
// from inside another member; a notice that arrives after the engine is gone, or after its
// file was replaced or unloaded, is dropped.
//
// Times are file times in seconds.
class AudioPlaying {
public:
    virtual ~AudioPlaying() = default;

    // Called once each time the loaded file has played to its end.
    virtual void setOnFinishedPlaying(std::function<void()> onFinished) = 0;

    // Linear gain 0…1 for the loaded file and every later one.
    virtual float volume() const = 0;
    virtual void setVolume(float volume) = 0;

    // A linear loudness correction of the loaded file, applied before the volume, so the power
    // levels read are those heard. Set right after load() it applies from the first frame; set
    // while playing it is reached over a few milliseconds from the next buffer, without a
    // click. load() sets it back to 1.
    virtual void setGain(float gain) { (void)gain; }

    // Read: the position of what is being heard. Write: jump there, to the exact sample.
    virtual double currentTime() const = 0;
    virtual void setCurrentTime(double seconds) = 0;

    // The loaded file's length; 0 without one.
    virtual double duration() const = 0;

    // The end of the window of the file being played, or none for the file's end. No sample
    // from that time on is heard (silence instead), while the position goes on counting, so
    // a caller that watches the position sees it pass the end. Reset by every load().
    virtual void setPlayingWindowEnd(std::optional<double> end) = 0;

    // What to go straight on into where the window being played ends (or its file, without a
    // window end), with no gap between the last frame of one and the first of the other; none
    // takes it back. An engine that cannot join the two (another format, a file that fails to
    // open) simply ends as usual, with the end notice.
    //
    // The join is made as the continuation's first frames leave for the device. From then on
    // it stands: replacing or taking it back returns false and changes nothing (setting the same
    // one again returns true), and the file before it gives no end notice.
    //
    // Every engine takes the continuation back, joined or only armed, on load(), stop() and
    // setCurrentTime() (until takeContinuation() has reported the join, the time asked for is
    // one of the file before it), and on pause()
    // unless the join has already been heard: that one stands through the pause, and
    // takeContinuation() reports it. A caller sets it again after any of them.
    virtual bool setContinuation(std::optional<Continuation> next)
    {
        (void)next;
        return true;
    }
    // True once, when the position has reached the first frame of the continuation. From then
    // on the file, window, position and duration are the continuation's.
    virtual bool takeContinuation() { return false; }

    // Opens `url` (a local file) paused at its start; throws AudioLoadError.
    virtual void load(const FileURL& url) = 0;
    virtual void play() = 0;
    virtual void pause() = 0;
    // Stops and unloads.
    virtual void stop() = 0;

    // A mono file gives the same value for both channels.
    virtual PowerLevels readPowerLevels() = 0;

    // Called when the loaded file stopped being heard without being asked to: the sound
    // server or card went away while playing, or play() found no device to play on. The
    // engine is then paused at the last frame heard; the next play() tries the device again.
    virtual void setOnDeviceTrouble(std::function<void(DeviceTrouble)> onTrouble) { (void)onTrouble; }
    // Plays on from where the sound stopped if a device opens now; otherwise stays paused
    // without a trouble notice or a word on standard error, so a caller can try every few
    // seconds for a sound server's return. True when playing.
    virtual bool retryDevice() { return false; }
    // What the sound server shows as the name of what is playing.
    virtual void setStreamTitle(const std::string& title) { (void)title; }

    // Called with the devices the sound server offers whenever they change, once the engine
    // plays through one that offers a choice; an empty list when it went away.
    virtual void setOnOutputDevicesChanged(std::function<void(std::vector<OutputDevice>)> onChanged) { (void)onChanged; }
    // Plays to the device of that name from now on, moving what plays there at once; empty,
    // or a name the server does not have, plays to the server's default, following it.
    virtual void setOutputDevice(const std::string& name) { (void)name; }
};

} // namespace lh
