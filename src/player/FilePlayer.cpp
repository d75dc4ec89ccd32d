#include "FilePlayer.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <utility>

namespace lh {
namespace {

constexpr float silence = -std::numeric_limits<float>::infinity();

float decibels(double meanSquare, std::int64_t count)
{
    if (meanSquare <= 0 || count <= 0)
        return silence;
    return static_cast<float>(10.0 * std::log10(meanSquare));
}

} // namespace

FilePlayer::FilePlayer(std::unique_ptr<AudioDecoder> decoder, int deviceBufferFrames, OnEnd onEnd)
    : sampleRate_(decoder->sampleRate())
    , channels_(decoder->outputChannels())
    , fileChannels_(decoder->channels())
    , deviceBufferFrames_(deviceBufferFrames)
    , decoder_(std::move(decoder))
    , onEnd_(std::move(onEnd))
    , length_(decoder_->length())
    , history_(static_cast<std::size_t>(std::max(sampleRate_, 2 * deviceBufferFrames_))) // a second back
{
    // Two seconds of frames: far more than the device asks for at once (100–200 ms), so a
    // slow moment of the decoder is not heard, and the decoder, woken with half a second left,
    // runs once every one and a half seconds of audio.
    const auto capacity = static_cast<std::size_t>(2 * std::max(sampleRate_, deviceBufferFrames_));
    queue_.resize(capacity * static_cast<std::size_t>(channels_));
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
    return positionLocked() - origin_;
}

std::int64_t FilePlayer::length() const
{
    std::lock_guard lock(mutex_);
    return length_;
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
    std::unique_ptr<AudioDecoder> dropped; // closed once the lock is released
    {
        std::lock_guard lock(mutex_);
        dropped = dropNextLocked();
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
    revertJoinLocked(true); // the frame asked for is one of the file before the join
    std::int64_t target = std::max<std::int64_t>(frame, 0);
    if (length_ > 0)
        target = std::min(target, length_);
    ++seekCount_;
    seekTarget_ = target;
    queueStart_ = 0;
    queued_ = 0;
    hasDecodedAll_ = false;
    hasEnded_ = false;
    isPriming_ = true;
    silenceAfterEnd_ = 0;
    target += origin_;
    nextFrame_ = target;
    playing_ = Handed { target, 0 };
    waiting_ = playing_;
    history_.restart(target);
    firstHandedAt_.reset();
}

void FilePlayer::setWindowEnd(std::int64_t frame)
{
    {
        std::lock_guard lock(mutex_);
        windowEnd_ = frame == noWindowEnd ? frame : frame + origin_;
    }
    wake_.notify_all(); // whether a file is opened to join after the end depends on it
}

void FilePlayer::setIsPlaying(bool isPlaying)
{
    std::unique_ptr<AudioDecoder> dropped; // closed once the lock is released
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
        if (join_ && heard >= join_->at)
            return; // already in what follows a join, which stands: resuming skips a little
        dropped = dropNextLocked();
        if (hasEnded_ || heard == nextFrame_)
            return; // nothing handed is lost
        seekLocked(heard - origin_);
    }
    wake_.notify_all();
}

void FilePlayer::setGain(float factor)
{
    constexpr int rampsPerSecond = 200; // 5 ms: too short to hear as a fade, long enough not to click
    std::lock_guard lock(mutex_);
    if (isPriming_)
        gain_.jumpTo(factor);
    else
        gain_.rampTo(factor, sampleRate_ / rampsPerSecond);
}

// The frames from a join on are the continuation's and take its gain at exactly that frame.
void FilePlayer::applyGainLocked(float* samples, std::size_t frames, std::int64_t first)
{
    std::size_t before = frames;
    if (join_ && !join_->hasGainSwitched && join_->at < first + static_cast<std::int64_t>(frames))
        before = static_cast<std::size_t>(std::max<std::int64_t>(join_->at - first, 0));
    gain_.apply(samples, before, channels_);
    if (before == frames)
        return;
    join_->gainBefore = gain_.target();
    join_->hasGainSwitched = true;
    gain_.jumpTo(join_->next.gain);
    gain_.apply(samples + before * static_cast<std::size_t>(channels_), frames - before, channels_);
}

void FilePlayer::setServerLatency(std::optional<std::chrono::microseconds> latency)
{
    std::lock_guard lock(mutex_);
    serverLatency_ = latency;
}

// The frame being heard, for the meter: the newest frame handed, moved on by the time since it
// was handed and back by the server's latency. More than the history holds shows silence.
std::int64_t FilePlayer::heardLocked() const
{
    if (!isPlaying_ || !serverLatency_)
        return positionLocked();
    const std::chrono::duration<double> ago = *serverLatency_ - (Clock::now() - playingSince_);
    return history_.end() - static_cast<std::int64_t>(ago.count() * sampleRate_);
}

PowerLevels FilePlayer::levels() const
{
    std::lock_guard lock(mutex_);
    const PowerHistory::Power power = history_.power(heardLocked(), sampleRate_ / 20); // 50 ms
    const float leftPower = decibels(power.left, power.frames);
    const bool isMono = fileChannels_ < 2 || channels_ < 2;
    return { leftPower, isMono ? leftPower : decibels(power.right, power.frames) };
}

std::optional<std::chrono::steady_clock::time_point> FilePlayer::firstHandedAt() const
{
    std::lock_guard lock(mutex_);
    return firstHandedAt_;
}

bool FilePlayer::isAwaitingFrames() const
{
    std::lock_guard lock(mutex_);
    return isPriming_ && !hasDecodedAll_;
}

int FilePlayer::render(float* out, int frames, float gain) noexcept
{
    const auto wanted = static_cast<std::size_t>(std::max(frames, 0));
    const auto channels = static_cast<std::size_t>(channels_);
    std::size_t count = 0;
    bool isEndHeard = false;
    bool needsDecoder = false;
    std::uint64_t seekCount = 0;
    {
        std::lock_guard lock(mutex_);
        const std::int64_t first = nextFrame_;
        const bool isShort = queued_ < wanted && !hasDecodedAll_;
        count = isPriming_ && isShort ? 0 : take(out, wanted);
        isPriming_ = isPriming_ && count == 0;
        joinWindowLocked(first, count);
        applyGainLocked(out, count, first);
        muteFrom(out, count, first);
        history_.add(out, count, channels_, first);
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
        // The decoder refills the queue in long runs instead of a short one after every device
        // period: waking a thread, and the cold caches it starts on, cost more than the
        // decoding it would do. A quarter of the queue (half a second) still leaves it a few
        // periods to run in.
        needsDecoder = queued_ < queue_.size() / channels / 4;
    }
    if (needsDecoder)
        wake_.notify_all();
    std::fill(out + count * channels, out + wanted * channels, 0.0f);
    for (float& sample : std::span(out, count * channels))
        sample *= gain;
    if (isEndHeard && onEnd_)
        onEnd_(seekCount);
    return static_cast<int>(count);
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

void FilePlayer::decodeLoop()
{
    const auto channels = static_cast<std::size_t>(channels_);
    std::unique_lock lock(mutex_);
    std::uint64_t seekCount = seekCount_;
    while (!isQuitting_) {
        if (isRevertPending_) {
            // Back to the file before a join that was taken back: it had been decoded to
            // its end. The other decoder goes, outside the lock.
            isRevertPending_ = false;
            seekCount = seekCount_;
            std::swap(decoder_, previousDecoder_);
            auto dropped = std::move(previousDecoder_);
            lock.unlock();
            dropped.reset();
            lock.lock();
            continue;
        }
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
        if (needsNextDecoderLocked()) {
            openNextDecoder(lock);
            continue;
        }
        if (hasDecodedAll_) {
            if (canJoinFileLocked())
                joinFileLocked();
            else
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

bool FilePlayer::setNext(std::optional<Next> next)
{
    std::unique_ptr<AudioDecoder> dropped;
    {
        std::lock_guard lock(mutex_);
        if (join_ && next == join_->next)
            return true;
        if (!revertJoinLocked(false))
            return false;
        if (next != next_) {
            next_ = std::move(next);
            ++nextCount_;
            dropped = std::move(nextDecoder_);
            hasNextFailed_ = false;
        }
    }
    wake_.notify_all(); // to open the new one, or to go back to the file before the join
    return true;
}

bool FilePlayer::takeJoin()
{
    std::unique_ptr<AudioDecoder> previous;
    {
        std::lock_guard lock(mutex_);
        if (!join_ || positionLocked() < join_->at)
            return false;
        origin_ = join_->origin;
        length_ = join_->length;
        join_.reset();
        previous = std::move(previousDecoder_);
    }
    wake_.notify_all(); // a continuation armed from here on may be opened now
    return true;
}

// The same file going on from the window end: the end moves on as the first frame past it
// leaves for the device, so every frame of the file is heard once and in order.
void FilePlayer::joinWindowLocked(std::int64_t first, std::size_t frames)
{
    const bool continuesWindow = next_ && next_->isSameFile && windowEnd_ != noWindowEnd && next_->start + origin_ == windowEnd_;
    if (!continuesWindow || join_)
        return;
    if (first + static_cast<std::int64_t>(frames) <= windowEnd_)
        return;
    const std::int64_t end = next_->end == noWindowEnd ? noWindowEnd : next_->end + origin_;
    join_ = Join { windowEnd_, origin_, length_, windowEnd_, false, *next_ };
    windowEnd_ = end;
    next_.reset();
}

bool FilePlayer::needsNextDecoderLocked() const
{
    // Played to the file's end, anything armed is opened afresh: another file, or this one
    // again from a start of its own (a repeat, the first window of a file after its last).
    return next_ && !nextDecoder_ && !hasNextFailed_ && !join_ && windowEnd_ == noWindowEnd;
}

// Opens the armed file off the lock; it is kept only if it is still the one armed and
// suits the device as it is.
void FilePlayer::openNextDecoder(std::unique_lock<std::mutex>& lock)
{
    const Next next = *next_;
    const std::uint64_t count = nextCount_;
    lock.unlock();
    std::unique_ptr<AudioDecoder> decoder;
    try {
        decoder = std::make_unique<AudioDecoder>(next.file);
        if (decoder->sampleRate() != sampleRate_ || decoder->channels() != fileChannels_) {
            decoder.reset();
        } else {
            decoder->setOutputChannels(channels_);
            if (next.start > 0)
                decoder->seek(next.start);
        }
    } catch (const std::exception&) {
        decoder.reset(); // not joined: the file ends as usual and is loaded afresh
    }
    lock.lock();
    if (count != nextCount_) {
        lock.unlock();
        decoder.reset();
        lock.lock();
        return;
    }
    hasNextFailed_ = !decoder;
    nextDecoder_ = std::move(decoder);
}

bool FilePlayer::canJoinFileLocked() const
{
    return next_ && nextDecoder_ && !join_ && !hasEnded_ && pending_.empty() && windowEnd_ == noWindowEnd;
}

// At the end of the file being decoded: the armed file's frames follow in the queue.
void FilePlayer::joinFileLocked()
{
    const std::int64_t at = nextFrame_ + static_cast<std::int64_t>(queued_);
    const std::int64_t origin = at - next_->start;
    join_ = Join { at, origin, nextDecoder_->length(), windowEnd_, true, *next_ };
    windowEnd_ = next_->end == noWindowEnd ? noWindowEnd : next_->end + origin;
    next_.reset();
    previousDecoder_ = std::move(decoder_);
    decoder_ = std::move(nextDecoder_);
    hasDecodedAll_ = false;
    silenceAfterEnd_ = 0;
}

// A seek or a pause takes back the continuation, joined or only armed: the caller works out
// afresh what follows. Returns the decoder opened for it, to be closed outside the lock.
std::unique_ptr<AudioDecoder> FilePlayer::dropNextLocked()
{
    revertJoinLocked(true);
    if (next_) {
        next_.reset();
        ++nextCount_; // a decoder being opened for it now is thrown away
        hasNextFailed_ = false;
    }
    return std::move(nextDecoder_);
}

// Takes back a join not yet heard. Without `isForced`, only while none of the continuation's
// frames has left for the device; a seek throws those away anyway.
bool FilePlayer::revertJoinLocked(bool isForced)
{
    if (!join_)
        return true;
    if (!isForced && nextFrame_ > join_->at)
        return false;
    if (join_->isOtherFile) {
        queued_ = nextFrame_ < join_->at ? std::min(queued_, static_cast<std::size_t>(join_->at - nextFrame_)) : 0;
        pending_ = {};
        hasDecodedAll_ = true;
        isRevertPending_ = true;
        ++seekCount_; // a block of the other file being decoded now is thrown away
    }
    windowEnd_ = join_->windowEndBefore;
    if (join_->hasGainSwitched)
        gain_.jumpTo(join_->gainBefore); // what is handed next is the file before the join again
    join_.reset();
    return true;
}

} // namespace lh
