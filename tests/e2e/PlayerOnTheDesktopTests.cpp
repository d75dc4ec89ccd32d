// The real program on a real X server or Wayland compositor (LARKHAVEN_E2E_DISPLAY=wayland),
// driven as a user drives it: launches from a shell, clicks and keys through xdotool on X, keys
// through wtype and clicks through a virtual pointer on Wayland, media controls through
// playerctl. What plays is told by ear: every file is a tone of its own pitch, measured at the
// sound server's sink.

#include "AudioFixture.h"
#include "ChildProcess.h"
#include "DesktopSession.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdlib>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

namespace lh {
namespace {

using namespace std::chrono_literals;
namespace ChildProcess = test::ChildProcess;
using test::DesktopSession;
using test::readFile;
using test::waitUntil;

// The three tones, a fifth apart: far enough for a zero-crossing count to tell them apart.
constexpr double firstPitch = 300;
constexpr double secondPitch = 450;
constexpr double thirdPitch = 675;

// Every window the tests click into, in window coordinates.
constexpr int nextButtonX = 97, nextButtonY = 132;
constexpr int closeButtonX = 14, closeButtonY = 14;
constexpr int menuButtonX = 346, menuButtonY = 14;
constexpr int toolbarBackgroundX = 100, toolbarBackgroundY = 12;
constexpr int gripX = 349, gripFromBottom = 10;

constexpr int windowWidth = 360, windowHeight = 540, collapsedHeight = 158;

// Starting a Qt program while other work fills the machine can take a while.
constexpr auto launchPatience = 30s;

DesktopSession* desktop = nullptr;
std::string whyNoDesktop;
std::string music; // the folder of the tones

std::string tone(const char* name)
{
    return music + "/" + name;
}

// The servers and the tones, once for the whole suite.
class DesktopEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        const char* display = std::getenv("LARKHAVEN_E2E_DISPLAY");
        const bool wayland = display && std::string(display) == "wayland";
        session_ = DesktopSession::start(wayland ? DesktopSession::Display::wayland : DesktopSession::Display::x11, whyNoDesktop);
        if (!session_)
            return;
        music = session_->makeFolder("music");
        const std::pair<const char*, double> tones[] = { { "first.wav", firstPitch }, { "second.wav", secondPitch }, { "third.wav", thirdPitch } };
        for (const auto& [name, pitch] : tones) {
            if (!test::AudioFixture::tone(QString::fromStdString(tone(name)), 60, 44100, 1, pitch)) {
                whyNoDesktop = "ffmpeg did not make the tones";
                return;
            }
        }
        desktop = session_.get();
    }

    void TearDown() override
    {
        desktop = nullptr;
        session_.reset();
    }

private:
    std::unique_ptr<DesktopSession> session_;
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new DesktopEnvironment);

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};

