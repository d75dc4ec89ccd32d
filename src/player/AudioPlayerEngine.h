#pragma once

#include "AudioPlaying.h"

#include <chrono>
#include <cstdint>
#include <memory>

namespace lh {

class AudioOutput;
class FilePlayer;

// The player's engine: FFmpeg decodes, the sound server's own stream or SDL plays (see
// AudioOutput). Loading opens and checks the file on the calling thread (quick for a local
// file) and starts a decoder thread. See AudioPlaying for the contract.
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
    void setOnOutputDevicesChanged(std::function<void(std::vector<OutputDevice>)> onChanged) override;
    void setOutputDevice(const std::string& name) override;

    // When the device was handed the first frame since the latest load or seek; none before
    // that or without a file. For measuring latency.
    std::optional<std::chrono::steady_clock::time_point> firstFrameHandedAt() const;
    // How long the sound server holds a frame once handed, for the meter, where the output
    // does not tell (SDL); set by tests.
    void setServerLatency(std::chrono::microseconds latency);

private:
    void prepareOutput(int sampleRate, int channels);
    void replaceOutput(std::unique_ptr<AudioOutput> output);
    void reconsiderOutput();
    void watchOutputDevices();
    bool startOutput();
    void finish(std::uint64_t loadCount, std::uint64_t seekCount);
    void checkDevice();
    void report(DeviceTrouble trouble);

    std::function<void()> onFinishedPlaying_;
    std::function<void(DeviceTrouble)> onDeviceTrouble_;
    float volume_ = 0.8f;
    std::string streamTitle_;
    std::string outputDevice_;
    std::function<void(std::vector<OutputDevice>)> onOutputDevicesChanged_;
    bool isWatchingDevices_ = false;
    bool isPlaying_ = false; // the output was resumed and has not been paused or lost since
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
};

} // namespace lh
