#include "AudioPlayerEngine.h"

#include "AudioDecoder.h"
#include "AudioOutput.h"
#include "FilePlayer.h"
#include "MainThread.h"
#include "PulseConnection.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

namespace lh {
namespace {

constexpr float silence = -std::numeric_limits<float>::infinity();

std::int64_t frames(double seconds, int sampleRate)
{
    return std::llround(seconds * sampleRate);
}

} // namespace

AudioPlayerEngine::AudioPlayerEngine()
    : liveness_(std::make_shared<AudioPlayerEngine*>(this))
{
}

AudioPlayerEngine::~AudioPlayerEngine()
{
    stop();
    output_.reset();
}

void AudioPlayerEngine::setOnFinishedPlaying(std::function<void()> onFinished)
{
    onFinishedPlaying_ = std::move(onFinished);
}

void AudioPlayerEngine::setVolume(float volume)
{
    volume_ = volume;
    if (output_)
        output_->setVolume(volume);
}

void AudioPlayerEngine::setGain(float gain)
{
    if (player_)
        player_->setGain(gain);
}

double AudioPlayerEngine::currentTime() const
{
    if (!player_)
        return 0;
    return static_cast<double>(player_->position()) / player_->sampleRate();
}

void AudioPlayerEngine::setCurrentTime(double seconds)
{
    if (!player_ || std::isnan(seconds))
        return;
    // Out-of-range times land on the file's start or end.
    const double clamped = std::clamp(seconds, 0.0, 1e12);
    output_->seekSource([&] { player_->seek(frames(clamped, player_->sampleRate())); });
    continuation_.reset(); // the seek took it back
}

double AudioPlayerEngine::duration() const
{
    if (!player_)
        return 0;
    return static_cast<double>(player_->length()) / player_->sampleRate();
}

void AudioPlayerEngine::setPlayingWindowEnd(std::optional<double> end)
{
    if (!player_)
        return;
    if (!end || std::isnan(*end) || *end >= 1e12) {
        player_->setWindowEnd(FilePlayer::noWindowEnd);
        return;
    }
    player_->setWindowEnd(frames(std::max(*end, 0.0), player_->sampleRate()));
}

bool AudioPlayerEngine::setContinuation(std::optional<Continuation> next)
{
    if (!player_)
        return true;
    std::optional<FilePlayer::Next> armed;
    if (next) {
        const int rate = player_->sampleRate();
        const bool hasEnd = next->end && !std::isnan(*next->end) && *next->end < 1e12;
        armed = FilePlayer::Next {
            next->file,
            next->file == file_,
            frames(std::clamp(next->start, 0.0, 1e12), rate),
            hasEnd ? frames(std::max(*next->end, 0.0), rate) : FilePlayer::noWindowEnd,
            next->gain,
        };
    }
    if (!player_->setNext(std::move(armed)))
        return false;
    continuation_ = std::move(next);
    return true;
}

bool AudioPlayerEngine::takeContinuation()
{
    if (!player_ || !continuation_ || !player_->takeJoin())
        return false;
    file_ = continuation_->file;
    continuation_.reset();
    return true;
}

void AudioPlayerEngine::load(const FileURL& url)
{
    auto decoder = std::make_unique<AudioDecoder>(url); // throws before anything changes
    prepareOutput(decoder->sampleRate(), decoder->channels());
    decoder->setOutputChannels(output_->channels());
    const std::uint64_t loadCount = ++loadCount_;
    std::weak_ptr<AudioPlayerEngine*> engine = liveness_;
    auto onEnd = [engine, loadCount](std::uint64_t seekCount) {
        MainThread::post([engine, loadCount, seekCount] {
            if (auto alive = engine.lock())
                (*alive)->finish(loadCount, seekCount);
        });
    };
    auto player = std::make_unique<FilePlayer>(std::move(decoder), output_->bufferFrames(), std::move(onEnd));
    player->setServerLatency(serverLatency_);
    output_->pause();
    isPlaying_ = false;
    output_->setSource(player.get());
    player_ = std::move(player); // the previous player, if any, goes here
    file_ = url;
    continuation_.reset();
}

void AudioPlayerEngine::prepareOutput(int sampleRate, int channels)
{
    if (output_ && output_->suits(sampleRate, channels))
        return;
    replaceOutput(AudioOutput::open(sampleRate, channels));
}

void AudioPlayerEngine::replaceOutput(std::unique_ptr<AudioOutput> output)
{
    output->setVolume(volume_);
    output->setStreamName(streamTitle_);
    output->setDevice(outputDevice_);
    if (output->kind() == AudioOutput::Kind::soundServer)
        watchOutputDevices();
    std::weak_ptr<AudioPlayerEngine*> engine = liveness_;
    output->setOnLost([engine] {
        MainThread::post([engine] {
            if (auto alive = engine.lock())
                (*alive)->checkDevice();
        });
    });
    if (output_)
        output_->setSource(nullptr);
    output_ = std::move(output);
}

// A sound server started or gone since the stream was opened is played through, or around.
void AudioPlayerEngine::reconsiderOutput()
{
    if (output_->isOpen())
        return;
    if (AudioOutput::preferredKind() == output_->kind())
        return;
    replaceOutput(AudioOutput::open(output_->sampleRate(), output_->channels()));
    output_->setSource(player_.get()); // of the same format
}

void AudioPlayerEngine::checkDevice()
{
    // SDL names any output device that went; only the one playing matters. A paused stream
    // that went is let go without a word: the next Play finds what is there then.
    if (!player_ || !output_ || !output_->isLost())
        return;
    if (!isPlaying_) {
        output_->pause();
        return;
    }
    isPlaying_ = false;
    std::fprintf(stderr, "larkhaven: the sound device went away; paused\n");
    output_->pause();
    player_->setIsPlaying(false); // back to the last frame heard
    if (auto onTrouble = onDeviceTrouble_)
        onTrouble(DeviceTrouble::lost);
}

void AudioPlayerEngine::report(DeviceTrouble trouble)
{
    std::weak_ptr<AudioPlayerEngine*> engine = liveness_;
    MainThread::post([engine, trouble, loadCount = loadCount_] {
        auto alive = engine.lock();
        if (!alive || (*alive)->loadCount_ != loadCount || !(*alive)->player_)
            return;
        if (auto onTrouble = (*alive)->onDeviceTrouble_)
            onTrouble(trouble);
    });
}

void AudioPlayerEngine::setOnDeviceTrouble(std::function<void(DeviceTrouble)> onTrouble)
{
    onDeviceTrouble_ = std::move(onTrouble);
}

void AudioPlayerEngine::setStreamTitle(const std::string& title)
{
    streamTitle_ = title;
    if (output_)
        output_->setStreamName(title);
}

void AudioPlayerEngine::setOnOutputDevicesChanged(std::function<void(std::vector<OutputDevice>)> onChanged)
{
    onOutputDevicesChanged_ = std::move(onChanged);
}

void AudioPlayerEngine::setOutputDevice(const std::string& name)
{
    outputDevice_ = name;
    if (output_)
        output_->setDevice(name);
}

// The server's sinks are watched from the first stream of the server's own on; the connection
// outlives engines, so what it tells reaches only an engine still there.
void AudioPlayerEngine::watchOutputDevices()
{
    if (isWatchingDevices_)
        return;
    isWatchingDevices_ = true;
    const auto tell = [engine = std::weak_ptr(liveness_)] {
        MainThread::post([engine] {
            auto alive = engine.lock();
            if (!alive || !(*alive)->onOutputDevicesChanged_)
                return;
            std::vector<OutputDevice> devices;
            for (const PulseConnection::Sink& sink : PulseConnection::instance().sinks())
                devices.push_back({ sink.name, sink.description });
            (*alive)->onOutputDevicesChanged_(std::move(devices));
        });
    };
    PulseConnection::instance().setOnSinksChanged(tell);
    tell();
}

void AudioPlayerEngine::play()
{
    if (player_ && !startOutput())
        report(output_->isWithoutOutput() ? DeviceTrouble::withoutOutput : DeviceTrouble::missing);
}

bool AudioPlayerEngine::retryDevice()
{
    return player_ && startOutput();
}

bool AudioPlayerEngine::startOutput()
{
    reconsiderOutput();
    player_->setIsPlaying(true);
    isPlaying_ = output_->resume();
    if (!isPlaying_)
        player_->setIsPlaying(false);
    return isPlaying_;
}

void AudioPlayerEngine::pause()
{
    if (!player_)
        return;
    output_->pause();
    player_->setIsPlaying(false);
    isPlaying_ = false;
}

void AudioPlayerEngine::stop()
{
    if (!player_)
        return;
    output_->close();
    isPlaying_ = false;
    output_->setSource(nullptr);
    player_.reset();
    continuation_.reset();
}

PowerLevels AudioPlayerEngine::readPowerLevels()
{
    if (!player_)
        return { silence, silence };
    return player_->levels();
}

std::optional<std::chrono::steady_clock::time_point> AudioPlayerEngine::firstFrameHandedAt() const
{
    if (!player_)
        return std::nullopt;
    return player_->firstHandedAt();
}

void AudioPlayerEngine::setServerLatency(std::chrono::microseconds latency)
{
    serverLatency_ = latency;
    if (player_)
        player_->setServerLatency(latency);
}

void AudioPlayerEngine::finish(std::uint64_t loadCount, std::uint64_t seekCount)
{
    // A notice from a file that has since been replaced or unloaded would end the wrong one,
    // and one posted just before a seek would end the track the seek just moved back into.
    if (!player_ || loadCount != loadCount_ || seekCount != player_->seekCount())
        return;
    output_->pause(); // nothing left but silence
    player_->setIsPlaying(false);
    isPlaying_ = false;
    if (auto onFinished = onFinishedPlaying_)
        onFinished();
}

} // namespace lh
