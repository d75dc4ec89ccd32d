#pragma once

#include "FileURL.h"
#include "MediaFile.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

struct AVCodec;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwrContext;

namespace lh {

// Decodes one file into interleaved 32-bit float frames at the file's own sample rate.
// Frames are numbered from the file's first audible sample: an MP3's encoder delay and an
// M4A's priming are not counted, and an M4A's padding after its last sample is cut off.
// Seeking lands on the exact frame asked for.
//
// Built on any thread (the engine builds it on the main thread, which a local file allows),
// then used by one thread at a time.
class AudioDecoder {
public:
    // Opens the file and decodes its first block, so a file that opens but holds nothing
    // playable fails here. Throws AudioLoadError.
    explicit AudioDecoder(const FileURL& url);
    ~AudioDecoder();

    AudioDecoder(const AudioDecoder&) = delete;
    AudioDecoder& operator=(const AudioDecoder&) = delete;

    int sampleRate() const noexcept { return sampleRate_; }
    int channels() const noexcept { return channels_; }
    // Frames in the file; estimated from the bit rate for a raw AAC stream.
    std::int64_t length() const noexcept { return length_; }

    // The channel count of the blocks decode() returns (the file's own until set). A mono file
    // comes out at full level on every channel; more channels are mixed down.
    void setOutputChannels(int channels);
    int outputChannels() const noexcept { return outputChannels_; }

    // The next block of frames and the number of its first frame; an empty block at the end.
    struct Block {
        std::span<const float> samples;
        std::int64_t firstFrame = 0;
    };
    Block decode();

    // The next block starts at `frame` (clamped to the file).
    void seek(std::int64_t frame);

private:
    void openCodec();
    void readLength();
    bool receiveFrame();
    bool convert(const AVFrame& frame);
    void resetAfterSeek(std::int64_t target);
    void configureResampler(const AVFrame& frame);
    std::int64_t frameIndex(const AVFrame& frame) const;

    struct FreeCodec {
        void operator()(AVCodecContext* codec) const noexcept;
    };
    struct FreeFrame {
        void operator()(AVFrame* frame) const noexcept;
    };
    struct FreePacket {
        void operator()(AVPacket* packet) const noexcept;
    };
    struct FreeResampler {
        void operator()(SwrContext* resampler) const noexcept;
    };

    static std::unique_ptr<AVCodecContext, FreeCodec> newCodec(const AVCodec& decoder, const AVStream& stream);

    MediaFile file_;
    int streamIndex_ = -1;
    std::unique_ptr<AVCodecContext, FreeCodec> codec_;
    std::unique_ptr<AVFrame, FreeFrame> frame_;
    std::unique_ptr<AVPacket, FreePacket> packet_;
    std::unique_ptr<SwrContext, FreeResampler> resampler_;
    int resamplerInputFormat_ = -1;
    int resamplerInputChannels_ = 0;

    int sampleRate_ = 0;
    int channels_ = 0;
    int outputChannels_ = 0;
    std::int64_t startTime_ = 0; // in the stream's time base
    std::int64_t length_ = 0;
    bool isLengthExact_ = false;
    bool isLengthCoarse_ = false; // rounded down to a container tick longer than a frame

    std::int64_t nextFrame_ = 0; // number of the frame after the last one returned
    bool needsAnchor_ = true; // the next decoded frame's timestamp tells where we are
    std::int64_t skipUntil_ = 0; // frames before this are decoded only to prime the decoder
    bool isDraining_ = false;
    bool isAtEnd_ = false;
    bool hasBufferedFrame_ = false; // decoded while opening, not yet converted

    std::vector<float> converted_;
    Block block_;
};

} // namespace lh
