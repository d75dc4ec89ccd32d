#include "AudioDecoder.h"

#include "AudioPlaying.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace lh {
namespace {

// Decoding starts this many frames before a seek target and the frames before the target are
// dropped, so the decoder's history is what a straight decode would have: MP3 and AAC need
// a few frames of it (measured: 4096 is not always enough for MP3).
constexpr std::int64_t seekPreroll = 8192;

// A damaged file may fail packet after packet; this many failures in a row end it.
constexpr int maxFailuresInARow = 64;

// What real audio uses, with room to spare: from speech at a few kHz to 768 kHz masters, from
// mono to 22.2 surround. The player sizes its buffers from the file's format, and a crafted
// header may claim anything (a WAV can say 2³¹−1 Hz).
constexpr int minSampleRate = 1000;
constexpr int maxSampleRate = 768000;
constexpr int maxChannels = 32;

void checkFormat(int sampleRate, int channels, const FileURL& url)
{
    if (sampleRate < minSampleRate || sampleRate > maxSampleRate)
        throw AudioLoadError("unusable sample rate " + std::to_string(sampleRate) + " Hz in " + url.path());
    if (channels < 1 || channels > maxChannels)
        throw AudioLoadError("unusable channel count " + std::to_string(channels) + " in " + url.path());
}

MediaFile openMedia(const FileURL& url)
{
    try {
        return MediaFile(url);
    } catch (const MediaOpenError& error) {
        throw AudioLoadError(error.what());
    }
}

} // namespace

void AudioDecoder::FreeCodec::operator()(AVCodecContext* codec) const noexcept { avcodec_free_context(&codec); }
void AudioDecoder::FreeFrame::operator()(AVFrame* frame) const noexcept { av_frame_free(&frame); }
void AudioDecoder::FreePacket::operator()(AVPacket* packet) const noexcept { av_packet_free(&packet); }
void AudioDecoder::FreeResampler::operator()(SwrContext* resampler) const noexcept { swr_free(&resampler); }

AudioDecoder::AudioDecoder(const FileURL& url)
    : file_(openMedia(url))
    , frame_(av_frame_alloc())
    , packet_(av_packet_alloc())
{
    if (!frame_ || !packet_)
        throw AudioLoadError("out of memory");
    openCodec();
    // What the header states is checked before anything is decoded, what decodes after.
    if (codec_->sample_rate != 0 && codec_->ch_layout.nb_channels != 0)
        checkFormat(codec_->sample_rate, codec_->ch_layout.nb_channels, url);
    if (!receiveFrame() || frame_->nb_samples <= 0)
        throw AudioLoadError("no playable audio in " + url.path());
    checkFormat(frame_->sample_rate, frame_->ch_layout.nb_channels, url);
    hasBufferedFrame_ = true;
    sampleRate_ = frame_->sample_rate;
    channels_ = frame_->ch_layout.nb_channels;
    outputChannels_ = channels_;
    readLength();
}

AudioDecoder::~AudioDecoder() = default;

void AudioDecoder::openCodec()
{
    AVFormatContext* context = file_.context();
    // Raw MP3, FLAC and AAC streams describe themselves only after a look at their packets.
    if (avformat_find_stream_info(context, nullptr) < 0)
        throw AudioLoadError("unreadable stream information");
    const AVCodec* decoder = nullptr;
    streamIndex_ = av_find_best_stream(context, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (streamIndex_ < 0 || !decoder)
        throw AudioLoadError("no audio stream");
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        if (static_cast<int>(i) != streamIndex_)
            context->streams[i]->discard = AVDISCARD_ALL; // cover art and the like
    }
    const AVStream* stream = context->streams[streamIndex_];
    codec_ = newCodec(*decoder, *stream);
    if (!codec_)
        throw AudioLoadError("cannot open the decoder");
    if (stream->start_time != AV_NOPTS_VALUE)
        startTime_ = stream->start_time;
}

