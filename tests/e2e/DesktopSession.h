#pragma once

#include "PrivateSessionBus.h"

#include <QTemporaryDir>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace lh::test {

// Polls `isDone` until it holds or `timeout` passes; returns whether it held. No event loop:
// everything waited for here happens in other processes.
bool waitUntil(const std::function<bool()>& isDone, std::chrono::milliseconds timeout);

// The whole file, or "" when it cannot be read.
std::string readFile(const std::string& path);

// What the sink played over the last moments: its loudness and, for a tone, its pitch.
struct Heard {
    double rms = 0; // of 16-bit samples
    double frequency = 0; // upward zero crossings per second
};

// Loudness and pitch of mono 16-bit samples taken at `sampleRate`.
Heard analyse(const std::vector<std::int16_t>& samples, int sampleRate);

// A desktop of the test's own, as a user's session has it: either an X server (Xvfb) on a free
// display with a window manager (openbox), or a Wayland compositor (sway on its headless
// backend, floating every window as desktop users know it, with a virtual pointer on its seat);
// a sound server (PulseAudio with a
// null sink, recorded from its monitor from the start), a session bus, and the accessibility bus
// switched on as a running screen reader switches it on. Every server runs in a process group of
// its own and is ended by its pid when the session goes, whatever happened in between.
class DesktopSession {
public:
    enum class Display { x11, wayland };

    // Nothing, with the reason in `whyNot`, when a server is missing or does not come up.
    static std::unique_ptr<DesktopSession> start(Display display, std::string& whyNot);

    Display display() const { return kind_; }
    ~DesktopSession();

    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    // The environment every program in this session gets, as NAME=value; `overrides` come last
    // and win.
    std::vector<std::string> environment(const std::vector<std::string>& overrides = {}) const;

    // `argv` run in this session's environment (plus `overrides`): started, or run to its end
    // with its output.
    pid_t launch(const std::vector<std::string>& argv, const std::string& logPath,
        const std::vector<std::string>& overrides = {}) const;
    std::optional<std::string> output(const std::vector<std::string>& argv,
        std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

    // The last `window` of what reached the sink.
    Heard listen(std::chrono::milliseconds window = std::chrono::milliseconds(200)) const;
    // Whether a tone near `frequency` (or silence) is heard within `timeout`; the sink's own
    // latency is about 2 s.
    bool hearsTone(double frequency, std::chrono::milliseconds timeout = std::chrono::seconds(15)) const;
    bool hearsSilence(std::chrono::milliseconds timeout = std::chrono::seconds(15)) const;

    // The sound server (and the recording of its sink) going away and coming back, as a
    // desktop's server does when it crashes or is restarted.
    void stopSoundServer();
    bool startSoundServer(std::string& whyNot);
    // A recording keeps the sink awake: stop it to see the sink suspend.
    void stopRecorder();
    bool startRecorder(std::string& whyNot);
    bool isSinkSuspended() const;

    // The whole screen as a PNG file under the screenshot folder, for a person to look at.
    void screenshot(const std::string& name) const;
    // The compositor's output scale (Wayland only: false on X, where the server has no such
    // setting).
    bool setScale(double scale) const;

    // A new folder inside the session's own.
    std::string makeFolder(const std::string& name) const;
    std::string filePath(const std::string& name) const;

private:
    DesktopSession();

    bool startDisplay(std::string& whyNot);
    bool startWindowManager(std::string& whyNot);
    bool startCompositor(std::string& whyNot);
    bool startPointer(std::string& whyNot);
    bool startAccessibilityBus(std::string& whyNot);
    pid_t startServer(const std::vector<std::string>& argv, const std::string& name,
        const std::vector<std::string>& overrides = {});

    QTemporaryDir folder_;
    std::optional<PrivateSessionBus> bus_;
    Display kind_ = Display::x11;
    std::vector<std::string> displayVariables_; // DISPLAY, or WAYLAND_DISPLAY and SWAYSOCK
    void end(pid_t& server);

    std::vector<pid_t> servers_; // in start order; ended in reverse
    pid_t soundServer_ = 0;
    pid_t recorder_ = 0;
    std::string recording_;
    mutable int outputs_ = 0;
};

} // namespace lh::test
