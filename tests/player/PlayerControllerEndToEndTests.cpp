#include "AudioFixture.h"
#include "AudioPlayerEngine.h"
#include "EventLoop.h"
#include "FileSystem.h"
#include "MediaTrackInfoReader.h"
#include "NetworkFiles.h"
#include "PlayerController.h"
#include "PlaylistStore.h"
#include "Preferences.h"
#include "SshfsShare.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>

#include <sys/stat.h>

namespace lh {
namespace {

using namespace std::chrono_literals;

class ShareCleanup : public ::testing::Environment {
public:
    void TearDown() override { test::SshfsShare::tearDownAll(); }
};
[[maybe_unused]] const auto* const cleanup = ::testing::AddGlobalTestEnvironment(new ShareCleanup);

// The headless player with every real part: the engine on SDL's dummy driver, tag and stream
// reading, the cache in a temporary folder, and the downloader copying from a real sshfs share
// whose link the test cuts.
class PlayerEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const std::string reason = test::SshfsShare::unavailableReason(); !reason.empty())
            GTEST_SKIP() << "no real share: " << reason;
        share = std::make_unique<test::SshfsShare>();
        local = dir.path() + "/music";
        ASSERT_TRUE(QDir().mkpath(local));
        ASSERT_TRUE(test::AudioFixture::tone(local + "/a.wav", 1.0));
        ASSERT_TRUE(test::AudioFixture::tone(local + "/b.wav", 1.0));
        const QString served = QString::fromStdString(share->servedFolder());
        ASSERT_TRUE(test::AudioFixture::tone(served + "/album.wav", 3.0));
        ASSERT_TRUE(test::AudioFixture::tone(served + "/net.wav", 1.0));
        std::ofstream(share->servedFolder() + "/album.cue")
            << "PERFORMER \"Band\"\nFILE \"album.wav\" WAVE\n"
               "  TRACK 01 AUDIO\n    TITLE \"One\"\n    INDEX 01 00:00:00\n"
               "  TRACK 02 AUDIO\n    TITLE \"Two\"\n    INDEX 01 00:01:00\n"
               "  TRACK 03 AUDIO\n    TITLE \"Three\"\n    INDEX 01 00:02:00\n";
    }

    void TearDown() override
    {
        controller.reset(); // before the share goes, so no copy reports to a controller gone
        share.reset();
    }

    FileURL onShare(const char* name) const { return FileURL(share->mountPoint() + "/" + name).normalizedFileURL(); }
    FileURL inFolder(const char* name) const { return FileURL::fromLocalFile(local + "/" + name).normalizedFileURL(); }

    std::optional<FileState> stateOf(const FileURL& url) const
    {
        return model.fileStates.value().state(url);
    }

    QTemporaryDir dir;
    QString local;
    std::unique_ptr<test::SshfsShare> share;
    Preferences defaults { dir.path() + "/preferences.json" };
    AudioFileCache cache { FileURL(dir.path().toStdString() + "/cache", true), 1'000'000'000 };
    PlayerModel model;
    AudioPlayerEngine engine;
    std::unique_ptr<PlayerController> controller;
};