// A user's own folders for one player, and the program launched in them.
class PlayerOnTheDesktop : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!desktop)
            GTEST_SKIP() << "no desktop for the program: " << whyNoDesktop;
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        home_ = desktop->makeFolder(name);
        desktop->makeFolder(name + "/run");
        log_ = home_ + "/player.log";
    }

    void TearDown() override
    {
        for (const pid_t pid : launched_) {
            if (ChildProcess::isRunning(pid))
                ChildProcess::killGroup(pid);
        }
        if (HasFailure())
            std::fprintf(stderr, "the player's output:\n%s\n", readFile(log_).c_str());
    }

    std::vector<std::string> folders() const
    {
        return { "HOME=" + home_, "XDG_CONFIG_HOME=" + home_ + "/config", "XDG_CACHE_HOME=" + home_ + "/cache",
            "XDG_DATA_HOME=" + home_ + "/data", "XDG_RUNTIME_DIR=" + home_ + "/run",
            onWayland() ? "QT_QPA_PLATFORM=wayland" : "QT_QPA_PLATFORM=xcb", "SDL_AUDIODRIVER=pulseaudio" };
    }

    pid_t launch(const std::vector<std::string>& files, const std::vector<std::string>& environment = {})
    {
        std::vector<std::string> argv { LARKHAVEN_PROGRAM };
        argv.insert(argv.end(), files.begin(), files.end());
        std::vector<std::string> overrides = folders();
        overrides.insert(overrides.end(), environment.begin(), environment.end());
        const pid_t pid = desktop->launch(argv, log_, overrides);
        if (pid > 0)
            launched_.push_back(pid);
        return pid;
    }

    // A launch that hands over to the running player: it should end at once with status 0.
    bool launchesAndHandsOver(const std::vector<std::string>& files, const std::vector<std::string>& environment = {})
    {
        const pid_t pid = launch(files, environment);
        int status = -1;
        return pid > 0 && ChildProcess::waitForExit(pid, launchPatience, &status) && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    // The players running in this test's folders, whoever started them.
    std::vector<pid_t> runningPlayers() const
    {
        const std::filesystem::path program = std::filesystem::canonical(LARKHAVEN_PROGRAM);
        const std::string home = "HOME=" + home_;
        std::vector<pid_t> players;
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            const std::string pid = entry.path().filename();
            if (pid.find_first_not_of("0123456789") != std::string::npos)
                continue;
            std::error_code error;
            if (std::filesystem::read_symlink(entry.path() / "exe", error) != program)
                continue;
            const std::string environment = readFile(entry.path() / "environ");
            if (environment.find(std::string(1, '\0') + home + '\0') != std::string::npos || environment.starts_with(home + '\0'))
                players.push_back(std::stoi(pid));
        }
        return players;
    }

    static bool onWayland() { return desktop->display() == DesktopSession::Display::wayland; }

    // Whether a window's title is `title`, or the main window's with a track in front of it.
    static bool isTitled(const std::string& name, const std::string& title)
    {
        return name == title || name.ends_with(" — " + title);
    }

    static Geometry geometryOf(const QJsonObject& node)
    {
        const QJsonObject rect = node.value("rect").toObject();
        return Geometry { rect.value("x").toInt(), rect.value("y").toInt(), rect.value("width").toInt(), rect.value("height").toInt() };
    }

    static QJsonObject swayTree()
    {
        return QJsonDocument::fromJson(QByteArray::fromStdString(desktop->output({ "swaymsg", "-r", "-t", "get_tree" }).value_or(""))).object();
    }

    // A shown window of the compositor's with this title (and whether it has the focus). Wayland
    // has no lasting window ids (a window shown again is a new surface), so there a window is
    // named by its title.
    static std::optional<Geometry> swayWindow(const std::string& title, bool* isFocused = nullptr)
    {
        std::optional<Geometry> found;
        const std::function<void(const QJsonObject&)> visit = [&](const QJsonObject& node) {
            if (node.contains("app_id") && node.value("visible").toBool() && isTitled(node.value("name").toString().toStdString(), title)) {
                found = geometryOf(node);
                if (isFocused)
                    *isFocused = node.value("focused").toBool();
            }
            for (const char* children : { "nodes", "floating_nodes" }) {
                for (const QJsonValue& child : node.value(children).toArray())
                    visit(child.toObject());
            }
        };
        visit(swayTree());
        return found;
    }

    // Whether the desktop gives this window the keyboard: the focused window on Wayland, the
    // active one on X.
    bool hasFocus(const std::string& window) const
    {
        if (!onWayland())
            return xdotool({ "getactivewindow" }) == window + "\n";
        bool isFocused = false;
        return swayWindow(window, &isFocused) && isFocused;
    }

    std::string xdotool(const std::vector<std::string>& arguments) const
    {
        std::vector<std::string> argv { "xdotool" };
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return desktop->output(argv).value_or("");
    }

    // The player's window with this title once it is shown, or "".
    std::string shownWindow(const std::string& title = "Larkhaven") const
    {
        std::string window;
        waitUntil([&] {
            // The main window's title names the playing track in front of the player's name.
            if (onWayland())
                return swayWindow(title) ? (window = title, true) : false;
            window = xdotool({ "search", "--onlyvisible", "--name", "(^| — )" + title + "$" });
            window = window.substr(0, window.find('\n'));
            return !window.empty();
        }, launchPatience);
        return window;
    }

    bool isViewable(const std::string& window) const
    {
        if (onWayland())
            return swayWindow(window).has_value();
        return desktop->output({ "xwininfo", "-id", window }).value_or("").find("IsViewable") != std::string::npos;
    }

    Geometry geometry(const std::string& window) const
    {
        if (onWayland())
            return swayWindow(window).value_or(Geometry {});
        std::map<std::string, int> values;
        std::istringstream lines(xdotool({ "getwindowgeometry", "--shell", window }));
        for (std::string line; std::getline(lines, line);) {
            const auto equals = line.find('=');
            if (equals != std::string::npos)
                values[line.substr(0, equals)] = std::atoi(line.c_str() + equals + 1);
        }
        return { values["X"], values["Y"], values["WIDTH"], values["HEIGHT"] };
    }

    bool hasHeight(const std::string& window, int height) const
    {
        return waitUntil([&] { return geometry(window).height == height; }, 10s);
    }

    // Keys go to the focused window, as a user's typing does. `keys` as xdotool writes them:
    // modifiers and a key name joined by "+".
    void press(const std::string& window, const std::string& keys) const
    {
        focus(window);
        desktop->output(typing(keys));
    }

    void focus(const std::string& window) const
    {
        if (onWayland())
            desktop->output({ "swaymsg", "[title=\"(^| — )" + window + "$\"] focus" });
        else
            xdotool({ "windowactivate", "--sync", window });
    }

    // The command that types `keys` into the focused window.
    static std::vector<std::string> typing(const std::string& keys)
    {
        return onWayland() ? wtype(keys) : std::vector<std::string> { "xdotool", "key", "--clearmodifiers", keys };
    }

    // Whether running `command` opens (or closes) a menu of the player, as a screen reader hears it.
    bool changesMenu(const std::vector<std::string>& command, bool opens = true) const
    {
        std::vector<std::string> arguments { "menu", opens ? "open" : "close" };
        arguments.insert(arguments.end(), command.begin(), command.end());
        return screenReader(arguments) == (opens ? "menu open\n" : "menu closed\n");
    }

    // wtype's arguments for `keys`. It waits a moment before typing: keys sent as soon as its
    // virtual keyboard appears were seen to be lost.
    static std::vector<std::string> wtype(const std::string& keys)
    {
        std::vector<std::string> parts;
        std::istringstream stream(keys);
        for (std::string part; std::getline(stream, part, '+');)
            parts.push_back(part);
        std::vector<std::string> argv { "wtype", "-s", "100" };
        for (std::size_t i = 0; i + 1 < parts.size(); ++i)
            argv.insert(argv.end(), { "-M", parts[i] });
        argv.insert(argv.end(), { "-k", parts.back() });
        for (std::size_t i = parts.size() - 1; i-- > 0;)
            argv.insert(argv.end(), { "-m", parts[i] });
        return argv;
    }

    // How many windows the player shows, its menus among them.
    std::size_t shownWindowCount(pid_t player) const
    {
        const std::string windows = xdotool({ "search", "--onlyvisible", "--pid", std::to_string(player) });
        return std::size_t(std::count(windows.begin(), windows.end(), '\n'));
    }

    // A hand on the pointer: `steps` are wayland_input.py's words ("move X Y", "glide X Y",
    // "press", "release") with X and Y in `window`'s own coordinates, played by xdotool on X and
    // by a virtual pointer on Wayland.
    void pointer(const std::string& window, const std::string& steps) const
    {
        if (!desktop->output(pointerCommand(window, steps), 30s))
            ADD_FAILURE() << "the pointer did not play: " << steps;
    }

    std::vector<std::string> pointerCommand(const std::string& window, const std::string& steps) const
    {
        const Geometry origin = geometry(window);
        std::istringstream words(steps);
        std::vector<std::string> argv;
        if (onWayland()) {
            const Geometry screen = geometryOf(swayTree());
            argv = { "/usr/bin/python3", LARKHAVEN_WAYLAND_INPUT, "pointer", std::to_string(screen.width), std::to_string(screen.height) };
        } else {
            argv = { "xdotool" };
        }
        int atX = 0, atY = 0;
        for (std::string word; words >> word;) {
            if (word == "move" || word == "glide") {
                int x = 0, y = 0;
                words >> x >> y;
                x += origin.x;
                y += origin.y;
                if (onWayland())
                    argv.insert(argv.end(), { word, std::to_string(x), std::to_string(y) });
                // xdotool has no glide: ten moves a little apart, as a hand drags.
                for (int i = word == "glide" ? 1 : 10; !onWayland() && i <= 10; ++i) {
                    argv.insert(argv.end(), { "mousemove", std::to_string(atX + (x - atX) * i / 10), std::to_string(atY + (y - atY) * i / 10) });
                    if (word == "glide")
                        argv.insert(argv.end(), { "sleep", "0.03" });
                }
                atX = x;
                atY = y;
            } else if (onWayland()) {
                argv.push_back(word);
            } else {
                argv.insert(argv.end(), { word == "press" ? "mousedown" : "mouseup", "1" });
            }
        }
        return argv;
    }

    void click(const std::string& window, int x, int y) const
    {
        pointer(window, "move " + std::to_string(x) + " " + std::to_string(y) + " press release");
    }

    // The pointer held on (x, y) and dragged by (dx, dy).
    void drag(const std::string& window, int x, int y, int dx, int dy) const
    {
        pointer(window, "move " + std::to_string(x) + " " + std::to_string(y) + " press glide " + std::to_string(x + dx) + " "
                + std::to_string(y + dy) + " release");
    }

    // The paths of the playlist the player stored, in its order.
    std::vector<std::string> storedRows() const
    {
        QFile file(QString::fromStdString(home_ + "/config/Larkhaven/preferences.json"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        std::vector<std::string> paths;
        for (const QJsonValue& track : QJsonDocument::fromJson(file.readAll()).object().value("savedPlaylist").toArray())
            paths.push_back(track.toObject().value("path").toString().toStdString());
        return paths;
    }

    std::set<std::string> storedPlaylist() const
    {
        const auto rows = storedRows();
        return { rows.begin(), rows.end() };
    }

    // A file of the test's own folder with these contents.
    std::string write(const std::string& name, const std::string& contents) const
    {
        const std::string path = home_ + "/" + name;
        std::ofstream(path) << contents;
        return path;
    }

    bool quitsWithCtrlQ(const std::string& window, pid_t player)
    {
        press(window, "ctrl+q");
        int status = -1;
        return ChildProcess::waitForExit(player, launchPatience, &status) && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    // What the screen reader script says (tests/e2e/screen_reader.py), or "" when it failed.
    std::string screenReader(const std::vector<std::string>& arguments) const
    {
        std::vector<std::string> argv { "/usr/bin/python3", LARKHAVEN_SCREEN_READER };
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return desktop->output(argv, 60s).value_or("");
    }

    std::string home_;
    std::string log_;
    std::vector<pid_t> launched_;
};

TEST_F(PlayerOnTheDesktop, LaunchesPlayHandOverAndTheQuitPlayerKeepsItsPlaylist)
{
    const pid_t player = launch({ tone("first.wav"), tone("second.wav") });
    const std::string window = shownWindow();
    ASSERT_FALSE(window.empty()) << "no window shown";
    const Geometry shown = geometry(window);
    EXPECT_EQ(shown.width, windowWidth);
    EXPECT_EQ(shown.height, windowHeight);
    EXPECT_TRUE(desktop->hearsTone(firstPitch)) << "the first file does not play";
    desktop->screenshot("1-launched-with-two-files");
    for (const double scale : { 2.0, 1.5 }) {
        if (desktop->setScale(scale)) {
            // The output shrinks in logical pixels: bring the window back into view.
            desktop->output({ "swaymsg", "[title=\"(^| — )Larkhaven$\"] move position center" });
            EXPECT_EQ(geometry(window).width, windowWidth) << "at scale " << scale;
            desktop->screenshot("1-launched-with-two-files-scale-" + std::to_string(int(scale * 10)));
        }
    }
    desktop->setScale(1);

    EXPECT_TRUE(launchesAndHandsOver({ tone("third.wav") }));
    EXPECT_EQ(runningPlayers(), std::vector<pid_t> { player });
    EXPECT_TRUE(desktop->hearsTone(thirdPitch)) << "the handed-over file does not play";
    desktop->screenshot("2-third-file-handed-over");

    ASSERT_TRUE(quitsWithCtrlQ(window, player));
    EXPECT_EQ(storedPlaylist(), (std::set { tone("first.wav"), tone("second.wav"), tone("third.wav") }));
    EXPECT_TRUE(runningPlayers().empty());
}

// The desktop hands a launch whatever activation token it likes; one the socket cannot carry
// (a space in it, or too long) must not cost the launch its files.
TEST_F(PlayerOnTheDesktop, ALaunchWithAnOddActivationTokenStillHandsOverItsFiles)
{
    const pid_t player = launch({ tone("first.wav") });
    const std::string window = shownWindow();
    ASSERT_FALSE(window.empty()) << "no window shown";

    EXPECT_TRUE(launchesAndHandsOver({ tone("second.wav") },
        { "XDG_ACTIVATION_TOKEN=", "DESKTOP_STARTUP_ID=larkhaven launch 2_TIME0" }));
    EXPECT_TRUE(desktop->hearsTone(secondPitch)) << "a file handed over with a spaced startup id does not play";
    EXPECT_TRUE(launchesAndHandsOver({ tone("third.wav") }, { "XDG_ACTIVATION_TOKEN=" + std::string(1025, 'x') }));
    EXPECT_TRUE(desktop->hearsTone(thirdPitch)) << "a file handed over with a long token does not play";

    ASSERT_TRUE(quitsWithCtrlQ(window, player));
    EXPECT_EQ(storedPlaylist(), (std::set { tone("first.wav"), tone("second.wav"), tone("third.wav") }));
}

TEST_F(PlayerOnTheDesktop, MouseKeysAndMediaControlsDriveThePlayback)
{
    const pid_t player = launch({ tone("first.wav"), tone("second.wav") });
    const std::string window = shownWindow();
    ASSERT_FALSE(window.empty()) << "no window shown";
    ASSERT_TRUE(desktop->hearsTone(firstPitch)) << "the first file does not play";

    click(window, nextButtonX, nextButtonY);
    ASSERT_TRUE(desktop->hearsTone(secondPitch)) << "Next does not move on";
    desktop->screenshot("3-after-next");

    if (onWayland()) {
        // A pop-up is no window of the compositor's: it is seen as a screen reader sees it.
        const std::string menuClick = "move " + std::to_string(menuButtonX) + " " + std::to_string(menuButtonY) + " press release";
        EXPECT_TRUE(changesMenu(pointerCommand(window, menuClick))) << "the menu button opens no menu";
        desktop->screenshot("3b-menu");
        EXPECT_TRUE(changesMenu(typing("Escape"), false)) << "Escape does not close the menu";
    } else {
        click(window, menuButtonX, menuButtonY);
        EXPECT_TRUE(waitUntil([&] { return shownWindowCount(player) == 2; }, 10s)) << "the menu button opens no menu";
        desktop->screenshot("3b-menu");
        xdotool({ "key", "Escape" });
        EXPECT_TRUE(waitUntil([&] { return shownWindowCount(player) == 1; }, 10s)) << "Escape does not close the menu";
    }

    press(window, "space");
    ASSERT_TRUE(desktop->hearsSilence()) << "Space does not pause";
    desktop->screenshot("4-paused");
    press(window, "space");
    ASSERT_TRUE(desktop->hearsTone(secondPitch)) << "Space does not resume";

    const std::vector<std::string> playPause { "playerctl", "-p", "larkhaven", "play-pause" };
    ASSERT_TRUE(desktop->output(playPause));
    ASSERT_TRUE(desktop->hearsSilence()) << "the media controls do not pause";
    ASSERT_TRUE(desktop->output(playPause));
    EXPECT_TRUE(desktop->hearsTone(secondPitch)) << "the media controls do not resume";

    EXPECT_TRUE(quitsWithCtrlQ(window, player));
}

// Paused, the player's stream is corked, leaving the sound server nothing to mix, so the sink
// can sleep; the server going away mid-track leaves a player that answers, and the sound comes
// back once a server is there again: by itself when it was playing, at Play when it was paused.
TEST_F(PlayerOnTheDesktop, QuietWhenPausedAndHeardAgainAfterTheSoundServerCameBack)
{
    const pid_t player = launch({ tone("first.wav") });
    const std::string window = shownWindow();
    ASSERT_FALSE(window.empty()) << "no window shown";
    ASSERT_TRUE(desktop->hearsTone(firstPitch)) << "the file does not play";
    const std::string streams = desktop->output({ "pactl", "list", "sink-inputs" }).value_or("");
    for (const char* property : { "application.name = \"Larkhaven\"", "application.icon_name = \"larkhaven\"",
             "application.id = \"larkhaven\"", "media.role = \"music\"", "media.name = \"first\"" })
        EXPECT_NE(streams.find(property), std::string::npos) << property << " not in\n" << streams;

    press(window, "space");
    const auto isCorked = [&] { return desktop->output({ "pactl", "list", "sink-inputs" }).value_or("").find("Corked: yes") != std::string::npos; };
    const auto isPlaying = [&] { return desktop->output({ "pactl", "list", "sink-inputs" }).value_or("").find("Corked: no") != std::string::npos; };
    EXPECT_TRUE(waitUntil(isCorked, 10s)) << "the paused player's stream plays on";
    desktop->stopRecorder();
    EXPECT_TRUE(waitUntil([&] { return desktop->isSinkSuspended(); }, 10s)) << "the sink does not suspend";
    std::string whyNot;
    ASSERT_TRUE(desktop->startRecorder(whyNot)) << whyNot;
    press(window, "space");
    EXPECT_TRUE(desktop->hearsTone(firstPitch)) << "resuming is not heard";

    desktop->stopSoundServer();
    EXPECT_TRUE(waitUntil([&] { return readFile(log_).find("sound device went away") != std::string::npos; }, 10s))
        << "the loss is not noticed";
    ASSERT_TRUE(ChildProcess::isRunning(player));
    // The player says so before it has let go of the dead device, which takes it a moment; on
    // Wayland keys typed in that moment are lost, as wtype's keyboard is gone before the player
    // could take it.
    std::this_thread::sleep_for(1s);
    press(window, "ctrl+l");
    EXPECT_TRUE(hasHeight(window, collapsedHeight)) << "the window does not answer";
    press(window, "ctrl+l");
    desktop->screenshot("9-sound-server-gone");
    ASSERT_TRUE(desktop->startSoundServer(whyNot)) << whyNot;
    EXPECT_TRUE(desktop->hearsTone(firstPitch)) << "the player that was playing is not heard again by itself";

    press(window, "space");
    ASSERT_TRUE(desktop->hearsSilence()) << "Space does not pause";
    desktop->stopSoundServer();
    ASSERT_TRUE(desktop->startSoundServer(whyNot)) << whyNot;
    EXPECT_FALSE(waitUntil(isPlaying, 5s)) << "the paused player started by itself";
    press(window, "space");
    EXPECT_TRUE(desktop->hearsTone(firstPitch)) << "Play after the server came back is not heard";
    const std::string said = readFile(log_);
    EXPECT_EQ(said.find("no sound device"), std::string::npos) << "the tries while the server was away are not quiet";
    EXPECT_TRUE(quitsWithCtrlQ(window, player));
}

TEST_F(PlayerOnTheDesktop, WindowCollapsesHidesAndComesBackWhileTheSoundGoesOn)
{
    const pid_t player = launch({ tone("first.wav") });
    const std::string window = shownWindow();
    ASSERT_FALSE(window.empty()) << "no window shown";
    ASSERT_TRUE(desktop->hearsTone(firstPitch)) << "the file does not play";
    const Geometry expanded = geometry(window);

    // Paused or stopped, the player has just closed its sound device and nothing repaints the
    // window: the keys and the resize must still get through.
    const struct {
        const char* state;
        const char* key; // that brings the player into the state
        const char* screenshot;
    } states[] { { "playing", nullptr, "5-collapsed" }, { "paused", "space", "5a-collapsed-paused" },
        { "stopped", "ctrl+period", "5a-collapsed-stopped" } };
    for (const auto& state : states) {
        SCOPED_TRACE(state.state);
        if (state.key) {
            press(window, state.key);
            ASSERT_TRUE(desktop->hearsSilence()) << state.key << " does not silence the player";
        }
        press(window, "ctrl+l");
        EXPECT_TRUE(hasHeight(window, collapsedHeight)) << "Ctrl+L does not collapse; height " << geometry(window).height;
        EXPECT_EQ(geometry(window).y, expanded.y) << "the top edge moved";
        desktop->screenshot(state.screenshot);
        press(window, "ctrl+l");
        EXPECT_TRUE(hasHeight(window, windowHeight)) << "Ctrl+L does not expand; height " << geometry(window).height;
        EXPECT_EQ(geometry(window).y, expanded.y) << "the top edge moved";
    }
    press(window, "space");
    ASSERT_TRUE(desktop->hearsTone(firstPitch)) << "Space does not resume";

    press(window, "ctrl+i");
    const std::string panel = shownWindow("Get Info");
    ASSERT_FALSE(panel.empty()) << "Ctrl+I does not show the Get Info panel";
    desktop->screenshot("5b-info-panel");
    press(panel, "Escape");
    EXPECT_TRUE(waitUntil([&] { return !isViewable(panel); }, 10s)) << "Escape does not close the Get Info panel";

    click(window, closeButtonX, closeButtonY);
    ASSERT_TRUE(waitUntil([&] { return !isViewable(window); }, 10s)) << "closing does not hide the window";
    desktop->screenshot("6-hidden");
    std::this_thread::sleep_for(3s); // longer than the sink's latency: what is heard now was played hidden
    EXPECT_TRUE(desktop->hearsTone(firstPitch)) << "the sound stops with the window hidden";

    EXPECT_TRUE(launchesAndHandsOver({}));
    EXPECT_TRUE(waitUntil([&] { return isViewable(window); }, 10s)) << "a launch without files does not show the window";
    desktop->screenshot("7-shown-again");
    EXPECT_EQ(runningPlayers(), std::vector<pid_t> { player });

    EXPECT_TRUE(quitsWithCtrlQ(window, player));
}

TEST_F(PlayerOnTheDesktop, AQuickClickOnTheToolbarLeavesTheWindowWhereItIs)
{
    const pid_t player = launch({ tone("first.wav") });
    const std::string window = shownWindow();
    ASSERT_FALSE(window.empty()) << "no window shown";
    const Geometry before = geometry(window);

    // A press and a release with no pause: a quick tap on a touchpad.
    click(window, toolbarBackgroundX, toolbarBackgroundY);
    pointer(window, "move 300 400");
    std::this_thread::sleep_for(1s); // a move in progress would have followed the pointer by now
    const Geometry after = geometry(window);
    if (!onWayland())
        xdotool({ "key", "Escape" }); // ends a stuck move, so Ctrl+Q below reaches the player
    EXPECT_EQ(after.x, before.x);
    EXPECT_EQ(after.y, before.y);

    EXPECT_TRUE(quitsWithCtrlQ(window, player));
}

// Dragging the toolbar moves the window and dragging the grip changes its height, through the
// window manager or compositor (on Wayland nothing else can move or resize a window); the
// window follows the pointer from the moment the drag is told from a click, a few pixels in.
TEST_F(PlayerOnTheDesktop, DraggingTheToolbarMovesTheWindowAndTheGripResizesIt)
{
    const pid_t player = launch({ tone("first.wav") });
    const std::string window = shownWindow();
    ASSERT_FALSE(window.empty()) << "no window shown";
    const Geometry shown = geometry(window);
    constexpr int slack = 30;

    drag(window, gripX, shown.height - gripFromBottom, 40, -100);
    EXPECT_TRUE(waitUntil([&] { return std::abs(geometry(window).height - (shown.height - 100)) <= slack; }, 10s))
        << "dragging the grip up 100 px leaves the height at " << geometry(window).height;
    const Geometry resized = geometry(window);
    EXPECT_EQ(resized.width, windowWidth);
    EXPECT_EQ(resized.x, shown.x);
    EXPECT_EQ(resized.y, shown.y);

    drag(window, toolbarBackgroundX, toolbarBackgroundY, 150, 100);
    EXPECT_TRUE(waitUntil([&] {
        const Geometry moved = geometry(window);
        return std::abs(moved.x - resized.x - 150) <= slack && std::abs(moved.y - resized.y - 100) <= slack;
    }, 10s)) << "dragging the toolbar by (150, 100) moved the window from (" << resized.x << ", " << resized.y << ") to ("
             << geometry(window).x << ", " << geometry(window).y << ")";
    EXPECT_EQ(geometry(window).height, resized.height);
    desktop->screenshot("11-moved-and-resized");

    EXPECT_TRUE(quitsWithCtrlQ(window, player));
}

// A second launch from a launcher, which hands it an activation token, brings the player's
// window to the front over another program's, also after the window was hidden.
TEST_F(PlayerOnTheDesktop, ASecondLaunchBringsTheWindowToTheFront)
{
    const pid_t player = launch({ tone("first.wav") });
    const std::string window = shownWindow();
    ASSERT_FALSE(window.empty()) << "no window shown";
    const pid_t other = desktop->launch(onWayland()
            ? std::vector<std::string> { "/usr/bin/python3", LARKHAVEN_WAYLAND_INPUT, "window", "Another program" }
            : std::vector<std::string> { "xmessage", "-title", "Another program", "Another program" },
        home_ + "/other.log");
    launched_.push_back(other);
    ASSERT_FALSE(shownWindow("Another program").empty()) << "the other program shows no window";
    ASSERT_TRUE(waitUntil([&] { return !hasFocus(window); }, 10s)) << "the other program does not take the focus";

    // What a launcher does: it asks the desktop for a token and starts the program with it.
    const auto launcherToken = [&]() -> std::vector<std::string> {
        if (!onWayland())
            return {};
        const std::string token = desktop->output({ "/usr/bin/python3", LARKHAVEN_WAYLAND_INPUT, "token" }).value_or("");
        return { "XDG_ACTIVATION_TOKEN=" + token.substr(0, token.find('\n')) };
    };
    if (onWayland()) {
        // Without a token the compositor keeps the focus where the user has it.
        EXPECT_TRUE(launchesAndHandsOver({}));
        std::this_thread::sleep_for(1s);
        EXPECT_FALSE(hasFocus(window)) << "the compositor gave the focus without a token";
    }
    EXPECT_TRUE(launchesAndHandsOver({}, launcherToken()));
    EXPECT_TRUE(waitUntil([&] { return hasFocus(window); }, 10s)) << "a second launch does not bring the window to the front";

    click(window, closeButtonX, closeButtonY);
    ASSERT_TRUE(waitUntil([&] { return !isViewable(window); }, 10s)) << "closing does not hide the window";
    EXPECT_TRUE(launchesAndHandsOver({}, launcherToken()));
    EXPECT_TRUE(waitUntil([&] { return isViewable(window) && hasFocus(window); }, 10s))
        << "a launch does not show the hidden window in front";
    desktop->screenshot("12-brought-to-the-front");

    EXPECT_TRUE(quitsWithCtrlQ(window, player));
}

// The lock and the socket name one player whatever the launch's environment: a second cache
// folder sharing the runtime folder is a second player that takes nothing from the first, and a
// launch without a runtime folder (ssh, cron, sudo -u) still reaches its player.
TEST_F(PlayerOnTheDesktop, ALaunchReachesThePlayerOfItsOwnCacheFolderInEveryEnvironment)
{
    const pid_t player = launch({ tone("first.wav") });
    const std::string window = shownWindow();
    ASSERT_FALSE(window.empty()) << "no window shown";
    const std::vector<std::string> otherFolders { "XDG_CACHE_HOME=" + home_ + "/cache2", "XDG_CONFIG_HOME=" + home_ + "/config2" };
    const pid_t other = launch({}, otherFolders);
    ASSERT_TRUE(waitUntil([&] { return runningPlayers().size() == 2; }, launchPatience)) << "the second player did not start";
    ASSERT_TRUE(waitUntil([&] { return std::filesystem::exists(home_ + "/cache2/Larkhaven/larkhaven.socket"); }, launchPatience));

    EXPECT_TRUE(launchesAndHandsOver({ tone("second.wav") }));
    EXPECT_TRUE(launchesAndHandsOver({ tone("third.wav") }, { "XDG_RUNTIME_DIR=" }));
    ChildProcess::killGroup(other);
    EXPECT_TRUE(waitUntil([&] { return runningPlayers().size() == 1; }, 10s));
    const std::string fourth = home_ + "/fourth.wav";
    ASSERT_TRUE(QFile::copy(QString::fromStdString(tone("first.wav")), QString::fromStdString(fourth)));
    EXPECT_TRUE(launchesAndHandsOver({ "--enqueue", fourth })) << "the first player cannot be reached once the other one quit";

    ASSERT_TRUE(quitsWithCtrlQ(window, player));
    EXPECT_EQ(storedPlaylist(), (std::set { tone("first.wav"), tone("second.wav"), tone("third.wav"), fourth }));

    // With no player to reach, a launch says so in its status, also one without files.
    const int lockFd = ::open((home_ + "/cache/Larkhaven/.lock").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(lockFd, 0);
    ASSERT_EQ(::flock(lockFd, LOCK_EX | LOCK_NB), 0); // a player that never listens
    const pid_t unheard = launch({});
    int status = -1;
    EXPECT_TRUE(ChildProcess::waitForExit(unheard, launchPatience, &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "status " << status;
    ::close(lockFd);
}

// A sound server with no output at all (every card unplugged, a server just started) is no
// device: the player says so, and plays through the first sink that appears.
TEST_F(PlayerOnTheDesktop, ASoundServerWithoutOutputsIsNoDeviceUntilOneAppears)
{
    const std::string runtime = desktop->makeFolder(std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "/pulse");
    ::chmod(runtime.c_str(), 0700);
    // Off the session bus: the desktop's own server has the name there.
    const std::vector<std::string> serverFolders { "XDG_RUNTIME_DIR=" + runtime, "HOME=" + runtime,
        "DBUS_SESSION_BUS_ADDRESS=unix:path=" + runtime + "/no-bus" };
    const pid_t server = desktop->launch({ "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
                                             "--use-pid-file=no", "-L", "module-native-protocol-unix auth-anonymous=1" },
        home_ + "/pulseaudio.log", serverFolders);
    ASSERT_GT(server, 0);
    launched_.push_back(server);
    const std::string pulseServer = "PULSE_SERVER=unix:" + runtime + "/pulse/native";
    const auto pactl = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), { "env", pulseServer, "pactl" });
        return desktop->output(arguments);
    };
    ASSERT_TRUE(waitUntil([&] { return pactl({ "info" }).has_value(); }, 20s)) << readFile(home_ + "/pulseaudio.log");

    const pid_t player = launch({ tone("first.wav") }, { pulseServer });
    const std::string window = shownWindow();
    ASSERT_FALSE(window.empty()) << "no window shown";
    EXPECT_TRUE(waitUntil([&] { return readFile(log_).find("no sound device") != std::string::npos; }, 10s));
    std::this_thread::sleep_for(1s);
    ASSERT_TRUE(ChildProcess::isRunning(player)) << "the player ended";
    desktop->screenshot("11-no-sound-device");

    ASSERT_TRUE(pactl({ "load-module", "module-null-sink", "sink_name=plugged_in" }));
    EXPECT_TRUE(waitUntil([&] { return !pactl({ "list", "short", "sink-inputs" }).value_or("").empty(); }, 15s))
        << "the player does not play once the server has a sink";
    EXPECT_TRUE(quitsWithCtrlQ(window, player));
}

TEST_F(PlayerOnTheDesktop, TwentyLaunchesAtOnceLeaveOnePlayerWithEveryFile)
{
    constexpr int launches = 20;
    std::set<std::string> files;
    std::vector<pid_t> pids;
    for (int i = 0; i < launches; ++i) {
        const std::string file = home_ + "/tone " + std::to_string(i + 1) + ".wav";
        ASSERT_TRUE(QFile::copy(QString::fromStdString(tone("first.wav")), QString::fromStdString(file)));
        files.insert(file);
    }
    for (const std::string& file : files)
        pids.push_back(launch({ file }));

    // All but one hand over and end; the one left is the player.
    std::map<pid_t, int> ended; // pid → exit status
    ASSERT_TRUE(waitUntil([&] {
        for (const pid_t pid : pids) {
            int status = -1;
            if (!ended.contains(pid) && ChildProcess::waitForExit(pid, 0ms, &status))
                ended[pid] = status;
        }
        return ended.size() >= launches - 1;
    }, 60s)) << ended.size() << " launches ended";
    ASSERT_EQ(ended.size(), launches - 1u);
    for (const auto& [pid, status] : ended)
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a launch ended with status " << status;
    const pid_t player = *std::find_if(pids.begin(), pids.end(), [&](pid_t pid) { return !ended.contains(pid); });
    EXPECT_EQ(runningPlayers(), std::vector<pid_t> { player });
    EXPECT_TRUE(desktop->hearsTone(firstPitch));
    const std::string window = shownWindow();
    ASSERT_FALSE(window.empty()) << "no window shown";
    desktop->screenshot("8-twenty-launches");

    ASSERT_TRUE(quitsWithCtrlQ(window, player));
    EXPECT_EQ(storedPlaylist(), files);
}

// Lists another player wrote, one of each kind, open as their files in their order; a file
// enqueued from the file manager's "Add to Playlist" joins the list without cutting off the
// song that plays.
TEST_F(PlayerOnTheDesktop, PlaylistFilesOpenAsTheirFilesAndEnqueuingLeavesTheSongPlaying)
{
    const std::string m3u8 = write("road.m3u8", "#EXTM3U\r\n#EXTINF:60,First\r\n" + tone("first.wav") + "\r\n");
    const std::string pls = write("mix.pls", "[playlist]\nFile1=file://" + tone("second.wav") + "\nNumberOfEntries=1\nVersion=2\n");
    const std::string xspf = write("party.xspf",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<playlist version=\"1\" xmlns=\"http://xspf.org/ns/0/\"><trackList>"
        "<track><location>file://"
            + tone("third.wav") + "</location></track></trackList></playlist>\n");
    const std::string fourth = home_ + "/fourth.wav";
    ASSERT_TRUE(QFile::copy(QString::fromStdString(tone("third.wav")), QString::fromStdString(fourth)));

    const pid_t player = launch({ m3u8, pls, xspf });
    const std::string window = shownWindow();
    ASSERT_FALSE(window.empty()) << "no window shown";
    EXPECT_TRUE(desktop->hearsTone(firstPitch)) << "the first list's file does not play";
    EXPECT_TRUE(waitUntil([&] { return storedRows().size() == 3; }, 10s));
    EXPECT_EQ(storedRows(), (std::vector { tone("first.wav"), tone("second.wav"), tone("third.wav") }));

    EXPECT_TRUE(launchesAndHandsOver({ "--enqueue", fourth }));
    EXPECT_TRUE(waitUntil([&] { return storedRows().size() == 4; }, 10s)) << "the enqueued file was not added";
    std::this_thread::sleep_for(3s); // past the sink's latency: what is heard now came after the hand-over
    EXPECT_TRUE(desktop->hearsTone(firstPitch, 1s)) << "enqueuing cut off the song that played";
    desktop->screenshot("9-lists-opened-and-a-file-enqueued");

    ASSERT_TRUE(quitsWithCtrlQ(window, player));
    EXPECT_EQ(storedRows(), (std::vector { tone("first.wav"), tone("second.wav"), tone("third.wav"), fourth }));
    EXPECT_EQ(readFile(log_).find("not added"), std::string::npos) << readFile(log_);
}

// Debian's own Python: another one earlier on the PATH would not see the pyatspi module.
TEST_F(PlayerOnTheDesktop, AScreenReaderHearsWhatPlaysReadsTheListAndOperatesEveryControl)
{
    ASSERT_TRUE(desktop->output({ "/usr/bin/python3", "-c", "import pyatspi" }))
        << "python3-pyatspi is not installed (scripts/setup-debian installs it)";
    const pid_t player = launch({ tone("first.wav"), tone("second.wav") });
    const std::string window = shownWindow();
    ASSERT_FALSE(window.empty()) << "no window shown";
    ASSERT_TRUE(desktop->hearsTone(firstPitch)) << "the first file does not play";
    press(window, "space");
    ASSERT_TRUE(desktop->hearsSilence()) << "Space does not pause";

    const std::string tree = screenReader({ "tree" });
    desktop->screenshot("9-read-by-a-screen-reader"); // makes the folder the tree goes into
    std::ofstream(std::string(LARKHAVEN_SCREENSHOTS) + "/screen-reader-tree.txt") << tree;
    for (const char* name : { "Previous", "Play", "Next", "Stop", "Hide Playlist", "Add", "Remove", "Get Info", "Shuffle",
             "Repeat", "Close", "Minimise", "Menu", "Position", "Volume" })
        EXPECT_NE(tree.find(std::string("\"") + name + "\""), std::string::npos) << name << " is not named in\n" << tree;
    for (const char* unnamed : { "button \"\"", "slider \"\"" })
        EXPECT_EQ(tree.find(unnamed), std::string::npos) << "an unnamed control in\n" << tree;
    EXPECT_NE(tree.find("text='first\\n"), std::string::npos) << "the display does not name the track in\n" << tree;
    for (const char* row : { "list item \"first\"", "list item \"second\"" })
        EXPECT_NE(tree.find(row), std::string::npos) << row << " is not readable in\n" << tree;

    EXPECT_EQ(screenReader({ "press", "Play" }), "pressed\n");
    EXPECT_TRUE(desktop->hearsTone(firstPitch)) << "Play pressed through AT-SPI is not heard";

    focus(window);
    EXPECT_TRUE(changesMenu(typing("F10"))) << "F10 does not open the menu";
    desktop->screenshot("10-menu-opened-by-F10");
    desktop->output(typing("Escape"));

    EXPECT_TRUE(quitsWithCtrlQ(window, player));
}

} // namespace
} // namespace lh