std::unique_ptr<AVCodecContext, AudioDecoder::FreeCodec> AudioDecoder::newCodec(const AVCodec& decoder, const AVStream& stream)
{
    std::unique_ptr<AVCodecContext, FreeCodec> codec(avcodec_alloc_context3(&decoder));
    if (!codec || avcodec_parameters_to_context(codec.get(), stream.codecpar) < 0)
        return nullptr;
    // Without it the decoder cannot apply the skip-samples side data that trims an encoder's
    // delay and padding.
    codec->pkt_timebase = stream.time_base;
    if (avcodec_open2(codec.get(), &decoder, nullptr) < 0)
        return nullptr;
    return codec;
}

void AudioDecoder::readLength()
{
    const AVFormatContext* context = file_.context();
    const AVStream* stream = context->streams[streamIndex_];
    const AVRational perFrame { 1, sampleRate_ };
    if (std::strcmp(context->iformat->name, "mp3") == 0 && stream->duration > 0) {
        // Counted from the first frame, encoder delay and padding included; the decoder itself
        // drops both, so the length is only an estimate here.
        length_ = av_rescale_q(stream->duration - startTime_, stream->time_base, perFrame);
    } else if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0
        && context->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE) {
        // M4A's decoder leaves the padding after the last sample in: this length cuts it off.
        // Only a length counted in samples may cut: one in milliseconds (ASF) or in blocks of
        // frames (Musepack) would cut off music.
        length_ = av_rescale_q(stream->duration, stream->time_base, perFrame);
        isLengthExact_ = static_cast<std::int64_t>(stream->time_base.num) * sampleRate_ <= stream->time_base.den;
        isLengthCoarse_ = !isLengthExact_;
    } else if (context->duration != AV_NOPTS_VALUE && context->duration > 0) {
        length_ = av_rescale_q(context->duration, AV_TIME_BASE_Q, perFrame);
    }
}

void AudioDecoder::setOutputChannels(int channels)
{
    if (channels == outputChannels_)
        return;
    outputChannels_ = channels;
    resampler_.reset();
}

bool AudioDecoder::receiveFrame()
{
    int failures = 0;
    while (true) {
        int result = avcodec_receive_frame(codec_.get(), frame_.get());
        if (result == 0)
            return true;
        if (result == AVERROR_EOF)
            return false;
        if (result != AVERROR(EAGAIN)) {
            if (++failures > maxFailuresInARow)
                return false;
            continue;
        }
        if (isDraining_)
            return false;
        result = av_read_frame(file_.context(), packet_.get());
        if (result < 0) {
            // The end, or a read error that ends the file here: take what the decoder holds.
            isDraining_ = true;
            avcodec_send_packet(codec_.get(), nullptr);
            continue;
        }
        if (packet_->stream_index == streamIndex_) {
            result = avcodec_send_packet(codec_.get(), packet_.get());
            if (result < 0 && ++failures > maxFailuresInARow) {
                av_packet_unref(packet_.get());
                return false;
            }
        }
        av_packet_unref(packet_.get());
    }
}

std::int64_t AudioDecoder::frameIndex(const AVFrame& frame) const
{
    std::int64_t timestamp = frame.best_effort_timestamp;
    if (timestamp == AV_NOPTS_VALUE)
        timestamp = frame.pts;
    if (timestamp == AV_NOPTS_VALUE)
        return nextFrame_;
    const AVStream* stream = file_.context()->streams[streamIndex_];
    return av_rescale_q(timestamp - startTime_, stream->time_base, AVRational { 1, sampleRate_ });
}

void AudioDecoder::configureResampler(const AVFrame& frame)
{
    if (resampler_ && frame.format == resamplerInputFormat_ && frame.ch_layout.nb_channels == resamplerInputChannels_)
        return;
    AVChannelLayout input {};
    if (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&input, frame.ch_layout.nb_channels);
    else
        av_channel_layout_copy(&input, &frame.ch_layout);
    AVChannelLayout output {};
    av_channel_layout_default(&output, outputChannels_);
    SwrContext* resampler = nullptr;
    const int result = swr_alloc_set_opts2(&resampler, &output, AV_SAMPLE_FMT_FLT, sampleRate_, &input,
        static_cast<AVSampleFormat>(frame.format), frame.sample_rate, 0, nullptr);
    resampler_.reset(resampler);
    if (result >= 0 && input.nb_channels == 1 && outputChannels_ > 1) {
        // libswresample would spread a mono signal at −3 dB; a mono file plays at full level
        // on every channel.
        const std::vector<double> matrix(static_cast<std::size_t>(outputChannels_), 1.0);
        swr_set_matrix(resampler_.get(), matrix.data(), 1);
    }
    av_channel_layout_uninit(&input);
    av_channel_layout_uninit(&output);
    if (result < 0 || swr_init(resampler_.get()) < 0) {
        resampler_.reset();
        return;
    }
    resamplerInputFormat_ = frame.format;
    resamplerInputChannels_ = frame.ch_layout.nb_channels;
}

