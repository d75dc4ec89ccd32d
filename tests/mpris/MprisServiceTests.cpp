#include "MprisService.h"

#include "AudioFixture.h"
#include "ChildProcess.h"
#include "EventLoop.h"
#include "PlayerModel.h"
#include "PrivateSessionBus.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDir>
#include <QFile>
#include <QXmlStreamReader>
#include <QUrl>

#include <iostream>
#include <map>

#include <gtest/gtest.h>

namespace lh {
namespace {

using namespace std::chrono_literals;
namespace ChildProcess = test::ChildProcess;

std::string describe(const Command& command)
{
    if (dynamic_cast<const TogglePlayPauseCommand*>(&command))
        return "TogglePlayPause";
    if (dynamic_cast<const StopCommand*>(&command))
        return "Stop";
    if (dynamic_cast<const NextCommand*>(&command))
        return "Next";
    if (dynamic_cast<const PreviousCommand*>(&command))
        return "Previous";
    if (dynamic_cast<const ToggleShuffleCommand*>(&command))
        return "ToggleShuffle";
    if (dynamic_cast<const ToggleRepeatCommand*>(&command))
        return "ToggleRepeat";
    if (const auto* seek = dynamic_cast<const SeekCommand*>(&command))
        return "Seek " + QString::number(seek->time).toStdString();
    if (const auto* volume = dynamic_cast<const SetVolumeCommand*>(&command))
        return "SetVolume " + QString::number(volume->volume).toStdString();
    if (const auto* open = dynamic_cast<const OpenTracksCommand*>(&command)) {
        std::string text = "Open";
        for (const FileURL& url : open->urls)
            text += " " + url.path();
        return text;
    }
    return typeid(command).name();
}

struct RecordingDispatcher final : CommandDispatching {
    void perform(const Command& command) override { performed.push_back(describe(command)); }
    std::vector<std::string> performed;
};

std::string readFile(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

std::size_t occurrences(const std::string& text, const std::string& word)
{
    std::size_t count = 0;
    for (auto at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++count;
    return count;
}

Track wholeFile(const char* path)
{
    return Track { FileURL(path), 0, std::nullopt, std::nullopt, std::nullopt, std::nullopt, false, false };
}

// A private session bus for the whole suite, with playerctl as the client.
class PrivateBusTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!test::hasProgram("playerctl") || !test::hasProgram("dbus-monitor")) {
            whyNot_ = "playerctl or dbus-monitor is not installed (scripts/setup-debian installs them)";
            return;
        }
        if (auto started = test::PrivateSessionBus::start(whyNot_))
            bus_.emplace(std::move(*started));
    }

    static void TearDownTestSuite() { bus_.reset(); }

    void SetUp() override
    {
        if (!bus_)
            GTEST_SKIP() << whyNot_;
    }

    // Runs playerctl on the player while this thread answers it; its output, or "(hung)".
    static std::string playerctl(std::vector<std::string> arguments, bool* succeeded = nullptr)
    {
        const std::string log = bus_->filePath("playerctl.log");
        QFile::remove(QString::fromStdString(log));
        arguments.insert(arguments.begin(), { "playerctl", "-p", "larkhaven" });
        const pid_t pid = ChildProcess::start(arguments, log, false);
        int status = -1;
        if (!test::runEventsUntil([&] { return ChildProcess::waitForExit(pid, 0ms, &status); }, 10s)) {
            ChildProcess::killGroup(pid);
            return "(hung)";
        }
        if (succeeded)
            *succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        return QString::fromStdString(readFile(log)).trimmed().toStdString();
    }

    // `playerctl metadata` as key and value; its lines are "larkhaven <key> <value>". Printed,
    // since it is what a desktop's media controls are given.
    static std::map<std::string, std::string> metadata()
    {
        const std::string output = playerctl({ "metadata" });
        std::cout << output << "\n";
        std::map<std::string, std::string> values;
        for (const QString& line : QString::fromStdString(output).split(u'\n')) {
            const QStringList parts = line.simplified().split(u' ');
            if (parts.size() >= 2)
                values[parts[1].toStdString()] = line.simplified().section(u' ', 2).toStdString();
        }
        return values;
    }

