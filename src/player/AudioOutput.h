#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace lh {

class FilePlayer;

// Where the frames of one format (32-bit float at a given rate and channel count) are played:
// the sound server's own stream where a PulseAudio server (or PipeWire's) answers, SDL's
// device everywhere else.
//
// Call order: setSource(), then resume() and pause() as often as wanted; close() ends the
// stream until the next resume(). A paused output costs the sound server nothing to mix, so
// its sink can suspend, and wakes nobody to feed silence; resume() carries on from the
// source's next frame.
//
// Where nothing can be played (a machine without sound, a stopped server) resume() says so
// and nothing plays; the next resume() tries again.
//
// Threads: main thread only, except that the source's render() runs on the output's own
// thread, and `onLost` is called on one of the output's threads. Once pause(), close() or
// setSource() returned, the source they replaced or stopped is rendered no more.
class AudioOutput {
public:
    enum class Kind { soundServer, sdl };

    // Chooses the kind of output for this machine as it is now. Opens nothing yet.
    static std::unique_ptr<AudioOutput> open(int sampleRate, int channels);
    // The kind open() would make now; may ask a sound server, for up to half a second.
    static Kind preferredKind();
    virtual ~AudioOutput() = default;

    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    virtual Kind kind() const = 0;
    int sampleRate() const noexcept { return sampleRate_; }
    // The channel count frames are rendered in: mono is played as stereo, odd counts get one
    // more, and no more than 8 (what every kind of output takes alike).
    int channels() const noexcept { return channels_; }
    int bufferFrames() const noexcept { return bufferFrames_; }
    // Whether this output serves a file of that format, or a new one should be made.
    bool suits(int sampleRate, int channels) const noexcept;

    // From now on `source` is rendered (nullptr: silence).
    virtual void setSource(FilePlayer* source) = 0;
    void setVolume(float volume) noexcept { volume_.store(volume, std::memory_order_relaxed); }
    // Starts playing, opening a stream if there is none; false when none could be opened.
    virtual bool resume() = 0;
    // Stops playing at once; what was handed but not heard is dropped.
    virtual void pause() = 0;
    // Stops and gives the stream up (stop, the end of the playlist).
    virtual void close() = 0;
    // Runs `seek`, which moves the source, with nothing rendered meanwhile, and drops what was
    // handed before it but not yet heard, so the new position is heard at once.
    virtual void seekSource(const std::function<void()>& seek) { seek(); }
    // Whether a stream is held, playing or paused.
    virtual bool isOpen() const = 0;
    // Whether the stream held was dropped by the sound server or the card.
    virtual bool isLost() const = 0;
    // Called, on one of the output's threads, when its stream may have been lost; check isLost().
    virtual void setOnLost(std::function<void()> onLost) = 0;
    // Whether the last resume() failed because a sound server answered without any device to
    // play to (every card unplugged, a server just started), which may change at any moment.
    virtual bool isWithoutOutput() const = 0;
    // What the sound server shows as the name of what plays.
    virtual void setStreamName(const std::string& name) = 0;
    // The sound server's device to play to (empty: its default, followed as it changes); a
    // stream open moves there at once. Outputs without a choice ignore it.
    virtual void setDevice(const std::string& name) { (void)name; }

protected:
    AudioOutput(int sampleRate, int channels);

    float volume() const noexcept { return volume_.load(std::memory_order_relaxed); }
    // Says once on standard error that no device plays; quiet again after hasPlayed() or
    // after a loss was said, so the tries while a server is away say nothing.
    static void warnNoDevice(const char* reason);
    static void hasPlayed();
    static void hasSaidLoss();

private:
    int sampleRate_ = 0;
    int channels_ = 0;
    int bufferFrames_ = 0;
    std::atomic<float> volume_ { 1.0f };
};

} // namespace lh
