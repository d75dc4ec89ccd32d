#include "DesktopSession.h"

#include "ChildProcess.h"

#include <QDir>
#include <QFile>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace lh::test {

namespace {

using namespace std::chrono_literals;

constexpr int recordingRate = 44100;
constexpr const char* sinkName = "e2e_sink";
constexpr const char* accessibilityBusLauncher = "/usr/libexec/at-spi-bus-launcher";

void passOn(std::vector<std::string>& environment, const char* name)
{
    if (const char* value = std::getenv(name))
        environment.push_back(std::string(name) + "=" + value);
}

} // namespace

bool waitUntil(const std::function<bool()>& isDone, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!isDone()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

std::string readFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

Heard analyse(const std::vector<std::int16_t>& samples, int sampleRate)
{
    if (samples.empty())
        return {};
    double energy = 0;
    int upward = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        energy += double(samples[i]) * samples[i];
        if (i > 0 && samples[i - 1] < 0 && samples[i] >= 0)
            ++upward;
    }
    const double seconds = double(samples.size()) / sampleRate;
    return Heard { std::sqrt(energy / double(samples.size())), upward / seconds };
}

DesktopSession::DesktopSession() = default;

std::unique_ptr<DesktopSession> DesktopSession::start(Display display, std::string& whyNot)
{
    std::vector<const char*> programs { "pulseaudio", "pactl", "parec", "ffmpeg", "playerctl", "setpriv", "gdbus", accessibilityBusLauncher };
    if (display == Display::x11)
        programs.insert(programs.end(), { "Xvfb", "openbox", "xdotool", "xprop", "xwininfo", "import" });
    else
        programs.insert(programs.end(), { "sway", "swaymsg", "grim", "wtype" });
    for (const char* program : programs) {
        if (!hasProgram(program)) {
            whyNot = std::string(program) + " is not installed (scripts/setup-debian installs it)";
            return nullptr;
        }
    }
    std::unique_ptr<DesktopSession> session(new DesktopSession);
    session->kind_ = display;
    if (!session->folder_.isValid()) {
        whyNot = "no temporary folder";
        return nullptr;
    }
    if (auto bus = PrivateSessionBus::start(whyNot))
        session->bus_.emplace(*std::move(bus));
    else
        return nullptr;
    session->makeFolder("home");
    session->makeFolder("runtime");
    const bool hasDisplay = display == Display::x11
        ? session->startDisplay(whyNot) && session->startWindowManager(whyNot)
        : session->startCompositor(whyNot);
    if (!hasDisplay || !session->startSoundServer(whyNot) || !session->startAccessibilityBus(whyNot))
        return nullptr;
    return session;
}

DesktopSession::~DesktopSession()
{
    for (auto server = servers_.rbegin(); server != servers_.rend(); ++server)
        ChildProcess::killGroup(*server);
}

std::vector<std::string> DesktopSession::environment(const std::vector<std::string>& overrides) const
{
    std::vector<std::string> environment {
        "HOME=" + filePath("home"),
        "XDG_RUNTIME_DIR=" + filePath("runtime"),
        "LANG=C.UTF-8",
        "PULSE_SERVER=unix:" + filePath("runtime/pulse/native"),
        "DBUS_SESSION_BUS_ADDRESS=" + bus_->address().toStdString(),
    };
    environment.insert(environment.end(), displayVariables_.begin(), displayVariables_.end());
    for (const char* name : { "PATH", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "TSAN_OPTIONS" })
        passOn(environment, name);
    environment.insert(environment.end(), overrides.begin(), overrides.end());
    return environment;
}

pid_t DesktopSession::launch(const std::vector<std::string>& argv, const std::string& logPath,
    const std::vector<std::string>& overrides) const
{
    // `env -i` rather than this process's environment: nothing of the machine's own desktop or
    // of the test runner leaks into the program. The parent-death signal ends it with the suite
    // even when the suite itself is killed (by CTest's timeout, say) and cannot clean up.
    std::vector<std::string> command { "setpriv", "--pdeathsig", "KILL", "env", "-i" };
    for (std::string& variable : environment(overrides))
        command.push_back(std::move(variable));
    command.insert(command.end(), argv.begin(), argv.end());
    return ChildProcess::start(command, logPath, true);
}

