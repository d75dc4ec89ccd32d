#include "SdlOutput.h"

#include "FilePlayer.h"
#include "PulseServer.h"
#include "SerialExecutor.h"

#include <QTimer>

#include <SDL.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

namespace lh {
namespace {

// Process-wide state of SDL's audio subsystem; main thread only.
struct AudioSystem {
    // No driver yet, or the last one lost its server or opened nothing: start it afresh
    // before the next open, so that a server started since is found.
    bool needsRestart = true;
    // The last start found a sound server without any device to play to.
    bool isServerWithoutOutput = false;
    int openDevices = 0;
    std::string streamName = "Larkhaven";
};

AudioSystem& audioSystem()
{
    static AudioSystem system;
    return system;
}

// SDL's close returns only after the device thread has slept through two buffers (about 0.4 s
// with ours), so on the main thread every Pause would freeze the window that long. Devices are
// closed on a thread of their own instead, one at a time; the driver is restarted only once
// none is left closing, as a restart closes every open device itself.
struct DeviceCloser {
    std::atomic<int> closing { 0 };
    SerialExecutor thread; // last: runs what is queued before the rest goes

    void close(SDL_AudioDeviceID device)
    {
        closing.fetch_add(1);
        thread.execute([this, device] {
            SDL_CloseAudioDevice(device);
            closing.fetch_sub(1);
        });
    }
};

DeviceCloser& deviceCloser()
{
    static DeviceCloser closer;
    return closer;
}

// SDL opens at most 16 devices, those still being closed among them, and each close waits
// through two buffers: a burst of loads or pauses (a hand-over of twenty files, Next held down)
// would queue closes faster than they end, and the next Play would find no device. Past this
// many closes under way, a pause keeps the stream, paused, and closes it once the closer has
// caught up; a Play meanwhile plays on through it.
constexpr int closesUnderWay = 4;
constexpr std::chrono::milliseconds closeRetry { 200 };

// Who to tell when SDL reports a device gone; written on the main thread, read on SDL's.
struct LossWatchers {
    std::mutex mutex;
    std::map<SDL_AudioDeviceID, std::weak_ptr<std::function<void()>>> byDevice;
};

LossWatchers& lossWatchers()
{
    static LossWatchers watchers;
    return watchers;
}

int SDLCALL watchEvent(void*, SDL_Event* event)
{
    if (event->type != SDL_AUDIODEVICEREMOVED || event->adevice.iscapture)
        return 0;
    LossWatchers& watchers = lossWatchers();
    std::lock_guard lock(watchers.mutex);
    const auto found = watchers.byDevice.find(event->adevice.which);
    if (found != watchers.byDevice.end()) {
        if (auto onLost = found->second.lock(); onLost && *onLost)
            (*onLost)();
    }
    return 0;
}

// SDL reports a lost device only as an event, and only with its event subsystem running.
void watchLosses()
{
    static bool isWatching = false;
    if (isWatching)
        return;
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1"); // Qt and the desktop own SIGINT and SIGTERM
    isWatching = SDL_InitSubSystem(SDL_INIT_EVENTS) == 0;
    if (isWatching)
        SDL_AddEventWatch(&watchEvent, nullptr);
}

bool hasDriver(std::string_view name)
{
    for (int i = 0; i < SDL_GetNumAudioDrivers(); ++i) {
        if (name == SDL_GetAudioDriver(i))
            return true;
    }
    return false;
}

// Without a card ALSA only fills the terminal with its complaints, and so does PipeWire's
// library without a PipeWire server.
bool hasSoundCard()
{
    std::ifstream cards("/proc/asound/cards");
    std::string line;
    return std::getline(cards, line) && line.find("no soundcards") == std::string::npos;
}

bool hasPipeWire()
{
    if (const char* remote = std::getenv("PIPEWIRE_REMOTE"); remote && *remote)
        return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime && std::ifstream(std::string(runtime) + "/pipewire-0").is_open();
}

bool isWorthTrying(std::string_view driver)
{
    if (!hasDriver(driver))
        return false;
    if (driver == "alsa")
        return hasSoundCard();
    if (driver == "pipewire")
        return hasPipeWire();
    return true;
}

// A server with no sink must not meet SDL's PulseAudio driver (see PulseServer::hasSink). A
// local server answers within milliseconds; one that does not answer in time is left to SDL.
bool isPulseServerWithoutSink()
{
    using namespace std::chrono_literals;
    return PulseServer::hasSink(500ms) == false;
}

bool mayStartPulseAudio(std::string_view drivers)
{
    const bool isWithoutSink = drivers.find("pulseaudio") != std::string_view::npos && isPulseServerWithoutSink();
    audioSystem().isServerWithoutOutput = isWithoutSink;
    if (isWithoutSink)
        SDL_SetError("the sound server has no output device");
    return !isWithoutSink;
}

bool startDriver()
{
    audioSystem().isServerWithoutOutput = false;
    if (SDL_GetCurrentAudioDriver())
        SDL_AudioQuit();
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "Larkhaven");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_ROLE, "music");
    if (const char* chosen = std::getenv("SDL_AUDIODRIVER"); chosen && *chosen)
        return mayStartPulseAudio(chosen) && SDL_AudioInit(nullptr) == 0;
    for (const char* name : { "pulseaudio", "pipewire", "alsa" }) {
        if (!isWorthTrying(name))
            continue;
        // A server that answers owns the sound: with no sink there, nothing else plays either.
        if (!mayStartPulseAudio(name))
            return false;
        if (SDL_AudioInit(name) == 0)
            return true;
    }
    SDL_SetError("no sound server and no sound card");
    return false;
}

