#include "AudioOutput.h"

#include "AudioPlaying.h"
#include "FilePlayer.h"

#include <SDL.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace lh {
namespace {

// Process-wide state of SDL's audio subsystem; main thread only.
struct AudioSystem {
    bool isFallback = false; // running on the dummy driver because the real one failed
    bool hasWarned = false;
    int openDevices = 0;
};

AudioSystem& audioSystem()
{
    static AudioSystem system;
    return system;
}

bool startDriver(const char* name)
{
    if (SDL_GetCurrentAudioDriver())
        SDL_AudioQuit();
    return SDL_AudioInit(name) == 0;
}

void startFallback()
{
    AudioSystem& system = audioSystem();
    if (!system.hasWarned) {
        std::fprintf(stderr, "Larkhaven: no audio device (%s); playing silently\n", SDL_GetError());
        system.hasWarned = true;
    }
    system.isFallback = startDriver("dummy");
}

// SDL plays 1, 2, 4, 6 or 8 channels; a mono file is heard on both sides.
int deviceChannels(int fileChannels)
{
    if (fileChannels <= 2)
        return 2;
    if (fileChannels >= 8)
        return 8;
    return fileChannels + fileChannels % 2;
}

// A power of two of 100–200 ms: smaller buffers cost the sound server noticeably more CPU.
Uint16 deviceBufferFrames(int sampleRate)
{
    int frames = 256;
    while (frames < sampleRate / 10 && frames < 32768)
        frames *= 2;
    return static_cast<Uint16>(frames);
}

SDL_AudioDeviceID openDevice(const SDL_AudioSpec& wanted, SDL_AudioSpec& obtained)
{
    return SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
}

} // namespace

std::unique_ptr<AudioOutput> AudioOutput::open(int sampleRate, int channels)
{
    AudioSystem& system = audioSystem();
    // With no device open the driver can be restarted: a sound server may have come up.
    if (system.openDevices == 0 && (system.isFallback || !SDL_GetCurrentAudioDriver())) {
        system.isFallback = false;
        if (!startDriver(nullptr))
            startFallback();
    }
    std::unique_ptr<AudioOutput> output(new AudioOutput());
    SDL_AudioSpec wanted {};
    wanted.freq = sampleRate;
    wanted.format = AUDIO_F32SYS;
    wanted.channels = static_cast<Uint8>(deviceChannels(channels));
    wanted.samples = deviceBufferFrames(sampleRate);
    wanted.callback = &AudioOutput::fill;
    wanted.userdata = output.get();
    SDL_AudioSpec obtained {};
    SDL_AudioDeviceID device = SDL_GetCurrentAudioDriver() ? openDevice(wanted, obtained) : 0;
    if (device == 0 && !system.isFallback && system.openDevices == 0) {
        startFallback();
        device = openDevice(wanted, obtained);
    }
    if (device == 0)
        throw AudioLoadError(std::string("cannot open an audio device: ") + SDL_GetError());
    ++system.openDevices;
    output->device_ = device;
    output->sampleRate_ = obtained.freq;
    output->channels_ = obtained.channels;
    output->requestedChannels_ = wanted.channels;
    output->bufferFrames_ = obtained.samples;
    output->isStandIn_ = system.isFallback;
    return output;
}

AudioOutput::~AudioOutput()
{
    if (device_ == 0)
        return;
    SDL_CloseAudioDevice(device_);
    --audioSystem().openDevices;
}

bool AudioOutput::suits(int sampleRate, int channels) const noexcept
{
    return sampleRate == sampleRate_ && deviceChannels(channels) == requestedChannels_ && !isStandIn_;
}

void AudioOutput::setSource(FilePlayer* source)
{
    SDL_LockAudioDevice(device_);
    source_ = source;
    SDL_UnlockAudioDevice(device_);
}

void AudioOutput::resume()
{
    SDL_PauseAudioDevice(device_, 0);
}

void AudioOutput::pause()
{
    SDL_PauseAudioDevice(device_, 1);
}

void SDLCALL AudioOutput::fill(void* self, Uint8* stream, int length)
{
    auto* output = static_cast<AudioOutput*>(self);
    const int frames = length / static_cast<int>(sizeof(float)) / output->channels_;
    if (output->source_)
        output->source_->render(reinterpret_cast<float*>(stream), frames, output->volume_.load(std::memory_order_relaxed));
    else
        std::memset(stream, 0, static_cast<std::size_t>(length));
}

} // namespace lh
