#include "ControllerFixture.h"

#include "EventLoop.h"
#include "PlaylistStore.h"

#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <thread>

namespace lh::test {
namespace {

using namespace std::chrono_literals;

// The controller on its own executors (the Qt main thread and a thread for reads) is
// destroyed while work it started is still running elsewhere. The late completions must reach
// nothing of it; AddressSanitizer reports it when they do.
class Teardown : public ControllerTest {
protected:
    ~Teardown() override
    {
        release.set_value(); // never leaves a thread blocked, whatever a test did
        for (std::thread& thread : threads)
            thread.join();
    }

    std::unique_ptr<PlayerController> startAlone(std::shared_ptr<const TrackInfoReading> infoReader,
        std::shared_ptr<RemoteFileAccess> remote)
    {
        PlayerController::Environment environment {
            .isRemote = [](const FileURL&) { return false; },
            .readFile = [released = released](const FileURL&) -> std::optional<QByteArray> {
                released.wait(); // a share that went silent
                return QByteArray("FILE \"a.flac\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
            },
            .listFolder = [](const FileURL&) { return std::vector<std::string> { "album.cue", "a.flac" }; },
            .random = {},
            .now = {},
            .makeTimer = timers.factory(),
            .stallRuntime = StallRuntime {
                .startThread = [this](StallRuntime::Job job) { threads.emplace_back(std::move(job)); },
                .startWatchdog = [](std::chrono::nanoseconds, StallRuntime::Tick) { },
            },
        };
        return std::make_unique<PlayerController>(model, engine, std::move(infoReader), *cache, std::move(remote),
            stallLimit, *defaults, QStringLiteral("savedPlaylist"), std::move(environment));
    }

    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::vector<std::thread> threads; // the imports' threads, joined by the test
};

TEST_F(Teardown, AnImportEndingAfterTheControllerIsGoneReachesNothing)
{
    auto alone = startAlone(reader, files);
    alone->perform(AddTracksCommand({ url("/m/album.cue") }));
    ASSERT_TRUE(alone->isAddPending());
    alone.reset();
    release.set_value();
    threads.front().join(); // the import ends and its completion runs on this thread
    threads.clear();
    runEventsFor(50ms);
    EXPECT_TRUE(model.tracks.value().empty());
    release = std::promise<void>();
}

TEST_F(Teardown, AStreamReadEndingDuringTheDestructionReachesNothing)
{
    PlaylistStore(*defaults, QStringLiteral("savedPlaylist")).save({ wholeFile("/m/a.flac") });
    // The read blocks until the controller's destruction is under way: the downloader, which
    // goes first, lets go of the share's files, and the read returns a moment later.
    auto blocking = std::make_shared<FakeReader>();
    std::promise<void> readStarted;
    auto started = readStarted.get_future();
    blocking->duringStreamRead = [&readStarted, released = released, once = std::make_shared<std::once_flag>()] {
        std::call_once(*once, [&] { readStarted.set_value(); });
        released.wait_for(10s); // bounded, so a test that goes wrong does not hang
        std::this_thread::sleep_for(50ms);
    };
    std::shared_ptr<RemoteFileAccess> remote(new FakeRemoteFiles, [this](RemoteFileAccess* remote) {
        delete remote;
        release.set_value();
    });
    auto alone = startAlone(blocking, std::move(remote));
    ASSERT_EQ(started.wait_for(10s), std::future_status::ready);
    alone.reset(); // waits for the read under way, which reports after the destruction began
    runEventsFor(50ms);
    EXPECT_TRUE(model.streamInfo.value().empty());
    release = std::promise<void>();
}

} // namespace
} // namespace lh::test
