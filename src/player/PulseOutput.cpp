#include "PulseOutput.h"

#include "FilePlayer.h"
#include "PulseConnection.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/proplist.h>
#include <pulse/rtclock.h>
#include <pulse/stream.h>
#include <pulse/timeval.h>

#include <algorithm>
#include <memory>

namespace lh {
namespace {

using namespace std::chrono_literals;
using Lock = PulseConnection::Lock;

// How long a track waits for its decoder before the server is offered its first frames again.
constexpr pa_usec_t primingRetry = 10 * PA_USEC_PER_MSEC;

void forget(pa_operation* operation)
{
    if (operation)
        pa_operation_unref(operation);
}

bool isReady(pa_stream* stream)
{
    return stream && pa_stream_get_state(stream) == PA_STREAM_READY;
}

} // namespace

PulseOutput::PulseOutput(int sampleRate, int channels)
    : AudioOutput(sampleRate, channels)
    , connection_(PulseConnection::instance())
{
}

PulseOutput::~PulseOutput()
{
    close();
}

void PulseOutput::setSource(FilePlayer* source)
{
    Lock lock(connection_);
    source_ = source;
}

bool PulseOutput::resume()
{
    if (isLost_.load()) {
        Lock lock(connection_);
        dropStream();
    }
    if (!stream_ && !openStream())
        return false;
    Lock lock(connection_);
    isPlaying_ = true;
    fillLocked();
    return true;
}

void PulseOutput::pause()
{
    Lock lock(connection_);
    if (isLost_.load() && isPlaying_)
        hasSaidLoss(); // the engine said it; tries until a server is back say nothing
    isPlaying_ = false;
    cancelRetry();
    if (isLost_.load())
        dropStream();
    else
        corkAndFlush();
}

void PulseOutput::close()
{
    Lock lock(connection_);
    isPlaying_ = false;
    cancelRetry();
    dropStream();
}

void PulseOutput::seekSource(const std::function<void()>& seek)
{
    Lock lock(connection_);
    if (isReady(stream_))
        forget(pa_stream_flush(stream_, nullptr, nullptr));
    seek();
}

bool PulseOutput::isOpen() const
{
    return stream_ && !isLost_.load();
}

void PulseOutput::setOnLost(std::function<void()> onLost)
{
    Lock lock(connection_);
    onLost_ = std::move(onLost);
}

void PulseOutput::setStreamName(const std::string& name)
{
    Lock lock(connection_);
    streamName_ = name.empty() ? std::string("Larkhaven") : name;
    if (isReady(stream_))
        forget(pa_stream_set_name(stream_, streamName_.c_str(), nullptr, nullptr));
}

void PulseOutput::setDevice(const std::string& name)
{
    Lock lock(connection_);
    sink_ = name;
    if (!isReady(stream_))
        return;
    const std::string target = name.empty() ? connection_.defaultSink() : name;
    if (!target.empty())
        forget(pa_context_move_sink_input_by_name(pa_stream_get_context(stream_), pa_stream_get_index(stream_), target.c_str(), nullptr, nullptr));
}

bool PulseOutput::openStream()
{
    isWithoutOutput_ = false;
    if (!connection_.connect(500ms)) {
        warnNoDevice("no sound server answers");
        return false;
    }
    if (connection_.sinks().empty()) {
        isWithoutOutput_ = true;
        warnNoDevice("the sound server has no output device");
        return false;
    }
    {
        Lock lock(connection_);
        pa_context* context = connection_.context();
        if (!context)
            return false;
        const pa_sample_spec spec { PA_SAMPLE_FLOAT32NE, static_cast<std::uint32_t>(sampleRate()), static_cast<std::uint8_t>(channels()) };
        pa_channel_map map;
        pa_channel_map_init_extend(&map, static_cast<unsigned>(channels()), PA_CHANNEL_MAP_WAVEEX); // FFmpeg's order
        const std::unique_ptr<pa_proplist, decltype(&pa_proplist_free)> properties(pa_proplist_new(), &pa_proplist_free);
        pa_proplist_sets(properties.get(), PA_PROP_MEDIA_ROLE, "music");
        pa_proplist_sets(properties.get(), PA_PROP_APPLICATION_ICON_NAME, "larkhaven");
        pa_proplist_sets(properties.get(), PA_PROP_APPLICATION_ID, "larkhaven");
        stream_ = pa_stream_new_with_proplist(context, streamName_.c_str(), &spec, &map, properties.get());
        if (!stream_)
            return false;
        isLost_ = false;
        isCorked_ = true;
        pa_stream_set_state_callback(stream_, &PulseOutput::onState, this);
        pa_stream_set_write_callback(stream_, &PulseOutput::onWritable, this);
        const pa_buffer_attr attributes = requestedAttributes();
        const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY);
        const std::vector<PulseConnection::Sink> sinks = connection_.sinks();
        const bool hasSink = std::any_of(sinks.begin(), sinks.end(), [&](const auto& sink) { return sink.name == sink_; });
        if (pa_stream_connect_playback(stream_, hasSink ? sink_.c_str() : nullptr, &attributes, flags, nullptr, nullptr) < 0) {
            dropStream();
            return false;
        }
    }
    const bool isUp = connection_.waitUntil([this] { return pa_stream_get_state(stream_) != PA_STREAM_CREATING; }, 1s);
    Lock lock(connection_);
    if (!isUp || !isReady(stream_)) {
        dropStream();
        warnNoDevice("the sound server refused the stream");
        return false;
    }
    blockFrames_ = grantedBlockFrames();
    hasPlayed();
    return true;
}

