#include "DesktopSession.h"

#include "ChildProcess.h"

#include <QDir>
#include <QFile>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <thread>

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

std::unique_ptr<DesktopSession> DesktopSession::start(std::string& whyNot)
{
    for (const char* program : { "Xvfb", "openbox", "xdotool", "xprop", "xwininfo", "import", "pulseaudio", "pactl", "parec", "ffmpeg", "playerctl", "setpriv", "gdbus", accessibilityBusLauncher }) {
        if (!hasProgram(program)) {
            whyNot = std::string(program) + " is not installed (scripts/setup-debian installs it)";
            return nullptr;
        }
    }
    std::unique_ptr<DesktopSession> session(new DesktopSession);
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
    if (!session->startDisplay(whyNot) || !session->startWindowManager(whyNot) || !session->startSoundServer(whyNot)
        || !session->startAccessibilityBus(whyNot))
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
        "DISPLAY=" + display_,
        "PULSE_SERVER=unix:" + filePath("runtime/pulse/native"),
        "DBUS_SESSION_BUS_ADDRESS=" + bus_->address().toStdString(),
    };
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

pid_t DesktopSession::startServer(const std::vector<std::string>& argv, const std::string& name)
{
    const pid_t pid = launch(argv, filePath(name + ".log"));
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
                display_ = ":" + line;
                return true;
            }
        }
        return !ChildProcess::isRunning(pid);
    }, 20s) && !display_.empty();
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
    if (!output({ "import", "-window", "root", folder + "/" + name + ".png" }, 20s))
        std::fprintf(stderr, "no screenshot %s\n", name.c_str());
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
