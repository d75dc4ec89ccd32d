#pragma once

#include "AudioOutput.h"

#include <atomic>
#include <string>
#include <vector>

struct pa_buffer_attr;
struct pa_operation;
struct pa_stream;
struct pa_time_event;
struct pa_mainloop_api;
struct timeval;

namespace lh {

class PulseConnection;

// One playback stream of the sound server's (PulseAudio, or PipeWire's PulseAudio service),
// kept from the first resume() to close(): a pause corks it, so the sink can suspend and
// nothing wakes us, and a resume uncorks it. A track starts corked and is uncorked once its
// first buffer is written, so no silence is heard before it; a pause and a seek drop what
// the server holds, so the next frame heard is the one the source hands next.
//
// The source is rendered on the connection's loop thread as the server asks for frames;
// after each write the server is asked how long it holds them, which the source's meter
// follows. `onLost` is called on that thread when the stream or the server goes.
class PulseOutput final : public AudioOutput {
public:
    PulseOutput(int sampleRate, int channels);
    ~PulseOutput() override;

    Kind kind() const override { return Kind::soundServer; }
    void setSource(FilePlayer* source) override;
    bool resume() override;
    void pause() override;
    void close() override;
    void seekSource(const std::function<void()>& seek) override;
    bool isOpen() const override;
    bool isLost() const override { return isLost_.load(); }
    void setOnLost(std::function<void()> onLost) override;
    bool isWithoutOutput() const override { return isWithoutOutput_; }
    // Shown at once by a stream already open.
    void setStreamName(const std::string& name) override;

    void setDevice(const std::string& name) override;

private:
    bool openStream();
    pa_buffer_attr requestedAttributes() const;
    std::size_t grantedBlockFrames() const;
    void dropStream();
    void corkAndFlush();
    void fillLocked();
    void retryLater();
    void cancelRetry();
    void askLatency();
    static void onState(pa_stream* stream, void* self);
    static void onWritable(pa_stream* stream, std::size_t bytes, void* self);
    static void onRetry(pa_mainloop_api* api, pa_time_event* event, const timeval* when, void* self);

    PulseConnection& connection_;
    // The loop's lock:
    pa_stream* stream_ = nullptr;
    pa_time_event* retry_ = nullptr;
    pa_operation* latencyQuery_ = nullptr;
    FilePlayer* source_ = nullptr;
    bool isPlaying_ = false;
    bool isCorked_ = true;
    std::function<void()> onLost_;
    std::string streamName_ = "Larkhaven";
    std::string sink_;
    std::size_t blockFrames_ = 0; // written at a time
    std::vector<float> buffer_;

    std::atomic<bool> isLost_ { false };
    bool isWithoutOutput_ = false;
};

} // namespace lh
