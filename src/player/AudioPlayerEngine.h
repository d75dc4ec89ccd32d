#pragma once

#include "AudioPlaying.h"

#include <chrono>
#include <cstdint>
#include <memory>

namespace lh {

class AudioOutput;
class FilePlayer;
class StreamLatencyProbe;

// The player's engine: FFmpeg decodes, SDL plays. Loading opens and checks the file on the
// calling thread (quick for a local file) and starts a decoder thread; the device is kept
// open only while playing (see AudioOutput). See AudioPlaying for the contract.
class AudioPlayerEngine final : public AudioPlaying {
public:
    AudioPlayerEngine();
    ~AudioPlayerEngine() override;

    AudioPlayerEngine(const AudioPlayerEngine&) = delete;
    AudioPlayerEngine& operator=(const AudioPlayerEngine&) = delete;

    void setOnFinishedPlaying(std::function<void()> onFinished) override;
    float volume() const override { return volume_; }
    void setVolume(float volume) override;
    void setGain(float gain) override;
    double currentTime() const override;
    void setCurrentTime(double seconds) override;
    double duration() const override;
    void setPlayingWindowEnd(std::optional<double> end) override;
    bool setContinuation(std::optional<Continuation> next) override;
    bool takeContinuation() override;
    void load(const FileURL& url) override;
    void play() override;
    void pause() override;
    void stop() override;
    PowerLevels readPowerLevels() override;
    void setOnDeviceTrouble(std::function<void(DeviceTrouble)> onTrouble) override;
    bool retryDevice() override;
    void setStreamTitle(const std::string& title) override;

    // When the device was handed the first frame since the latest load or seek; none before
    // that or without a file. For measuring latency.
    std::optional<std::chrono::steady_clock::time_point> firstFrameHandedAt() const;
    // How long the sound server holds a frame once handed, for the meter; asked of the server
    // after each open of its stream, and set by tests on drivers without a server.
    void setServerLatency(std::chrono::microseconds latency);

private:
    void prepareOutput(int sampleRate, int channels);
    bool startOutput();
    void finish(std::uint64_t loadCount, std::uint64_t seekCount);
    void checkDevice();
    void report(DeviceTrouble trouble);

    std::function<void()> onFinishedPlaying_;
    std::function<void(DeviceTrouble)> onDeviceTrouble_;
    float volume_ = 0.8f;
    std::unique_ptr<AudioOutput> output_;
    std::unique_ptr<FilePlayer> player_;
    std::optional<std::chrono::microseconds> serverLatency_;
    FileURL file_; // of player_, and after a join the joined one's
    // The one set last; the player tells whether it is still armed (a pause may have taken it
    // back) or has been joined.
    std::optional<Continuation> continuation_;
    std::uint64_t loadCount_ = 0; // tells an end notice of the loaded file from a stale one
    // Posted end notices hold this weakly, so none reaches an engine that is gone.
    std::shared_ptr<AudioPlayerEngine*> liveness_;
    std::unique_ptr<StreamLatencyProbe> latencyProbe_; // after liveness_: its answers use it
};

} // namespace lh
