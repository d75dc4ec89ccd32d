#pragma once

#include <SDL_audio.h>

#include <atomic>
#include <memory>

namespace lh {

class FilePlayer;

// One open SDL audio device in 32-bit float at a given sample rate. Its thread renders the
// current source, or silence without one.
//
// Where the sound server or card cannot be opened (a machine without sound, a stopped
// server), the device comes from SDL's dummy driver instead: playback goes on silently,
// the switch is reported once on standard error, and the next device opened tries the real
// driver again.
//
// Main thread only, except that the source's render() runs on the device's thread.
class AudioOutput {
public:
    // Asks for `channels` (mono is opened as stereo; the device may offer fewer or more).
    // Starts paused. Throws AudioLoadError when not even the dummy driver opens.
    static std::unique_ptr<AudioOutput> open(int sampleRate, int channels);
    ~AudioOutput();

    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    int sampleRate() const noexcept { return sampleRate_; }
    int channels() const noexcept { return channels_; }
    int bufferFrames() const noexcept { return bufferFrames_; }
    // Whether this device serves a file of that format, or a new one should be opened.
    bool suits(int sampleRate, int channels) const noexcept;
    // Whether this device is a silent stand-in (see above).
    bool isStandIn() const noexcept { return isStandIn_; }

    // From now on the device thread renders `source` (nullptr: silence). When this returns,
    // the previous source is no longer in use.
    void setSource(FilePlayer* source);
    void setVolume(float volume) noexcept { volume_.store(volume, std::memory_order_relaxed); }
    void resume();
    void pause();

private:
    AudioOutput() = default;
    static void SDLCALL fill(void* self, Uint8* stream, int length);

    SDL_AudioDeviceID device_ = 0;
    int sampleRate_ = 0;
    int channels_ = 0;
    int requestedChannels_ = 0;
    int bufferFrames_ = 0;
    bool isStandIn_ = false;
    FilePlayer* source_ = nullptr; // guarded by the device lock
    std::atomic<float> volume_ { 1.0f };
};

} // namespace lh