// Two buffers in all, as SDL's device held, of which the server keeps a quarter in the sink
// (it gives the sink (tlength - 2 minreq) / 2), so the sink sleeps a tenth of a second at a
// time; asked for a buffer at a time it was left half a millisecond and kept the server busy.
// Playback starts at one buffer, the block fillLocked() writes.
pa_buffer_attr PulseOutput::requestedAttributes() const
{
    const auto bufferBytes = static_cast<std::uint32_t>(bufferFrames() * channels() * static_cast<int>(sizeof(float)));
    const auto unset = static_cast<std::uint32_t>(-1);
    return { unset, 2 * bufferBytes, bufferBytes, bufferBytes / 2, unset };
}

// A buffer, unless the server keeps less or starts later than that: the block must fit in
// what it asks for, and one must be enough to start it.
std::size_t PulseOutput::grantedBlockFrames() const
{
    const auto frameBytes = static_cast<std::size_t>(channels()) * sizeof(float);
    auto frames = static_cast<std::size_t>(bufferFrames());
    if (const pa_buffer_attr* granted = pa_stream_get_buffer_attr(stream_)) {
        frames = std::min(frames, granted->tlength / frameBytes);
        frames = std::max(frames, (granted->prebuf + frameBytes - 1) / frameBytes);
    }
    return std::max<std::size_t>(frames, 1);
}

void PulseOutput::dropStream()
{
    if (!stream_)
        return;
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_write_callback(stream_, nullptr, nullptr);
    if (latencyQuery_) {
        pa_operation_cancel(latencyQuery_);
        pa_operation_unref(latencyQuery_);
        latencyQuery_ = nullptr;
    }
    pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
    stream_ = nullptr;
    blockFrames_ = 0;
    isCorked_ = true;
    isLost_ = false;
}

// Corked, the stream leaves the sink idle, so it can suspend; flushed, the next frame heard
// is the one the source hands next.
void PulseOutput::corkAndFlush()
{
    if (!isReady(stream_))
        return;
    if (!isCorked_)
        forget(pa_stream_cork(stream_, 1, nullptr, nullptr));
    isCorked_ = true;
    forget(pa_stream_flush(stream_, nullptr, nullptr));
}

// Hands the server whole blocks once it asks for one: the source takes each block it renders
// to be heard while the next is asked for, which holds only while the blocks are alike. A
// source still waiting for its decoder's first buffer is offered again a moment later rather
// than played as silence.
void PulseOutput::fillLocked()
{
    cancelRetry();
    if (!isPlaying_ || !isReady(stream_) || blockFrames_ == 0)
        return;
    const std::size_t writable = pa_stream_writable_size(stream_);
    if (writable == static_cast<std::size_t>(-1))
        return;
    const auto frameBytes = static_cast<std::size_t>(channels()) * sizeof(float);
    std::size_t blocks = writable / (blockFrames_ * frameBytes);
    bool hasWritten = false;
    for (; blocks > 0; --blocks) {
        buffer_.assign(blockFrames_ * static_cast<std::size_t>(channels()), 0.0f);
        const int handed = source_ ? source_->render(buffer_.data(), static_cast<int>(blockFrames_), volume()) : 0;
        if (handed == 0 && source_ && source_->isAwaitingFrames()) {
            retryLater();
            break;
        }
        if (pa_stream_write(stream_, buffer_.data(), blockFrames_ * frameBytes, nullptr, 0, PA_SEEK_RELATIVE) < 0)
            break;
        hasWritten = true;
    }
    if (!hasWritten)
        return;
    if (isCorked_) {
        forget(pa_stream_cork(stream_, 0, nullptr, nullptr));
        isCorked_ = false;
    }
    askLatency();
}

void PulseOutput::retryLater()
{
    retry_ = pa_context_rttime_new(pa_stream_get_context(stream_), pa_rtclock_now() + primingRetry, &PulseOutput::onRetry, this);
}

void PulseOutput::cancelRetry()
{
    if (!retry_)
        return;
    pa_mainloop_api* api = connection_.api();
    api->time_free(retry_);
    retry_ = nullptr;
}

// What the server holds once a buffer is written: how long the meter looks back.
void PulseOutput::askLatency()
{
    if (latencyQuery_)
        return;
    const auto onTiming = [](pa_stream* stream, int isDone, void* data) {
        auto* output = static_cast<PulseOutput*>(data);
        pa_operation_unref(output->latencyQuery_);
        output->latencyQuery_ = nullptr;
        pa_usec_t latency = 0;
        int isNegative = 0;
        if (isDone && output->source_ && pa_stream_get_latency(stream, &latency, &isNegative) == 0)
            output->source_->setServerLatency(std::chrono::microseconds(isNegative ? 0 : latency));
    };
    latencyQuery_ = pa_stream_update_timing_info(stream_, onTiming, this);
}

void PulseOutput::onState(pa_stream* stream, void* self)
{
    auto* output = static_cast<PulseOutput*>(self);
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) {
        output->isLost_ = true;
        if (output->onLost_)
            output->onLost_();
    }
    output->connection_.notify();
}

void PulseOutput::onWritable(pa_stream*, std::size_t, void* self)
{
    static_cast<PulseOutput*>(self)->fillLocked();
}

void PulseOutput::onRetry(pa_mainloop_api* api, pa_time_event* event, const timeval*, void* self)
{
    auto* output = static_cast<PulseOutput*>(self);
    api->time_free(event);
    output->retry_ = nullptr;
    output->fillLocked();
}

} // namespace lh
