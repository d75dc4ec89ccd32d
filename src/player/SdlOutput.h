#pragma once

#include "AudioOutput.h"

#include <SDL_audio.h>

#include <functional>
#include <memory>
#include <string>

namespace lh {

class FilePlayer;

// SDL's audio device, for machines where no PulseAudio server (or PipeWire's) answers: ALSA
// alone, and the dummy and disk drivers the tests use. See AudioOutput.
//
// The device is open only while playing, so a sound server could suspend the sink. (In a
// burst of pauses and loads the stream is closed a moment later, once earlier closes are
// done.) SDL's file and null drivers, which have no sink to suspend and whose capture a reopen
// would start afresh, stay open. Where no device opens, the next resume() restarts SDL's
// driver, so that a server or card there since is found.
//
// `onLost` is called on one of SDL's threads; a sound server's stream is closed on a thread of
// its own (its source is out of use before pause() returns).
class SdlOutput final : public AudioOutput {
public:
    SdlOutput(int sampleRate, int channels);
    ~SdlOutput() override;

    Kind kind() const override { return Kind::sdl; }
    void setSource(FilePlayer* source) override;
    bool resume() override;
    // Closes the device where a sound server could otherwise not go idle.
    void pause() override;
    void close() override { pause(); }
    bool isOpen() const override { return device_ != 0; }
    bool isLost() const override;
    // Called when SDL reports some output device gone.
    void setOnLost(std::function<void()> onLost) override;
    bool isWithoutOutput() const override;
    // Shown from the next open on.
    void setStreamName(const std::string& name) override;

    // Whether devices are still being closed, which happens off the main thread for a sound
    // server's streams. SDL's audio may be quit only once none is.
    static bool isClosingDevices();

private:
    static void SDLCALL fill(void* self, Uint8* stream, int length);
    bool openDevice();
    SDL_AudioDeviceID openSDLDevice();
    void closeDevice();
    void closeWhenCaughtUp();

    SDL_AudioDeviceID device_ = 0;
    std::shared_ptr<std::function<void()>> onLost_;
    FilePlayer* source_ = nullptr; // guarded by the device lock while a device is open
    bool isHeld_ = false; // paused with the stream kept open until closes have caught up
    std::shared_ptr<bool> liveness_ = std::make_shared<bool>(true);
};

} // namespace lh