    static inline std::optional<test::PrivateSessionBus> bus_;
    static inline std::string whyNot_;
};

// The service over a real model whose commands are only written down.
class MprisServiceTest : public PrivateBusTest {
protected:
    void SetUp() override
    {
        PrivateBusTest::SetUp();
        if (IsSkipped())
            return;
        connection_ = QDBusConnection::connectToBus(bus_->address(), QStringLiteral("player"));
        service_ = std::make_unique<MprisService>(connection_, model_, recorder_,
            MprisService::WindowActions { [this] { ++raised_; }, [this] { ++quit_; } }, [this] { return clock_; });
        const auto failure = service_->publish();
        ASSERT_FALSE(failure) << failure->toStdString();
    }

    void TearDown() override
    {
        service_.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("player"));
    }

    // Two files, the first loaded 30 s in.
    void load(bool isPlaying)
    {
        model_.tracks.set({ wholeFile("/music/Artist - Song.flac"), wholeFile("/music/other.flac") });
        model_.currentIndex.set(0);
        model_.duration.set(100);
        model_.currentTime.set(30);
        model_.isPlaying.set(isPlaying);
    }

    // A method of the service called as a client calls it; the reply, or the error.
    static QDBusMessage ask(QDBusConnection& client, const QString& interface, const QString& member, const QVariantList& arguments)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(QString::fromLatin1(MprisService::busName),
            QString::fromLatin1(MprisService::objectPath), interface, member);
        message.setArguments(arguments);
        QDBusPendingCall pending = client.asyncCall(message);
        EXPECT_TRUE(test::runEventsUntil([&] { return pending.isFinished(); }, 10s)) << member.toStdString();
        return pending.reply();
    }

    PlayerModel model_;
    RecordingDispatcher recorder_;
    MonotonicClock::time_point clock_ {};
    int raised_ = 0;
    int quit_ = 0;
    QDBusConnection connection_ { QString() };
    std::unique_ptr<MprisService> service_;
};

TEST_F(MprisServiceTest, PlayerctlRequestsArriveAsCommands)
{
    const struct {
        std::vector<std::string> arguments;
        bool isPlaying;
        bool isShuffled;
        bool isRepeating;
        std::vector<std::string> expected;
    } cases[] = {
        { { "play-pause" }, true, false, true, { "TogglePlayPause" } },
        { { "play" }, false, false, true, { "TogglePlayPause" } },
        { { "play" }, true, false, true, {} },
        { { "pause" }, false, false, true, {} },
        { { "pause" }, true, false, true, { "TogglePlayPause" } },
        { { "stop" }, true, false, true, { "Stop" } },
        { { "next" }, true, false, true, { "Next" } },
        { { "previous" }, true, false, true, { "Previous" } },
        { { "position", "12.5" }, true, false, true, { "Seek 12.5" } },
        { { "position", "10+" }, true, false, true, { "Seek 40" } },
        { { "position", "100+" }, true, false, true, { "Next" } },
        { { "volume", "0.5" }, true, false, true, { "SetVolume 0.5" } },
        { { "shuffle", "On" }, true, false, true, { "ToggleShuffle" } },
        { { "shuffle", "On" }, true, true, true, {} },
        { { "loop", "None" }, true, false, true, { "ToggleRepeat" } },
        { { "loop", "None" }, true, false, false, {} },
        { { "loop", "Playlist" }, true, false, false, { "ToggleRepeat" } },
        { { "loop", "Track" }, true, false, true, {} },
        { { "open", "file:///music/new%20one.flac" }, true, false, true, { "Open /music/new one.flac" } },
        { { "open", "https://example.org/a.mp3" }, true, false, true, {} },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.front() + (c.arguments.size() > 1 ? " " + c.arguments[1] : ""));
        load(c.isPlaying);
        model_.isShuffled.set(c.isShuffled);
        model_.isRepeating.set(c.isRepeating);
        recorder_.performed.clear();
        const std::string output = playerctl(c.arguments);
        EXPECT_NE(output, "(hung)");
        EXPECT_EQ(recorder_.performed, c.expected) << output;
    }
}

TEST_F(MprisServiceTest, PlayerctlReadsTheState)
{
    EXPECT_EQ(playerctl({ "status" }), "Stopped");
    load(true);
    EXPECT_EQ(playerctl({ "status" }), "Playing");
    model_.isPlaying.set(false);
    EXPECT_EQ(playerctl({ "status" }), "Paused");
    EXPECT_EQ(playerctl({ "position" }), "30.000000");
    model_.volume.set(0.25f);
    EXPECT_EQ(playerctl({ "volume" }), "0.250000");
    EXPECT_EQ(playerctl({ "metadata", "title" }), "Song");
    EXPECT_EQ(playerctl({ "metadata", "artist" }), "Artist");
    EXPECT_EQ(playerctl({ "metadata", "xesam:url" }), "file:///music/Artist%20-%20Song.flac");
    EXPECT_EQ(playerctl({ "metadata", "mpris:length" }), "100000000");

    // A row added above the current one leaves its id alone.
    const std::string id = playerctl({ "metadata", "mpris:trackid" });
    model_.tracks.set({ wholeFile("/music/first.flac"), wholeFile("/music/Artist - Song.flac"), wholeFile("/music/other.flac") });
    model_.currentIndex.set(1);
    EXPECT_EQ(playerctl({ "metadata", "mpris:trackid" }), id);
}

