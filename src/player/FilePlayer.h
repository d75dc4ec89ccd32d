#pragma once

#include "AudioDecoder.h"
#include "AudioPlaying.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <span>
#include <optional>
#include <thread>
#include <vector>

namespace lh {

// The player of one loaded file: a decoder thread fills a bounded queue of frames, and the
// audio device's thread takes them out through render(). Positions are frame numbers of the
// file (see AudioDecoder).
//
// Invariant: every frame in the queue belongs to the latest seek; a seek empties the queue,
// and a block the decoder thread decoded for an earlier seek is thrown away.
//
// Threads: render() runs on the device's thread; everything else on the owner's thread
// (the main thread). `onEnd` is called once per end reached, on the device's thread, with the
// number of the seek the end was reached after (see seekCount()).
class FilePlayer {
public:
    static constexpr std::int64_t noWindowEnd = std::numeric_limits<std::int64_t>::max();
    using OnEnd = std::function<void(std::uint64_t seekCount)>;

    // `deviceBufferFrames` is the device's buffer size, used to hold back the end notice until
    // the last frames have been heard.
    FilePlayer(std::unique_ptr<AudioDecoder> decoder, int deviceBufferFrames, OnEnd onEnd);
    ~FilePlayer();

    FilePlayer(const FilePlayer&) = delete;
    FilePlayer& operator=(const FilePlayer&) = delete;

    int sampleRate() const noexcept { return sampleRate_; }
    int channels() const noexcept { return channels_; }
    std::int64_t length() const noexcept { return length_; }

    // The frame being heard: the device is taken to play each block while it is asked for
    // the next one.
    std::int64_t position() const;
    void seek(std::int64_t frame);
    // How many seeks there have been; an end notice carrying an older number was overtaken
    // by a seek.
    std::uint64_t seekCount() const;
    // Frames from `frame` on are handed to the device as silence, but still counted. The
    // muting happens as frames leave for the device, not in the decoder: frames past the end
    // are decoded and queued as usual, so moving the end later before the device has reached
    // it carries on into the following stretch of the file at the exact frame, without a
    // reopen, a seek or a gap.
    void setWindowEnd(std::int64_t frame);
    void setIsPlaying(bool isPlaying);
    PowerLevels levels() const;
    // When the first frame since the load or the latest seek went to the device (measurements).
    std::optional<std::chrono::steady_clock::time_point> firstHandedAt() const;

    // Fills `frames` interleaved frames of the device's channel count, at `gain`.
    void render(float* out, int frames, float gain) noexcept;

private:
    using Clock = std::chrono::steady_clock;

    // A block handed to the device.
    struct Handed {
        std::int64_t first = 0;
        std::int64_t count = 0;
    };

    void prefill();
    void decodeLoop();
    std::size_t enqueue(std::span<const float> samples);
    void seekLocked(std::int64_t frame);
    std::int64_t positionLocked() const;
    std::size_t take(float* out, std::size_t frames);
    void remember(const float* samples, std::size_t frames, std::int64_t first);
    void muteFrom(float* samples, std::size_t frames, std::int64_t first) const;

    const int sampleRate_;
    const int channels_; // of the device
    const int fileChannels_;
    const std::int64_t length_;
    const int deviceBufferFrames_;
    std::unique_ptr<AudioDecoder> decoder_; // the decoder thread's alone once it runs
    OnEnd onEnd_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    // Guarded by mutex_:
    std::vector<float> queue_; // ring of frames
    std::size_t queueStart_ = 0; // in frames
    std::size_t queued_ = 0;
    std::uint64_t seekCount_ = 0;
    std::int64_t seekTarget_ = -1; // none when negative
    bool hasDecodedAll_ = false;
    bool hasEnded_ = false;
    bool isQuitting_ = false;
    std::int64_t nextFrame_ = 0; // the next frame to hand to the device
    std::int64_t silenceAfterEnd_ = 0;
    std::int64_t windowEnd_ = noWindowEnd;
    bool isPlaying_ = false;
    Handed playing_; // being heard
    Handed waiting_; // handed last, heard next
    Clock::time_point playingSince_ {};
    std::optional<Clock::time_point> firstHandedAt_;
    std::vector<float> history_; // the last second handed: left and right, per frame
    std::int64_t historyEnd_ = 0; // frame after the newest remembered
    std::int64_t historyCount_ = 0;

    // Decoded, not yet queued; the decoder thread's alone once it runs. Valid until the next
    // decode or seek.
    std::span<const float> pending_;
    std::thread decoderThread_;
};

} // namespace lh