bool AudioDecoder::convert(const AVFrame& frame)
{
    const std::int64_t first = needsAnchor_ ? frameIndex(frame) : nextFrame_;
    needsAnchor_ = false;
    if (isLengthExact_ && first >= length_) {
        isAtEnd_ = true; // only padding is left
        return false;
    }
    configureResampler(frame);
    if (!resampler_)
        return false;
    const int capacity = swr_get_out_samples(resampler_.get(), frame.nb_samples);
    if (capacity <= 0)
        return false;
    converted_.resize(static_cast<std::size_t>(capacity) * static_cast<std::size_t>(outputChannels_));
    auto* out = reinterpret_cast<std::uint8_t*>(converted_.data());
    const int count = swr_convert(resampler_.get(), &out, capacity,
        const_cast<const std::uint8_t**>(frame.extended_data), frame.nb_samples);
    if (count <= 0)
        return false;
    nextFrame_ = first + count;
    const std::int64_t from = std::max(first, skipUntil_);
    const std::int64_t to = isLengthExact_ ? std::min(nextFrame_, length_) : nextFrame_;
    if (to <= from)
        return false;
    const auto offset = static_cast<std::size_t>((from - first) * outputChannels_);
    const auto size = static_cast<std::size_t>((to - from) * outputChannels_);
    block_ = Block { std::span<const float>(converted_).subspan(offset, size), from };
    return true;
}

AudioDecoder::Block AudioDecoder::decode()
{
    if (hasBufferedFrame_) {
        hasBufferedFrame_ = false;
        if (convert(*frame_))
            return block_;
    }
    while (!isAtEnd_) {
        if (!receiveFrame()) {
            isAtEnd_ = true;
            break;
        }
        if (convert(*frame_))
            return block_;
    }
    return Block { {}, nextFrame_ };
}

void AudioDecoder::seek(std::int64_t frame)
{
    std::int64_t target = std::max<std::int64_t>(frame, 0);
    if (length_ > 0 && !isLengthCoarse_)
        target = std::min(target, length_); // AIFF refuses a seek past its end
    AVFormatContext* context = file_.context();
    const AVStream* stream = context->streams[streamIndex_];
    // Near the start, go to the very first packet, before any priming: the demuxer then trims
    // the encoder delay again exactly as when the file was opened.
    const std::int64_t from = target - seekPreroll;
    // Rounded down: a container that counts in blocks of frames (Musepack) would otherwise be
    // taken to the block after the target.
    const std::int64_t timestamp = av_rescale_q_rnd(from, AVRational { 1, sampleRate_ }, stream->time_base, AV_ROUND_DOWN) + startTime_;
    if (avformat_seek_file(context, streamIndex_, std::numeric_limits<std::int64_t>::min(), timestamp, timestamp, 0) < 0) {
        // Decode from the start and drop what comes before the target: slow, but exact.
        av_seek_frame(context, streamIndex_, startTime_, AVSEEK_FLAG_BACKWARD);
    }
    resetAfterSeek(target);
}

void AudioDecoder::resetAfterSeek(std::int64_t target)
{
    // A flush leaves some decoders (Musepack, WMA) in a state a straight decode never has, so
    // what follows a seek would differ from it: a fresh decoder starts as the first one did.
    const AVStream* stream = file_.context()->streams[streamIndex_];
    if (auto fresh = newCodec(*codec_->codec, *stream))
        codec_ = std::move(fresh);
    else
        avcodec_flush_buffers(codec_.get());
    hasBufferedFrame_ = false;
    isDraining_ = false;
    isAtEnd_ = false;
    needsAnchor_ = true;
    skipUntil_ = target;
    nextFrame_ = target;
}

} // namespace lh
