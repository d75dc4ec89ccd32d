#pragma once

#include "AudioDecoder.h"
#include "AudioPlaying.h"
#include "GainRamp.h"
#include "PowerHistory.h"

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
// A continuation (see setNext) carries the frame count on past the join: frames are counted
// in one run from the load on, and `origin_` is where the file being heard has its frame 0,
// so positions given out and taken in stay the file's own.
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

    // What to go straight on into after the window end, or after the end of the file when
    // there is none. Frames of `file`: from `start` up to `end` (noWindowEnd for its end).
    // The same file going on from the window end costs nothing: the window end just moves on
    // as frames leave for the device. After the file's end, a file of the same rate and
    // channel count (this one too) is opened on the decoder thread and decoded into the queue
    // behind the last frame. With a window end anywhere else nothing is joined. `gain` is the
    // loudness factor of the frames past the join, taken exactly at its first frame.
    struct Next {
        FileURL file;
        bool isSameFile = false;
        std::int64_t start = 0;
        std::int64_t end = noWindowEnd;
        float gain = 1;

        bool operator==(const Next&) const = default;
    };

    int sampleRate() const noexcept { return sampleRate_; }
    int channels() const noexcept { return channels_; }
    std::int64_t length() const;

    // Arms `next` (none: takes it back). False when a join to another one has already left
    // for the device; it stands then. A seek takes back whatever is armed or joined, and so
    // does a pause, except a join already heard.
    bool setNext(std::optional<Next> next);
    // True once the position has reached the first frame of the joined file or window; from
    // then on positions, length and window are the joined one's.
    bool takeJoin();

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
    // The loudness factor of the frames being handed, before the volume, so the levels are
    // those heard. Taken at once while nothing has been handed since the load, a seek or a
    // pause; otherwise reached over a few milliseconds from the next block handed.
    void setGain(float factor);
    // The power of the last 50 ms heard.
    PowerLevels levels() const;
    // How long the sound server holds a frame once handed (none: unknown). Known, the levels
    // are those of the frame handed that long ago; unknown, the device's buffer is taken to
    // be the whole delay, as for the position.
    void setServerLatency(std::optional<std::chrono::microseconds> latency);
    // When the first frame since the load or the latest seek went to the device (measurements).
    std::optional<std::chrono::steady_clock::time_point> firstHandedAt() const;

    // Fills `frames` interleaved frames of the device's channel count, at `gain`; how many of
    // them came from the file (the rest is silence).
    int render(float* out, int frames, float gain) noexcept;
    // Whether nothing has been handed since the load, the latest seek or pause, and the
    // decoder has not yet queued a whole buffer: silence rendered now would be heard as a gap
    // before the first frame.
    bool isAwaitingFrames() const;

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
    std::int64_t heardLocked() const;
    std::size_t take(float* out, std::size_t frames);
    void joinWindowLocked(std::int64_t first, std::size_t frames);
    bool needsNextDecoderLocked() const;
    void openNextDecoder(std::unique_lock<std::mutex>& lock);
    bool canJoinFileLocked() const;
    void joinFileLocked();
    bool revertJoinLocked(bool isForced);
    std::unique_ptr<AudioDecoder> dropNextLocked();
    void muteFrom(float* samples, std::size_t frames, std::int64_t first) const;
    void applyGainLocked(float* samples, std::size_t frames, std::int64_t first);

    const int sampleRate_;
    const int channels_; // of the device
    const int fileChannels_;
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
    // Nothing handed since the queue was last emptied (load, seek, pause): the device waits for
    // a whole buffer rather than start on the first block and go silent for the rest of it.
    bool isPriming_ = true;
    bool isQuitting_ = false;
    std::int64_t nextFrame_ = 0; // the next frame to hand to the device
    std::int64_t silenceAfterEnd_ = 0;
    std::int64_t windowEnd_ = noWindowEnd;
    std::int64_t length_ = 0; // of the file being heard
    std::int64_t origin_ = 0; // where the file being heard has its frame 0
    GainRamp gain_;
    // The continuation armed, and for another file its decoder once the decoder thread has
    // opened it (idle until the join) or found it cannot be joined.
    std::optional<Next> next_;
    std::uint64_t nextCount_ = 0;
    std::unique_ptr<AudioDecoder> nextDecoder_;
    bool hasNextFailed_ = false;
    // A join made but not yet heard: frames from joinAt_ on are the continuation's.
    struct Join {
        std::int64_t at = 0;
        std::int64_t origin = 0;
        std::int64_t length = 0;
        std::int64_t windowEndBefore = noWindowEnd;
        bool isOtherFile = false;
        Next next;
        float gainBefore = 1;
        bool hasGainSwitched = false; // its first frame has left for the device
    };
    std::optional<Join> join_;
    // The decoder of the file before a join to another one, kept until the join is heard so
    // taking the join back can return to it. The decoder thread swaps it back.
    std::unique_ptr<AudioDecoder> previousDecoder_;
    bool isRevertPending_ = false;
    bool isPlaying_ = false;
    Handed playing_; // being heard
    Handed waiting_; // handed last, heard next
    Clock::time_point playingSince_ {}; // when the latest block was handed
    std::optional<std::chrono::microseconds> serverLatency_;
    std::optional<Clock::time_point> firstHandedAt_;
    PowerHistory history_; // of what was handed

    // Decoded, not yet queued; the decoder thread's alone once it runs. Valid until the next
    // decode or seek.
    std::span<const float> pending_;
    std::thread decoderThread_;
};

} // namespace lh