std::optional<std::string> DesktopSession::output(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) const
{
    const std::string path = filePath("output-" + std::to_string(++outputs_));
    const pid_t pid = launch(argv, path);
    int status = -1;
    if (pid < 0)
        return std::nullopt;
    if (!ChildProcess::waitForExit(pid, timeout, &status)) {
        ChildProcess::killGroup(pid);
        return std::nullopt;
    }
    std::string text = readFile(path);
    std::remove(path.c_str());
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return text;
}

pid_t DesktopSession::startServer(
    const std::vector<std::string>& argv, const std::string& name, const std::vector<std::string>& overrides)
{
    const pid_t pid = launch(argv, filePath(name + ".log"), overrides);
    if (pid > 0)
        servers_.push_back(pid);
    return pid;
}

bool DesktopSession::startDisplay(std::string& whyNot)
{
    // Xvfb picks a free display itself and writes its number on standard output once it
    // accepts clients.
    const pid_t pid = startServer({ "Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp" }, "xvfb");
    const bool isUp = pid > 0 && waitUntil([&] {
        const std::string log = readFile(filePath("xvfb.log"));
        std::size_t start = 0;
        for (std::size_t end; (end = log.find('\n', start)) != std::string::npos; start = end + 1) {
            const std::string line = log.substr(start, end - start);
            if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos) {
                displayVariables_ = { "DISPLAY=:" + line };
                return true;
            }
        }
        return !ChildProcess::isRunning(pid);
    }, 20s) && !displayVariables_.empty();
    if (!isUp)
        whyNot = "Xvfb did not come up: " + readFile(filePath("xvfb.log"));
    return isUp;
}

bool DesktopSession::startWindowManager(std::string& whyNot)
{
    const pid_t pid = startServer({ "openbox", "--sm-disable" }, "openbox");
    // A window manager announces itself on the root window.
    const bool isUp = pid > 0 && waitUntil([&] {
        const auto property = output({ "xprop", "-root", "_NET_SUPPORTING_WM_CHECK" });
        return (property && property->find("window id") != std::string::npos) || !ChildProcess::isRunning(pid);
    }, 20s) && ChildProcess::isRunning(pid);
    if (!isUp)
        whyNot = "openbox did not come up: " + readFile(filePath("openbox.log"));
    return isUp;
}

// The launcher starts the accessibility bus and its registry and answers on the session bus;
// programs join it only once it says a screen reader is running.
bool DesktopSession::startAccessibilityBus(std::string& whyNot)
{
    const pid_t pid = startServer({ accessibilityBusLauncher, "--launch-immediately" }, "at-spi");
    const std::vector<std::string> address { "gdbus", "call", "--session", "--dest", "org.a11y.Bus", "--object-path",
        "/org/a11y/bus", "--method", "org.a11y.Bus.GetAddress" };
    const bool isUp = pid > 0 && waitUntil([&] { return output(address) || !ChildProcess::isRunning(pid); }, 20s)
        && ChildProcess::isRunning(pid)
        && output({ "gdbus", "call", "--session", "--dest", "org.a11y.Bus", "--object-path", "/org/a11y/bus", "--method",
            "org.freedesktop.DBus.Properties.Set", "org.a11y.Status", "ScreenReaderEnabled", "<true>" });
    if (!isUp)
        whyNot = "the accessibility bus did not come up: " + readFile(filePath("at-spi.log"));
    return isUp;
}