TEST_F(MprisServiceTest, ChangesAreSignalledAndTicksAreNot)
{
    const std::string log = bus_->filePath("dbus-monitor.log");
    const pid_t monitor = ChildProcess::start({ "dbus-monitor", "--address", bus_->address().toStdString(),
                                                  "type='signal',member='PropertiesChanged'", "type='signal',member='Seeked'" },
        log, true);
    ASSERT_TRUE(test::runEventsUntil([&] { return readFile(log).find("NameLost") != std::string::npos; }, 10s));

    load(true);
    // Two seconds of playing at twenty ticks a second.
    for (int tick = 1; tick <= 40; ++tick) {
        clock_ += 50ms;
        model_.currentTime.set(30 + tick * 0.05);
        test::runEventsFor(1ms);
    }
    // Paused for a minute, then going on where it stopped.
    model_.isPlaying.set(false);
    clock_ += 60s;
    model_.isPlaying.set(true);
    clock_ += 50ms;
    model_.currentTime.set(32.05);
    test::runEventsFor(5ms);
    model_.isShuffled.set(true);
    EXPECT_TRUE(test::runEventsUntil([&] { return readFile(log).find("\"Shuffle\"") != std::string::npos; }, 10s));

    model_.currentTime.set(80); // a seek
    EXPECT_TRUE(test::runEventsUntil([&] { return readFile(log).find("member=Seeked") != std::string::npos; }, 10s));
    model_.isRepeating.set(false);
    EXPECT_TRUE(test::runEventsUntil([&] { return readFile(log).find("\"LoopStatus\"") != std::string::npos; }, 10s));
    ChildProcess::killGroup(monitor);

    const std::string seen = readFile(log);
    EXPECT_EQ(occurrences(seen, "member=Seeked"), 1u) << seen;
    // Loading, shuffle, repeat: the ticks, the pause and the seek changed nothing else.
    EXPECT_EQ(occurrences(seen, "member=PropertiesChanged"), 3u) << seen;
    EXPECT_NE(seen.find("int64 80000000"), std::string::npos);
    EXPECT_EQ(seen.find("\"Position\""), std::string::npos);
    EXPECT_NE(seen.find("string \"Song\""), std::string::npos);
}

MediaTags larkTags(const char* path, bool hasArt)
{
    MediaTags tags;
    tags.url = FileURL(path);
    tags.title = QStringLiteral("Morning Song");
    tags.artists = { QStringLiteral("The Larks") };
    tags.album = QStringLiteral("First Light");
    tags.albumArtists = { QStringLiteral("The Larks") };
    tags.trackNumber = 1;
    tags.discNumber = 1;
    tags.genres = { QStringLiteral("Folk") };
    tags.year = QStringLiteral("2004");
    if (hasArt)
        tags.artFile = FileURL("/cache/covers/ab.png");
    return tags;
}

MediaTags withoutAlbumArtist(MediaTags tags)
{
    tags.albumArtists.clear();
    return tags;
}

