#include "AudioOutput.h"

#include "PulseConnection.h"
#include "PulseOutput.h"
#include "SdlOutput.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace lh {
namespace {

using namespace std::chrono_literals;

// Every kind of output takes 1, 2, 4, 6 or 8 channels alike, so a source made for one plays
// on another; a mono file is heard on both sides.
int deviceChannels(int fileChannels)
{
    if (fileChannels <= 2)
        return 2;
    if (fileChannels >= 8)
        return 8;
    return fileChannels + fileChannels % 2;
}

// A power of two of 100–200 ms: smaller buffers cost the sound server noticeably more CPU.
int deviceBufferFrames(int sampleRate)
{
    int frames = 256;
    while (frames < sampleRate / 10 && frames < 32768)
        frames *= 2;
    return frames;
}

// Main thread only.
bool hasWarned = false;

} // namespace

AudioOutput::AudioOutput(int sampleRate, int channels)
    : sampleRate_(sampleRate)
    , channels_(deviceChannels(channels))
    , bufferFrames_(deviceBufferFrames(sampleRate))
{
}

AudioOutput::Kind AudioOutput::preferredKind()
{
    // A driver named for SDL is what the user (or a test) wants; only its PulseAudio driver
    // is left to our own stream, which does what it did without its faults.
    if (const char* chosen = std::getenv("SDL_AUDIODRIVER"); chosen && *chosen && std::string_view(chosen) != "pulseaudio")
        return Kind::sdl;
    // A local server answers within milliseconds; one that does not answer in time is left to SDL.
    return PulseConnection::instance().connect(500ms) ? Kind::soundServer : Kind::sdl;
}

std::unique_ptr<AudioOutput> AudioOutput::open(int sampleRate, int channels)
{
    if (preferredKind() == Kind::soundServer)
        return std::make_unique<PulseOutput>(sampleRate, channels);
    return std::make_unique<SdlOutput>(sampleRate, channels);
}

bool AudioOutput::suits(int sampleRate, int channels) const noexcept
{
    return sampleRate == sampleRate_ && deviceChannels(channels) == channels_;
}

void AudioOutput::warnNoDevice(const char* reason)
{
    if (!hasWarned)
        std::fprintf(stderr, "larkhaven: no sound device (%s)\n", reason);
    hasWarned = true;
}

void AudioOutput::hasPlayed()
{
    hasWarned = false;
}

void AudioOutput::hasSaidLoss()
{
    hasWarned = true;
}

} // namespace lh