TEST_F(PlayerEndToEnd, PlaybackGoesOnWithLocalAndCachedRowsWhenTheShareIsCut)
{
    controller = std::make_unique<PlayerController>(model, engine, std::make_shared<MediaTrackInfoReader>(), cache,
        std::make_shared<NetworkFiles>(), 2s, defaults, QStringLiteral("savedPlaylist"));

    // The sheet lies on the share: it is read in the background, its audio copied ahead.
    controller->perform(AddTracksCommand({ inFolder("a.wav"), onShare("album.cue") }));
    ASSERT_TRUE(test::runEventsUntil([&] { return model.tracks.value().size() == 4; }, 20s));
    ASSERT_TRUE(test::runEventsUntil([&] { return stateOf(onShare("album.wav")) == FileState::cached; }, 20s));
    EXPECT_FALSE(stateOf(inFolder("a.wav"))); // a local file needs no state

    share->cutLink();
    // Opening a network file now: it is wanted, its copy stalls, and playback moves on to the
    // local file after it.
    controller->perform(OpenTracksCommand({ onShare("net.wav"), inFolder("b.wav") }));
    ASSERT_EQ(model.tracks.value().size(), 6u);
    EXPECT_TRUE(model.isLoading.value());
    EXPECT_EQ(model.currentIndex.value(), 4);
    ASSERT_TRUE(test::runEventsUntil([&] { return model.isPlaying.value(); }, 20s));
    EXPECT_EQ(model.currentIndex.value(), 5);
    EXPECT_FALSE(model.isLoading.value());
    EXPECT_TRUE(test::runEventsUntil([&] { return stateOf(onShare("net.wav")) == FileState::unreachable; }, 10s));

    // Through the list: b, a, then the three cue tracks from the cached copy, each ending on
    // its own. The network row, known unreachable by now, is passed over on the way to b.
    std::vector<std::int64_t> played;
    const auto subscription = model.currentIndex.subscribe([&](const std::optional<std::int64_t>& row) {
        if (row && (played.empty() || played.back() != *row))
            played.push_back(*row);
    });
    ASSERT_TRUE(test::runEventsUntil([&] { return played.size() >= 7 && model.isPlaying.value(); }, 30s));
    EXPECT_EQ(std::vector<std::int64_t>(played.begin(), played.begin() + 7), std::vector<std::int64_t>({ 5, 0, 1, 2, 3, 5, 0 }));
    EXPECT_EQ(stateOf(onShare("album.wav")), FileState::cached);

    const auto saved = PlaylistStore(defaults, QStringLiteral("savedPlaylist")).load([](const FileURL&) { return false; });
    EXPECT_EQ(saved, model.tracks.value());
}

TEST_F(PlayerEndToEnd, AFolderWalkThatMeetsAStallWaitsForTheShareAndCarriesOnWithoutHoldingUpTheWindow)
{
    const std::string served = share->servedFolder() + "/Albums";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(served + "/Later")));
    for (const char* name : { "/10.wav", "/2.wav", "/Later/3.wav" })
        std::ofstream(served + name);
    controller = std::make_unique<PlayerController>(model, engine, std::make_shared<MediaTrackInfoReader>(), cache,
        std::make_shared<NetworkFiles>(), 2s, defaults, QStringLiteral("savedPlaylist"));

    // The share's client keeps what it has listed for a while: with the link cut, the walk
    // still lists the top folder, then hangs on the folder below it.
    const std::string albums = share->mountPoint() + "/Albums";
    struct stat info {};
    ASSERT_EQ(::stat(albums.c_str(), &info), 0);
    ASSERT_EQ(FileSystem::listFolder(albums).size(), 3u);
    share->cutLink();

    // Any wait on the main thread would show as a gap between these ticks.
    auto lastTick = MonotonicClock::now();
    std::chrono::nanoseconds longestGap {};
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const auto now = MonotonicClock::now();
        longestGap = std::max<std::chrono::nanoseconds>(longestGap, now - lastTick);
        lastTick = now;
    });
    ticker.start(20);

    controller->perform(AddTracksCommand({ FileURL(albums) }));
    EXPECT_TRUE(model.tracks.value().empty());
    // Past the stall limit the walk waits, and says so, rather than ending with what it had.
    ASSERT_TRUE(test::runEventsUntil([&] { return model.isWalkWaiting.value(); }, 8s));
    test::runEventsUntil([] { return false; }, 1s);
    EXPECT_TRUE(controller->isAddPending());
    EXPECT_TRUE(model.isReadingFolder.value());

    share->restoreLink();
    ASSERT_TRUE(test::runEventsUntil([&] { return !controller->isAddPending(); }, 30s));
    const auto remote = [&](const char* name) {
        return Track { onShare((std::string("Albums/") + name).c_str()), 0, std::nullopt, std::nullopt, std::nullopt, std::nullopt, true, false };
    };
    EXPECT_EQ(model.tracks.value(), std::vector<Track>({ remote("2.wav"), remote("10.wav"), remote("Later/3.wav") }));
    EXPECT_FALSE(model.isWalkWaiting.value());
    EXPECT_FALSE(model.isReadingFolder.value());
    EXPECT_LT(longestGap, 2s); // the walk's hang never reached the window
}

} // namespace
} // namespace lh
