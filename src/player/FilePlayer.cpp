#include "FilePlayer.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <utility>

namespace lh {
namespace {

constexpr float silence = -std::numeric_limits<float>::infinity();

float decibels(double sumOfSquares, std::int64_t count)
{
    if (sumOfSquares <= 0 || count <= 0)
        return silence;
    return static_cast<float>(10.0 * std::log10(sumOfSquares / static_cast<double>(count)));
}

} // namespace

FilePlayer::FilePlayer(std::unique_ptr<AudioDecoder> decoder, int deviceBufferFrames, OnEnd onEnd)
    : sampleRate_(decoder->sampleRate())
    , channels_(decoder->outputChannels())
    , fileChannels_(decoder->channels())
    , length_(decoder->length())
    , deviceBufferFrames_(deviceBufferFrames)
    , decoder_(std::move(decoder))
    , onEnd_(std::move(onEnd))
{
    // A second of frames: far more than the device asks for at once (100–200 ms), so a slow
    // moment of the decoder is not heard.
    const auto capacity = static_cast<std::size_t>(std::max(sampleRate_, 2 * deviceBufferFrames_));
    queue_.resize(capacity * static_cast<std::size_t>(channels_));
    history_.resize(capacity * 2);
    prefill();
    decoderThread_ = std::thread([this] { decodeLoop(); });
}

void FilePlayer::prefill()
{
    // The device's first request then finds a buffer's worth at once instead of a gap.
    while (queued_ < static_cast<std::size_t>(deviceBufferFrames_) && pending_.empty() && !hasDecodedAll_) {
        const std::span<const float> samples = decoder_->decode().samples;
        hasDecodedAll_ = samples.empty();
        pending_ = samples.subspan(enqueue(samples) * static_cast<std::size_t>(channels_));
    }
}

std::size_t FilePlayer::enqueue(std::span<const float> samples)
{
    const auto channels = static_cast<std::size_t>(channels_);
    const std::size_t capacity = queue_.size() / channels;
    const std::size_t frames = std::min(capacity - queued_, samples.size() / channels);
    const std::size_t end = (queueStart_ + queued_) % capacity;
    const std::size_t firstPart = std::min(frames, capacity - end);
    std::copy_n(samples.data(), firstPart * channels, queue_.data() + end * channels);
    std::copy_n(samples.data() + firstPart * channels, (frames - firstPart) * channels, queue_.data());
    queued_ += frames;
    return frames;
}

FilePlayer::~FilePlayer()
{
    {
        std::lock_guard lock(mutex_);
        isQuitting_ = true;
    }
    wake_.notify_all();
    decoderThread_.join();
}

std::int64_t FilePlayer::position() const
{
    std::lock_guard lock(mutex_);
    return positionLocked();
}

std::int64_t FilePlayer::positionLocked() const
{
    if (!isPlaying_)
        return nextFrame_;
    const std::chrono::duration<double> elapsed = Clock::now() - playingSince_;
    const auto played = static_cast<std::int64_t>(elapsed.count() * sampleRate_);
    return playing_.first + std::clamp<std::int64_t>(played, 0, playing_.count);
}

void FilePlayer::seek(std::int64_t frame)
{
    {
        std::lock_guard lock(mutex_);
        seekLocked(frame);
    }
    wake_.notify_all();
}

std::uint64_t FilePlayer::seekCount() const
{
    std::lock_guard lock(mutex_);
    return seekCount_;
}

void FilePlayer::seekLocked(std::int64_t frame)
{
    std::int64_t target = std::max<std::int64_t>(frame, 0);
    if (length_ > 0)
        target = std::min(target, length_);
    ++seekCount_;
    seekTarget_ = target;
    queueStart_ = 0;
    queued_ = 0;
    hasDecodedAll_ = false;
    hasEnded_ = false;
    silenceAfterEnd_ = 0;
    nextFrame_ = target;
    playing_ = Handed { target, 0 };
    waiting_ = playing_;
    historyEnd_ = target;
    historyCount_ = 0;
    firstHandedAt_.reset();
}

void FilePlayer::setWindowEnd(std::int64_t frame)
{
    std::lock_guard lock(mutex_);
    windowEnd_ = frame;
}

void FilePlayer::setIsPlaying(bool isPlaying)
{
    {
        std::lock_guard lock(mutex_);
        if (isPlaying == isPlaying_)
            return;
        if (isPlaying) {
            isPlaying_ = true;
            playing_ = Handed { nextFrame_, 0 };
            waiting_ = playing_;
            return;
        }
        // The frames handed to the device but not yet heard are lost with the pause; going
        // back to what was heard makes the resumed playback carry on without a jump.
        const std::int64_t heard = positionLocked();
        isPlaying_ = false;
        if (hasEnded_ || heard == nextFrame_)
            return;
        seekLocked(heard);
    }
    wake_.notify_all();
}

PowerLevels FilePlayer::levels() const
{
    std::lock_guard lock(mutex_);
    const std::int64_t end = std::min(positionLocked(), historyEnd_);
    const std::int64_t begin = std::max(end - sampleRate_ / 20, historyEnd_ - historyCount_); // 50 ms
    if (end <= begin)
        return { silence, silence };
    const auto capacity = static_cast<std::int64_t>(history_.size() / 2);
    double left = 0;
    double right = 0;
    for (std::int64_t frame = begin; frame < end; ++frame) {
        const auto index = static_cast<std::size_t>(frame % capacity) * 2;
        left += static_cast<double>(history_[index]) * history_[index];
        right += static_cast<double>(history_[index + 1]) * history_[index + 1];
    }
    const float leftPower = decibels(left, end - begin);
    const bool isMono = fileChannels_ < 2 || channels_ < 2;
    return { leftPower, isMono ? leftPower : decibels(right, end - begin) };
}

std::optional<std::chrono::steady_clock::time_point> FilePlayer::firstHandedAt() const
{
    std::lock_guard lock(mutex_);
    return firstHandedAt_;
}

void FilePlayer::render(float* out, int frames, float gain) noexcept
{
    const auto wanted = static_cast<std::size_t>(std::max(frames, 0));
    const auto channels = static_cast<std::size_t>(channels_);
    std::size_t count = 0;
    bool isEndHeard = false;
    std::uint64_t seekCount = 0;
    {
        std::lock_guard lock(mutex_);
        const std::int64_t first = nextFrame_;
        count = take(out, wanted);
        muteFrom(out, count, first);
        remember(out, count, first);
        nextFrame_ += static_cast<std::int64_t>(count);
        playing_ = waiting_;
        waiting_ = Handed { first, static_cast<std::int64_t>(count) };
        playingSince_ = Clock::now();
        if (count > 0 && !firstHandedAt_)
            firstHandedAt_ = playingSince_;
        if (count == 0 && hasDecodedAll_ && !hasEnded_) {
            // Report the end once the last block handed has been played out.
            silenceAfterEnd_ += static_cast<std::int64_t>(wanted);
            isEndHeard = silenceAfterEnd_ > deviceBufferFrames_;
            hasEnded_ = isEndHeard;
            seekCount = seekCount_;
        }
    }
    wake_.notify_all();
    std::fill(out + count * channels, out + wanted * channels, 0.0f);
    for (float& sample : std::span(out, count * channels))
        sample *= gain;
    if (isEndHeard && onEnd_)
        onEnd_(seekCount);
}

std::size_t FilePlayer::take(float* out, std::size_t frames)
{
    const auto channels = static_cast<std::size_t>(channels_);
    const std::size_t capacity = queue_.size() / channels;
    const std::size_t count = std::min(frames, queued_);
    const std::size_t firstPart = std::min(count, capacity - queueStart_);
    std::copy_n(queue_.data() + queueStart_ * channels, firstPart * channels, out);
    std::copy_n(queue_.data(), (count - firstPart) * channels, out + firstPart * channels);
    queueStart_ = (queueStart_ + count) % capacity;
    queued_ -= count;
    return count;
}

void FilePlayer::muteFrom(float* samples, std::size_t frames, std::int64_t first) const
{
    const std::int64_t end = first + static_cast<std::int64_t>(frames);
    if (windowEnd_ >= end)
        return;
    const auto from = static_cast<std::size_t>(std::max<std::int64_t>(windowEnd_ - first, 0));
    const auto channels = static_cast<std::size_t>(channels_);
    std::fill(samples + from * channels, samples + frames * channels, 0.0f);
}

void FilePlayer::remember(const float* samples, std::size_t frames, std::int64_t first)
{
    const auto capacity = static_cast<std::int64_t>(history_.size() / 2);
    if (first != historyEnd_)
        historyCount_ = 0;
    const std::size_t right = channels_ > 1 ? 1 : 0;
    for (std::size_t i = 0; i < frames; ++i) {
        const auto index = static_cast<std::size_t>((first + static_cast<std::int64_t>(i)) % capacity) * 2;
        history_[index] = samples[i * static_cast<std::size_t>(channels_)];
        history_[index + 1] = samples[i * static_cast<std::size_t>(channels_) + right];
    }
    historyEnd_ = first + static_cast<std::int64_t>(frames);
    historyCount_ = std::min(historyCount_ + static_cast<std::int64_t>(frames), capacity);
}

void FilePlayer::decodeLoop()
{
    const auto channels = static_cast<std::size_t>(channels_);
    std::unique_lock lock(mutex_);
    std::uint64_t seekCount = seekCount_;
    while (!isQuitting_) {
        if (seekTarget_ >= 0) {
            const std::int64_t target = std::exchange(seekTarget_, -1);
            seekCount = seekCount_;
            pending_ = {};
            lock.unlock();
            decoder_->seek(target);
            lock.lock();
            continue;
        }
        if (!pending_.empty()) {
            const std::size_t frames = enqueue(pending_);
            if (frames == 0)
                wake_.wait(lock); // full
            pending_ = pending_.subspan(frames * channels);
            continue;
        }
        if (hasDecodedAll_) {
            wake_.wait(lock);
            continue;
        }
        lock.unlock();
        const AudioDecoder::Block block = decoder_->decode();
        lock.lock();
        if (seekCount != seekCount_)
            continue; // decoded for an earlier seek
        if (block.samples.empty())
            hasDecodedAll_ = true;
        pending_ = block.samples;
    }
}

} // namespace lh