bool DesktopSession::startCompositor(std::string& whyNot)
{
    // sway refuses to run as root. Then it runs as nobody, in a folder of its own that it may
    // write to (its runtime folder, where its sockets go); the clients, run as root, still reach
    // those sockets.
    const std::string folder = makeFolder("compositor");
    std::vector<std::string> argv;
    if (::geteuid() == 0) {
        const passwd* nobody = ::getpwnam("nobody");
        if (!nobody || ::chown(folder.c_str(), nobody->pw_uid, nobody->pw_gid) != 0
            || ::chmod(folder_.path().toUtf8().constData(), 0711) != 0) {
            whyNot = "no unprivileged user to run sway as";
            return false;
        }
        argv = { "setpriv", "--reuid=" + std::to_string(nobody->pw_uid), "--regid=" + std::to_string(nobody->pw_gid),
            "--clear-groups", "--pdeathsig", "KILL" };
    }
    // Room for a 360 × 540 window at scale 2; windows float, as on the desktops most users have;
    // a launcher's activation token focuses the window it names, as GNOME and Plasma do (sway's
    // own default only marks it urgent).
    const std::string config = folder + "/config";
    std::ofstream(config) << "output HEADLESS-1 resolution 2560x1600\n"
                             "default_border none\n"
                             "default_floating_border none\n"
                             "for_window [app_id=\".*\"] floating enable\n"
                             "focus_on_window_activation focus\n";
    ::chmod(config.c_str(), 0644);
    argv.insert(argv.end(), { "sway", "-c", config });
    const pid_t pid = startServer(argv, "sway",
        { "HOME=" + folder, "XDG_RUNTIME_DIR=" + folder, "WLR_BACKENDS=headless", "WLR_LIBINPUT_NO_DEVICES=1",
            "WLR_RENDERER=pixman" });
    std::string ipc;
    const bool isUp = pid > 0 && waitUntil([&] {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (entry.path().filename().string().starts_with("sway-ipc."))
                ipc = entry.path().string();
        }
        return (!ipc.empty() && std::filesystem::exists(folder + "/wayland-1")) || !ChildProcess::isRunning(pid);
    }, 20s) && ChildProcess::isRunning(pid);
    if (!isUp) {
        whyNot = "sway did not come up: " + readFile(filePath("sway.log"));
        return false;
    }
    displayVariables_ = { "WAYLAND_DISPLAY=" + folder + "/wayland-1", "SWAYSOCK=" + ipc };
    return startPointer(whyNot);
}

// The headless backend has no input devices, so the seat offers clients no pointer at all. A
// virtual pointer held for the whole session gives it one; the cases' own pointers come and go
// beside it without the seat losing its pointer in between.
bool DesktopSession::startPointer(std::string& whyNot)
{
    const pid_t pid = startServer({ "/usr/bin/python3", LARKHAVEN_WAYLAND_INPUT, "pointer", "1", "1", "hold" }, "pointer");
    const bool isUp = pid > 0 && waitUntil([&] {
        const auto seats = output({ "swaymsg", "-t", "get_seats" });
        return (seats && seats->find("\"pointer\"") != std::string::npos) || !ChildProcess::isRunning(pid);
    }, 20s) && ChildProcess::isRunning(pid);
    if (!isUp)
        whyNot = "no pointer on the compositor: " + readFile(filePath("pointer.log"));
    return isUp;
}

bool DesktopSession::startSoundServer(std::string& whyNot)
{
    ::chmod(filePath("runtime").c_str(), 0700);
    ::chmod(filePath("home").c_str(), 0700);
    // Idle sinks suspend, as desktop configurations have it.
    const pid_t pid = startServer({ "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
                                      "--use-pid-file=no", "-L", "module-native-protocol-unix auth-anonymous=1",
                                      "-L", std::string("module-null-sink sink_name=") + sinkName,
                                      "-L", "module-suspend-on-idle timeout=1" },
        "pulseaudio");
    const bool isUp = pid > 0 && waitUntil([&] { return output({ "pactl", "info" }) || !ChildProcess::isRunning(pid); }, 20s)
        && ChildProcess::isRunning(pid) && output({ "pactl", "set-default-sink", sinkName });
    if (!isUp) {
        whyNot = "PulseAudio did not come up: " + readFile(filePath("pulseaudio.log"));
        return false;
    }
    soundServer_ = pid;
    return startRecorder(whyNot);
}