// SDL's file and null drivers have no sink to suspend, and reopening the file driver would
// start its capture afresh.
bool isServerDriver()
{
    const char* driver = SDL_GetCurrentAudioDriver();
    return driver && std::strcmp(driver, "disk") != 0 && std::strcmp(driver, "dummy") != 0;
}

} // namespace

SdlOutput::SdlOutput(int sampleRate, int channels)
    : AudioOutput(sampleRate, channels)
{
}

SdlOutput::~SdlOutput()
{
    closeDevice();
}

void SdlOutput::setSource(FilePlayer* source)
{
    if (device_ == 0) {
        source_ = source;
        return;
    }
    SDL_LockAudioDevice(device_);
    source_ = source;
    SDL_UnlockAudioDevice(device_);
}

bool SdlOutput::resume()
{
    isHeld_ = false;
    if (device_ == 0 && !openDevice())
        return false;
    SDL_PauseAudioDevice(device_, 0);
    return true;
}

void SdlOutput::pause()
{
    if (device_ == 0)
        return;
    if (!isServerDriver()) {
        SDL_PauseAudioDevice(device_, 1);
        return;
    }
    if (deviceCloser().closing.load() < closesUnderWay) {
        closeDevice();
        return;
    }
    SDL_PauseAudioDevice(device_, 1);
    isHeld_ = true;
    closeWhenCaughtUp();
}

void SdlOutput::closeWhenCaughtUp()
{
    QTimer::singleShot(closeRetry, [alive = std::weak_ptr(liveness_), this] {
        if (!alive.lock() || !isHeld_)
            return;
        if (deviceCloser().closing.load() < closesUnderWay)
            closeDevice();
        else
            closeWhenCaughtUp();
    });
}

bool SdlOutput::isLost() const
{
    return device_ != 0 && SDL_GetAudioDeviceStatus(device_) == SDL_AUDIO_STOPPED;
}

void SdlOutput::setOnLost(std::function<void()> onLost)
{
    auto shared = std::make_shared<std::function<void()>>(std::move(onLost));
    LossWatchers& watchers = lossWatchers();
    std::lock_guard lock(watchers.mutex);
    onLost_ = std::move(shared);
    if (device_ != 0)
        watchers.byDevice[device_] = onLost_;
}

void SdlOutput::setStreamName(const std::string& name)
{
    audioSystem().streamName = name.empty() ? std::string("Larkhaven") : name;
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, audioSystem().streamName.c_str());
}

bool SdlOutput::openDevice()
{
    AudioSystem& system = audioSystem();
    watchLosses();
    SDL_FlushEvents(SDL_AUDIODEVICEADDED, SDL_AUDIODEVICEREMOVED); // nobody reads the queue
    // The driver can only be restarted with no device open or closing.
    const bool canRestart = system.openDevices == 0 && !isClosingDevices();
    const bool isRestarted = canRestart && (system.needsRestart || !SDL_GetCurrentAudioDriver());
    if (isRestarted)
        system.needsRestart = !startDriver();
    SDL_AudioDeviceID device = openSDLDevice();
    if (device == 0 && canRestart && !isRestarted) {
        // A server that went while no stream was open was never reported: the driver still
        // holds its dead connection, and only a fresh start reaches the server there now.
        system.needsRestart = !startDriver();
        device = openSDLDevice();
    }
    if (device == 0) {
        warnNoDevice(SDL_GetError());
        system.needsRestart = system.openDevices == 0;
        return false;
    }
    hasPlayed();
    ++system.openDevices;
    device_ = device;
    LossWatchers& watchers = lossWatchers();
    std::lock_guard lock(watchers.mutex);
    if (onLost_)
        watchers.byDevice[device_] = onLost_;
    return true;
}

SDL_AudioDeviceID SdlOutput::openSDLDevice()
{
    const AudioSystem& system = audioSystem();
    if (system.needsRestart)
        return 0;
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, system.streamName.c_str());
    SDL_AudioSpec wanted {};
    wanted.freq = sampleRate();
    wanted.format = AUDIO_F32SYS;
    wanted.channels = static_cast<Uint8>(channels());
    wanted.samples = static_cast<Uint16>(bufferFrames());
    wanted.callback = &SdlOutput::fill;
    wanted.userdata = this;
    // No changes allowed: SDL converts, so the source renders exactly the format it was made for.
    return SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
}

void SdlOutput::closeDevice()
{
    isHeld_ = false;
    if (device_ == 0)
        return;
    {
        LossWatchers& watchers = lossWatchers();
        std::lock_guard lock(watchers.mutex);
        watchers.byDevice.erase(device_);
    }
    AudioSystem& system = audioSystem();
    if (isLost()) {
        system.needsRestart = true; // the driver's connection to the server is gone with it
        hasSaidLoss(); // tries until a server is back say nothing
    }
    if (isServerDriver()) {
        // Paused, the device never calls back again, so this output and its source may go
        // while the device is still being closed.
        SDL_PauseAudioDevice(device_, 1);
        deviceCloser().close(device_);
    } else {
        SDL_CloseAudioDevice(device_);
    }
    device_ = 0;
    --system.openDevices;
}

bool SdlOutput::isWithoutOutput() const
{
    return audioSystem().isServerWithoutOutput;
}

bool SdlOutput::isClosingDevices()
{
    return deviceCloser().closing.load() > 0;
}

void SDLCALL SdlOutput::fill(void* self, Uint8* stream, int length)
{
    auto* output = static_cast<SdlOutput*>(self);
    const int frames = length / static_cast<int>(sizeof(float)) / output->channels();
    if (output->source_)
        output->source_->render(reinterpret_cast<float*>(stream), frames, output->volume());
    else
        std::memset(stream, 0, static_cast<std::size_t>(length));
}

} // namespace lh
