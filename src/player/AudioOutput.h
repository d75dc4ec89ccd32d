#pragma once

#include <SDL_audio.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace lh {

class FilePlayer;

// The audio device for one format (32-bit float at a given rate and channel count). The
// device itself is open only while playing: a paused or stopped player holds no stream, so
// the sound server can suspend the sink and the process is not woken to feed silence. (In a
// burst of pauses and loads the stream is closed a moment later, once earlier closes are done.)
// Reopening at resume carries on from the source's next frame. (SDL's file and null drivers,
// which have no sink to suspend and whose capture a reopen would start afresh, stay open.)
//
// Where no device can be opened (a machine without sound, a stopped server) resume() says
// so and nothing plays; the next resume() tries again, restarting SDL's driver so that a
// server started since is found.
//
// Main thread only, except that the source's render() runs on the device's thread, `onLost`
// is called on one of SDL's threads, and a sound server's stream is closed on a thread of its
// own (its source is out of use before pause() returns).
class AudioOutput {
public:
    // Asks for `channels` (mono is played as stereo). Opens nothing yet.
    static std::unique_ptr<AudioOutput> open(int sampleRate, int channels);
    ~AudioOutput();

    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    int sampleRate() const noexcept { return sampleRate_; }
    int channels() const noexcept { return channels_; }
    int bufferFrames() const noexcept { return bufferFrames_; }
    // Whether this output serves a file of that format, or a new one should be made.
    bool suits(int sampleRate, int channels) const noexcept;

    // From now on the device thread renders `source` (nullptr: silence). When this returns,
    // the previous source is no longer in use.
    void setSource(FilePlayer* source);
    void setVolume(float volume) noexcept { volume_.store(volume, std::memory_order_relaxed); }
    // Opens the device if needed and starts it; false when no device could be opened.
    bool resume();
    // Stops the device; closes it where a sound server could otherwise not go idle.
    void pause();
    // Whether the device open is a stream of a sound server (not SDL's file or null driver,
    // not ALSA's card), whose latency the server can tell.
    bool isServerStream() const;
    // Whether the open device was dropped by the sound server or the card.
    bool isLost() const;
    // Called, on an SDL thread, when SDL reports some output device gone; check isLost().
    void setOnLost(std::function<void()> onLost);

    // What the sound server shows for the streams opened from now on.
    static void setStreamName(const std::string& name);
    // Whether the last open failed because a sound server answered without any device to play
    // to (every card unplugged, a server just started), which may change at any moment.
    static bool isServerWithoutOutput();
    // Whether devices are still being closed, which happens off the main thread for a sound
    // server's streams. SDL's audio may be quit only once none is.
    static bool isClosingDevices();

private:
    AudioOutput() = default;
    static void SDLCALL fill(void* self, Uint8* stream, int length);
    bool openDevice();
    SDL_AudioDeviceID openSDLDevice();
    void closeDevice();
    void closeWhenCaughtUp();

    SDL_AudioDeviceID device_ = 0;
    int sampleRate_ = 0;
    int channels_ = 0;
    int bufferFrames_ = 0;
    std::shared_ptr<std::function<void()>> onLost_;
    FilePlayer* source_ = nullptr; // guarded by the device lock while a device is open
    std::atomic<float> volume_ { 1.0f };
    bool isHeld_ = false; // paused with the stream kept open until closes have caught up
    std::shared_ptr<bool> liveness_ = std::make_shared<bool>(true);
};

} // namespace lh