void DesktopSession::stopSoundServer()
{
    stopRecorder();
    end(soundServer_);
}

bool DesktopSession::startRecorder(std::string& whyNot)
{
    recording_ = filePath("sink.raw");
    std::remove(recording_.c_str());
    const pid_t recorder = startServer({ "parec", "-d", std::string(sinkName) + ".monitor", "--raw", "--format=s16le",
                                           "--rate=" + std::to_string(recordingRate), "--channels=1", "--latency-msec=20", recording_ },
        "parec");
    const bool isRecording = recorder > 0 && waitUntil([&] {
        struct stat info {};
        return (::stat(recording_.c_str(), &info) == 0 && info.st_size > 0) || !ChildProcess::isRunning(recorder);
    }, 10s) && ChildProcess::isRunning(recorder);
    if (!isRecording)
        whyNot = "parec does not record the sink: " + readFile(filePath("parec.log"));
    recorder_ = recorder;
    return isRecording;
}

void DesktopSession::stopRecorder()
{
    end(recorder_);
}

void DesktopSession::end(pid_t& server)
{
    if (server <= 0)
        return;
    ChildProcess::killGroup(server);
    std::erase(servers_, server);
    server = 0;
}

bool DesktopSession::isSinkSuspended() const
{
    return output({ "pactl", "list", "short", "sinks" }).value_or("").find("SUSPENDED") != std::string::npos;
}

Heard DesktopSession::listen(std::chrono::milliseconds window) const
{
    const auto count = static_cast<std::size_t>(recordingRate * window.count() / 1000);
    std::ifstream file(recording_, std::ios::binary | std::ios::ate);
    const auto size = static_cast<std::size_t>(file.tellg());
    const std::size_t bytes = std::min(count * 2, size - size % 2);
    std::vector<std::int16_t> samples(bytes / 2);
    file.seekg(static_cast<std::streamoff>(size - size % 2 - bytes));
    file.read(reinterpret_cast<char*>(samples.data()), static_cast<std::streamsize>(bytes));
    return analyse(samples, recordingRate);
}

bool DesktopSession::hearsTone(double frequency, std::chrono::milliseconds timeout) const
{
    return waitUntil([&] {
        const Heard heard = listen();
        return heard.rms > 300 && std::abs(heard.frequency - frequency) < frequency * 0.05;
    }, timeout);
}

bool DesktopSession::hearsSilence(std::chrono::milliseconds timeout) const
{
    return waitUntil([&] { return listen().rms < 30; }, timeout);
}

void DesktopSession::screenshot(const std::string& name) const
{
    const std::string folder = LARKHAVEN_SCREENSHOTS;
    QDir().mkpath(QString::fromStdString(folder));
    const std::string path = folder + "/" + (kind_ == Display::wayland ? "wayland-" : "") + name + ".png";
    if (kind_ == Display::wayland)
        std::this_thread::sleep_for(1s);
    const auto taken = kind_ == Display::x11 ? output({ "import", "-window", "root", path }, 20s) : output({ "grim", path }, 20s);
    if (!taken)
        std::fprintf(stderr, "no screenshot %s\n", name.c_str());
}

bool DesktopSession::setScale(double scale) const
{
    if (kind_ != Display::wayland)
        return false;
    // The clients redraw at the new scale on their own; give them a moment before a screenshot.
    const bool isSet = output({ "swaymsg", "output", "*", "scale", std::to_string(scale) }).has_value();
    std::this_thread::sleep_for(1s);
    return isSet;
}

std::string DesktopSession::makeFolder(const std::string& name) const
{
    const std::string path = filePath(name);
    QDir().mkpath(QString::fromStdString(path));
    ::chmod(path.c_str(), 0700);
    return path;
}

std::string DesktopSession::filePath(const std::string& name) const
{
    return folder_.filePath(QString::fromStdString(name)).toStdString();
}

} // namespace lh::test