// What a desktop's media controls show, as playerctl reads it. A row whose tags arrive late is
// first shown as the window shows it, then with its tags.
TEST_F(MprisServiceTest, PlayerctlShowsTheTagsOfWhatPlays)
{
    MediaTags untagged;
    untagged.url = FileURL("/music/01 Morning Song.flac");
    const struct {
        const char* name;
        Track track;
        std::optional<MediaTags> tags;
        bool arrivesLate;
        std::map<std::string, std::string> expected; // "" where the key is absent
    } cases[] = {
        { "tagged", wholeFile("/music/01 Morning Song.flac"), larkTags("/music/01 Morning Song.flac", true), false,
            { { "xesam:title", "Morning Song" }, { "xesam:artist", "The Larks" }, { "xesam:album", "First Light" }, { "xesam:albumArtist", "The Larks" },
                { "xesam:trackNumber", "1" }, { "xesam:discNumber", "1" }, { "xesam:genre", "Folk" },
                { "xesam:contentCreated", "2004" }, { "mpris:artUrl", "file:///cache/covers/ab.png" } } },
        { "untagged", wholeFile("/music/01 Morning Song.flac"), untagged, false,
            { { "xesam:title", "01 Morning Song" }, { "xesam:artist", "" }, { "xesam:album", "" }, { "xesam:trackNumber", "" }, { "mpris:artUrl", "" } } },
        { "tags of the file before", wholeFile("/music/Someone - Tune.flac"), larkTags("/music/01 Morning Song.flac", true), false,
            { { "xesam:title", "Tune" }, { "xesam:artist", "Someone" }, { "xesam:album", "" }, { "mpris:artUrl", "" } } },
        // An album image's artist tag is its cue tracks' album artist.
        { "cue track", Track { FileURL("/music/album.flac"), 60, 120, QStringLiteral("Dusk"), QStringLiteral("Wren"), std::nullopt, false, false },
            withoutAlbumArtist(larkTags("/music/album.flac", true)), false,
            { { "xesam:title", "Dusk" }, { "xesam:artist", "Wren" }, { "xesam:album", "First Light" }, { "xesam:albumArtist", "The Larks" },
                { "xesam:trackNumber", "" }, { "mpris:artUrl", "file:///cache/covers/ab.png" } } },
        // The sheet's TITLE names the album over the file's tag, and before any tag arrives.
        { "cue track of a titled sheet", Track { FileURL("/music/album.flac"), 60, 120, QStringLiteral("Dusk"), QStringLiteral("Wren"), QStringLiteral("Evening Sheet"), false, true },
            larkTags("/music/album.flac", false), true,
            { { "xesam:title", "Dusk" }, { "xesam:album", "Evening Sheet" }, { "xesam:albumArtist", "The Larks" } } },
        { "art after playback started", wholeFile("/music/Someone - Tune.flac"), larkTags("/music/Someone - Tune.flac", true), true,
            { { "xesam:title", "Morning Song" }, { "xesam:artist", "The Larks" }, { "mpris:artUrl", "file:///cache/covers/ab.png" } } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        model_.playingTags.set(c.arrivesLate ? std::nullopt : c.tags);
        model_.tracks.set({ c.track });
        model_.currentIndex.set(0);
        model_.duration.set(60);
        model_.isPlaying.set(true);
        if (c.arrivesLate) {
            const auto before = metadata();
            EXPECT_EQ(before.at("xesam:title"), c.track.title ? "Dusk" : "Tune");
            EXPECT_EQ(before.contains("xesam:album") ? before.at("xesam:album") : "", c.track.album ? "Evening Sheet" : "");
            EXPECT_FALSE(before.contains("mpris:artUrl"));
            model_.playingTags.set(c.tags);
        }
        const auto shown = metadata();
        for (const auto& [key, value] : c.expected)
            EXPECT_EQ(shown.contains(key) ? shown.at(key) : "", value) << key;
    }
}

// Tags that arrive while a track plays reach clients as one change.
TEST_F(MprisServiceTest, LateTagsAreOneChange)
{
    load(true);
    test::runEventsFor(10ms); // the loading is told before the monitor listens
    const std::string log = bus_->filePath("late-tags.log");
    QFile::remove(QString::fromStdString(log));
    const pid_t monitor = ChildProcess::start({ "dbus-monitor", "--address", bus_->address().toStdString(),
                                                  "type='signal',member='PropertiesChanged'" },
        log, true);
    ASSERT_TRUE(test::runEventsUntil([&] { return readFile(log).find("NameLost") != std::string::npos; }, 10s));
    model_.playingTags.set(larkTags("/music/Artist - Song.flac", true));
    EXPECT_TRUE(test::runEventsUntil([&] { return readFile(log).find("mpris:artUrl") != std::string::npos; }, 10s));
    test::runEventsFor(100ms);
    ChildProcess::killGroup(monitor);
    const std::string seen = readFile(log);
    EXPECT_EQ(occurrences(seen, "member=PropertiesChanged"), 1u) << seen;
    EXPECT_NE(seen.find("string \"First Light\""), std::string::npos) << seen;
}

TEST_F(MprisServiceTest, StaleTrackIdsAreIgnoredAndTheWindowIsAskedFor)
{
    load(false);
    QDBusConnection client = QDBusConnection::connectToBus(bus_->address(), QStringLiteral("client"));
    const auto call = [&](const QString& interface, const QString& member, const QVariantList& arguments) {
        return ask(client, interface, member, arguments).errorName().toStdString();
    };
    const QString player = QStringLiteral("org.mpris.MediaPlayer2.Player");
    const qlonglong fiveSeconds = 5'000'000;

    const Track stale = wholeFile("/music/other.flac");
    call(player, QStringLiteral("SetPosition"), { QVariant::fromValue(MprisProperties::trackId(stale)), fiveSeconds });
    call(player, QStringLiteral("SetPosition"), { QVariant::fromValue(MprisProperties::trackId(model_.tracks.value()[0])), qlonglong(-1) });
    EXPECT_TRUE(recorder_.performed.empty());
    call(player, QStringLiteral("SetPosition"), { QVariant::fromValue(MprisProperties::trackId(model_.tracks.value()[0])), fiveSeconds });
    EXPECT_EQ(recorder_.performed, std::vector<std::string> { "Seek 5" });
    EXPECT_EQ(call(player, QStringLiteral("Seek"), { QStringLiteral("5") }), "org.freedesktop.DBus.Error.InvalidArgs");

    call(QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("Raise"), {});
    call(QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("Quit"), {});
    EXPECT_EQ(raised_, 1);
    EXPECT_EQ(quit_, 1);
    QDBusConnection::disconnectFromBus(QStringLiteral("client"));
}

// What introspection tells clients is what the object serves: every property it lists is in
// GetAll and no other, and only the four settable ones are writable.
TEST_F(MprisServiceTest, IntrospectionListsWhatIsServed)
{
    QDBusConnection client = QDBusConnection::connectToBus(bus_->address(), QStringLiteral("client"));
    const auto call = [&](const QString& interface, const QString& member, const QVariantList& arguments) {
        return ask(client, interface, member, arguments);
    };
    const QDBusMessage xml = call(QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect"), {});
    ASSERT_EQ(xml.arguments().size(), 1);
    std::map<QString, QStringList> listed;
    QStringList writable;
    QXmlStreamReader reader(xml.arguments()[0].toString());
    QString interface;
    while (reader.readNext() != QXmlStreamReader::Invalid && !reader.atEnd()) {
        if (!reader.isStartElement())
            continue;
        if (reader.name() == QLatin1String("interface"))
            interface = reader.attributes().value("name").toString();
        if (reader.name() == QLatin1String("property")) {
            listed[interface] << reader.attributes().value("name").toString();
            if (reader.attributes().value("access") == QLatin1String("readwrite"))
                writable << reader.attributes().value("name").toString();
        }
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    for (const QString& name : { QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("org.mpris.MediaPlayer2.Player") }) {
        const QDBusMessage all = call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"), { name });
        ASSERT_EQ(all.arguments().size(), 1) << name.toStdString();
        QStringList served = qdbus_cast<QVariantMap>(all.arguments()[0]).keys();
        QStringList described = listed[name];
        served.sort();
        described.sort();
        EXPECT_EQ(described, served) << name.toStdString();
    }
    writable.sort();
    EXPECT_EQ(writable, (QStringList { "LoopStatus", "Rate", "Shuffle", "Volume" }));
    QDBusConnection::disconnectFromBus(QStringLiteral("client"));
}

TEST_F(MprisServiceTest, ASecondPlayerFindsTheNameTaken)
{
    QDBusConnection other = QDBusConnection::connectToBus(bus_->address(), QStringLiteral("other"));
    {
        MprisService second(other, model_, recorder_, {});
        const auto failure = second.publish();
        ASSERT_TRUE(failure);
        EXPECT_TRUE(failure->contains(QString::fromLatin1(MprisService::busName)));
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("other"));
}

// The program itself, in folders of its own, with playerctl as its desktop.
class RunningPlayerTest : public PrivateBusTest {
protected:
    void SetUp() override
    {
        PrivateBusTest::SetUp();
        if (IsSkipped())
            return;
        if (!test::hasProgram("ffmpeg"))
            GTEST_SKIP() << "ffmpeg is not installed (scripts/setup-debian installs it)";
        home_ = QString::fromStdString(bus_->filePath("home"));
        ASSERT_TRUE(QDir().mkpath(home_ + "/run"));
        QFile::setPermissions(home_ + "/run", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        ASSERT_TRUE(test::AudioFixture::tone(home_ + "/Someone - Tone.wav", 30));
    }

    void TearDown() override
    {
        if (player_ > 0)
            ChildProcess::killGroup(player_);
    }

    void startPlayer()
    {
        const std::pair<const char*, QString> environment[] = {
            { "HOME", home_ }, { "XDG_CONFIG_HOME", home_ + "/config" }, { "XDG_CACHE_HOME", home_ + "/cache" },
            { "XDG_RUNTIME_DIR", home_ + "/run" }, { "QT_QPA_PLATFORM", "offscreen" }, { "SDL_AUDIODRIVER", "dummy" },
        };
        std::vector<std::pair<const char*, std::optional<std::string>>> saved;
        for (const auto& [name, value] : environment) {
            const char* previous = std::getenv(name);
            saved.emplace_back(name, previous ? std::optional<std::string>(previous) : std::nullopt);
            ::setenv(name, value.toLocal8Bit().constData(), 1);
        }
        player_ = ChildProcess::start({ LARKHAVEN_PROGRAM }, bus_->filePath("player.log"), true);
        for (const auto& [name, value] : saved) {
            if (value)
                ::setenv(name, value->c_str(), 1);
            else
                ::unsetenv(name);
        }
    }

    bool statusBecomes(const std::string& status)
    {
        return test::runEventsUntil([&] { return playerctl({ "status" }) == status; }, 30s);
    }

    QString home_;
    pid_t player_ = -1;
};

TEST_F(RunningPlayerTest, PlayerctlControlsThePlayer)
{
    startPlayer();
    ASSERT_TRUE(statusBecomes("Stopped")) << readFile(bus_->filePath("player.log"));

    playerctl({ "open", QUrl::fromLocalFile(home_ + "/Someone - Tone.wav").toString(QUrl::FullyEncoded).toStdString() });
    EXPECT_TRUE(statusBecomes("Playing"));
    EXPECT_EQ(playerctl({ "metadata", "title" }), "Tone");
    playerctl({ "play-pause" });
    EXPECT_TRUE(statusBecomes("Paused"));
    playerctl({ "play" });
    EXPECT_TRUE(statusBecomes("Playing"));

    ASSERT_TRUE(ChildProcess::run({ "dbus-send", "--session", "--print-reply", "--dest=org.mpris.MediaPlayer2.larkhaven",
        "/org/mpris/MediaPlayer2", "org.mpris.MediaPlayer2.Quit" }));
    int status = -1;
    ASSERT_TRUE(ChildProcess::waitForExit(player_, 30s, &status));
    player_ = -1;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// A tagged file with a cover, read by the player itself: the tags and a readable picture reach
// playerctl once read, and the picture is kept in the cache folder.
TEST_F(RunningPlayerTest, PlayerctlShowsTheTagsAndCoverOfARealFile)
{
    const QString cover = home_ + "/cover.png";
    ASSERT_TRUE(test::AudioFixture::generate({ "-f", "lavfi", "-i", "color=c=green:s=16x16", "-frames:v", "1" }, cover));
    const QString song = home_ + "/01 Morning Song.flac";
    ASSERT_TRUE(test::AudioFixture::generate({ "-f", "lavfi", "-i", "sine=duration=30", "-i", cover, "-map", "0", "-map", "1",
                                                 "-c:v", "copy", "-disposition:v", "attached_pic", "-metadata", "title=Morning Song",
                                                 "-metadata", "artist=The Larks", "-metadata", "album=First Light",
                                                 "-metadata", "track=1", "-metadata", "date=2004" },
        song));
    startPlayer();
    ASSERT_TRUE(statusBecomes("Stopped")) << readFile(bus_->filePath("player.log"));
    playerctl({ "open", QUrl::fromLocalFile(song).toString(QUrl::FullyEncoded).toStdString() });
    EXPECT_TRUE(statusBecomes("Playing"));
    ASSERT_TRUE(test::runEventsUntil([&] { return metadata().contains("mpris:artUrl"); }, 30s));
    const auto shown = metadata();
    EXPECT_EQ(shown.at("xesam:title"), "Morning Song");
    EXPECT_EQ(shown.at("xesam:artist"), "The Larks");
    EXPECT_EQ(shown.at("xesam:album"), "First Light");
    EXPECT_EQ(shown.at("xesam:trackNumber"), "1");
    EXPECT_EQ(shown.at("xesam:contentCreated"), "2004");
    const QString art = QUrl(QString::fromStdString(shown.at("mpris:artUrl"))).toLocalFile();
    EXPECT_TRUE(art.startsWith(home_ + "/cache/Larkhaven/")) << art.toStdString();
    EXPECT_EQ(readFile(art.toStdString()), readFile(cover.toStdString()));
}

} // namespace
} // namespace lh
