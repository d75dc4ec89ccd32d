#include "Downloader.h"

#include "FakeRemoteFiles.h"
#include "FileSystem.h"
#include "ManualExecutor.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <system_error>

namespace lh {
namespace {

using namespace std::chrono_literals;

// The actor and the guarded operations' threads are manual executors, so every step of the
// downloader happens when the test says; the watchdog fires only when a test stalls everything.
class DownloaderTest : public ::testing::Test {
protected:
    DownloaderTest()
    {
        for (const auto& [name, size] : std::map<std::string, std::size_t> { { "a", 60 }, { "b", 30 }, { "c", 50 }, { "d", 10 }, { "e", 10 }, { "big", 150 } })
            files->files[url(name).path()] = std::string(size, name[0]);
    }

    static FileURL url(const std::string& name) { return FileURL("/mnt/share/" + name + ".flac"); }
    static std::vector<FileURL> urls(std::initializer_list<const char*> names)
    {
        std::vector<FileURL> out;
        for (const char* name : names)
            out.push_back(url(name));
        return out;
    }

    // Runs the actor and the operations until nothing is left to do.
    void settle()
    {
        while (actor.runAll() + threads.runAll() > 0) { }
    }

    std::vector<std::string> cachedNames(std::initializer_list<const char*> names) const
    {
        std::vector<std::string> out;
        for (const char* name : names) {
            if (cache.copy(url(name)))
                out.emplace_back(name);
        }
        return out;
    }

    Downloader::CopyResult fetch(const std::string& name)
    {
        std::optional<Downloader::CopyResult> result;
        downloader->fetch(url(name), [&](Downloader::CopyResult r) { result = r; });
        settle();
        EXPECT_TRUE(result.has_value());
        return result.value_or(RemoteFailure::away);
    }

    std::optional<DownloadState> lastState(const std::string& name) const
    {
        if (reports.empty() || !reports.back().contains(url(name)))
            return std::nullopt;
        return reports.back().at(url(name));
    }

    bool hasPartialFiles() const
    {
        const auto names = FileSystem::listFolder(cache.folder().path());
        return std::ranges::any_of(names, [](const std::string& name) { return name.ends_with(".partial"); });
    }

    // The watchdog gives up on every guarded operation still running, as after a stall.
    void stallEverything()
    {
        clock += std::chrono::minutes(1);
        for (const auto& tick : std::exchange(watchdogs, {}))
            tick();
    }

    std::vector<StallRuntime::Tick> watchdogs; // only ticked by stallEverything
    MonotonicClock::time_point clock {};
    QTemporaryDir dir;
    std::optional<std::int64_t> availableSpace; // unknown: the limit alone counts
    AudioFileCache cache { FileURL(dir.path().toStdString() + "/cache", true), 100,
        [this](const std::string&) { return availableSpace; }, 20 };
    std::shared_ptr<FakeRemoteFiles> files = std::make_shared<FakeRemoteFiles>();
    test::ManualExecutor actor;
    test::ManualExecutor threads;
    std::vector<DownloadStates> reports;
    std::unique_ptr<Downloader> downloader = std::make_unique<Downloader>(
        cache, files, 15s,
        [this](const DownloadStates& states, Downloader::Done done) {
            reports.push_back(states);
            done();
        },
        &actor,
        StallRuntime {
            .startThread = [this](StallRuntime::Job job) { threads.execute(std::move(job)); },
            .startWatchdog = [this](std::chrono::nanoseconds, StallRuntime::Tick tick) { watchdogs.push_back(std::move(tick)); },
            .now = [this] { return clock; },
        });
};

// A long list costs the start of a pass what a short one does: the next files are copied at
// once, a few at a time, and no size is asked of the share.
TEST_F(DownloaderTest, APassCopiesTheNextFilesFirstHoweverLongTheList)
{
    std::vector<FileURL> list;
    for (int i = 0; i < 10'000; ++i) {
        list.push_back(url("row" + std::to_string(i)));
        files->files[list.back().path()] = "x";
    }
    downloader->want(list);
    actor.runAll();
    EXPECT_EQ(threads.pendingCount(), std::size_t(Downloader::copiesAtOnce));
    settle();
    EXPECT_TRUE(files->sizeQueries.empty());
    ASSERT_GE(files->copies.size(), 8u);
    EXPECT_EQ(std::vector<std::string>(files->copies.begin(), files->copies.begin() + 8),
        std::vector<std::string>({ "row0.flac", "row1.flac", "row2.flac", "row3.flac", "row4.flac", "row5.flac", "row6.flac", "row7.flac" }));
}

TEST_F(DownloaderTest, APassStopsTakingFilesOnceTheirCopiesFillTheBudget)
{
    downloader->want(urls({ "a", "b", "c", "d", "e", "big" }));
    actor.runAll();
    ASSERT_EQ(threads.pendingCount(), 4u); // nothing is known yet: the first four at once
    settle();
    EXPECT_TRUE(files->sizeQueries.empty());
    EXPECT_EQ(cachedNames({ "a", "b", "c", "d", "e", "big" }), std::vector<std::string>({ "a", "b", "c", "d" }));
    EXPECT_EQ(reports.front(), (DownloadStates { { url("a"), DownloadState::copying } }));
    EXPECT_TRUE(reports.back().empty());
}

TEST_F(DownloaderTest, APassNeverTakesTheLastStretchOfTheCacheDisk)
{
    availableSpace = 70; // with 20 kept free, 50 bytes for copies
    downloader->want(urls({ "b", "d", "e" }));
    settle();
    availableSpace = 20; // the copies took their 50
    downloader->want(urls({ "b", "d", "e", "c", "a" }));
    settle();
    EXPECT_EQ(files->copies, std::vector<std::string>({ "b.flac", "d.flac", "e.flac" }));
}

TEST_F(DownloaderTest, AFullCacheDiskIsNoAwayShareButIsSaidOnceAndShownUntilSpaceReturns)
{
    files->fullDiskCopies = { url("b").path(), url("d").path(), url("e").path() };
    testing::internal::CaptureStderr();
    downloader->want(urls({ "b", "d", "e", "c" }));
    settle();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("no space"), std::string::npos);
    EXPECT_EQ(said.find("no space"), said.rfind("no space")) << "said once for three files: " << said;
    EXPECT_EQ(cachedNames({ "b", "d", "e", "c" }), std::vector<std::string>({ "c" })) << "three failures, none of them away";
    EXPECT_EQ(lastState("b"), DownloadState::unreachable);
    EXPECT_EQ(fetch("d"), Downloader::CopyResult(RemoteFailure::noSpace));
    EXPECT_EQ(lastState("d"), DownloadState::unreachable);
    EXPECT_FALSE(hasPartialFiles());

    // Space returns: the next pass copies them and clears their marks; the disk filling up
    // again is news again.
    files->fullDiskCopies = { url("e").path() };
    downloader->want(urls({ "b", "d" }));
    settle();
    EXPECT_EQ(lastState("b"), std::nullopt);
    EXPECT_EQ(lastState("d"), std::nullopt);
    testing::internal::CaptureStderr();
    EXPECT_EQ(fetch("e"), Downloader::CopyResult(RemoteFailure::noSpace));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("no space"), std::string::npos);
}

TEST_F(DownloaderTest, APassStartsNoSecondCopyOfAFileWhoseStalledCopyStillBlocks)
{
    downloader->want(urls({ "a" }));
    actor.runAll();
    ASSERT_EQ(threads.pendingCount(), 1u); // the copy, blocked on the share
    stallEverything();
    actor.runAll();
    EXPECT_EQ(lastState("a"), DownloadState::unreachable);
    for (int trackStart = 0; trackStart < 3; ++trackStart) {
        downloader->want(urls({ "a" }));
        actor.runAll();
    }
    EXPECT_EQ(threads.pendingCount(), 1u) << "each pass blocked one more thread on the dead share";

    // The blocked copy returns at last: the next pass copies the file anew.
    settle();
    downloader->want(urls({ "a" }));
    settle();
    EXPECT_EQ(cachedNames({ "a" }), std::vector<std::string>({ "a" }));
    EXPECT_EQ(lastState("a"), std::nullopt);
}

TEST_F(DownloaderTest, ACopyThatGotNoThreadLeavesNothingBlockedBehind)
{
    bool isOutOfThreads = true;
    downloader = std::make_unique<Downloader>(cache, files, 15s, nullptr, &actor,
        StallRuntime {
            .startThread = [&](StallRuntime::Job job) {
                if (isOutOfThreads)
                    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
                threads.execute(std::move(job));
            },
            .startWatchdog = [](std::chrono::nanoseconds, StallRuntime::Tick) {},
        });
    EXPECT_EQ(fetch("a"), Downloader::CopyResult(RemoteFailure::away));
    isOutOfThreads = false;
    downloader->want(urls({ "a" }));
    settle();
    EXPECT_EQ(cachedNames({ "a" }), std::vector<std::string>({ "a" }));
}

TEST_F(DownloaderTest, ACopyEndingForACancelledPassLeavesTheLivePassesProtection)
{
    ASSERT_TRUE(fetch("d").hasValue());
    ASSERT_TRUE(fetch("e").hasValue());
    downloader->want(urls({ "d", "a", "c" }));
    actor.runAll();
    ASSERT_EQ(threads.pendingCount(), 2u); // a and c, held back
    downloader->want(urls({ "e" })); // cached: taken and protected at once
    actor.runAll();
    settle(); // a and c arrive for the cancelled pass

    ASSERT_TRUE(fetch("big").hasValue()); // over the limit: evicts what is not protected
    EXPECT_EQ(cachedNames({ "d", "e", "a", "c", "big" }), std::vector<std::string>({ "e", "big" }));
}

TEST_F(DownloaderTest, AFirstFileLargerThanTheBudgetIsStillTakenAndEndsThePass)
{
    ASSERT_TRUE(fetch("big").hasValue());
    downloader->want(urls({ "big", "d" }));
    settle();
    EXPECT_EQ(cachedNames({ "big", "d" }), std::vector<std::string>({ "big" }));
}

TEST_F(DownloaderTest, ThePassProtectsItsChoiceFromEvictionUntilTheNextPass)
{
    downloader->want(urls({ "a" }));
    settle();
    ASSERT_TRUE(fetch("c").hasValue()); // 110 bytes: a is older but protected
    EXPECT_EQ(cachedNames({ "a", "c" }), std::vector<std::string>({ "a", "c" }));
    downloader->want({});
    settle();
    ASSERT_TRUE(fetch("d").hasValue());
    EXPECT_EQ(cachedNames({ "a", "c", "d" }), std::vector<std::string>({ "c", "d" }));
    EXPECT_EQ(files->copies.size(), 3u);
}

TEST_F(DownloaderTest, CachedFilesAreTakenAsTheyAreAndNothingIsCopiedTwice)
{
    downloader->want(urls({ "b", "d" }));
    settle();
    downloader->want(urls({ "b", "d", "e" }));
    settle();
    EXPECT_TRUE(files->sizeQueries.empty());
    EXPECT_EQ(files->copies, std::vector<std::string>({ "b.flac", "d.flac", "e.flac" }));
}

TEST_F(DownloaderTest, AfterThreeAwayFailuresOnlyCachedFilesAreStillTaken)
{
    const FileURL partial = cache.partial(url("e"));
    std::ofstream(partial.path()) << "cached";
    cache.add(partial, url("e"));
    std::vector<FileURL> list;
    for (int i = 0; i < 20; ++i) {
        list.push_back(url("row" + std::to_string(i)));
        files->away.insert(list.back().path());
    }
    list.push_back(url("e"));
    downloader->want(list);
    settle();
    // The copies under way when the third failure comes still answer; nothing starts after.
    EXPECT_LT(files->copies.size(), std::size_t(Downloader::failuresToGiveUp + Downloader::copiesAtOnce));
    EXPECT_EQ(lastState("row0"), DownloadState::unreachable);
    EXPECT_EQ(lastState("row19"), std::nullopt);
    ASSERT_TRUE(fetch("big").hasValue()); // over the limit: only e was taken, and is spared
    EXPECT_EQ(cachedNames({ "e", "big" }), std::vector<std::string>({ "e", "big" }));
}

TEST_F(DownloaderTest, AMissingFileIsLeftOutAndStartsTheAwayCountAgain)
{
    files->away = { url("a").path(), url("b").path(), url("d").path() };
    files->missing = { url("c").path() };
    downloader->want(urls({ "a", "b", "c", "d", "e" }));
    settle();
    EXPECT_EQ(files->copies, std::vector<std::string>({ "a.flac", "b.flac", "c.flac", "d.flac", "e.flac" }));
    EXPECT_EQ(cachedNames({ "a", "b", "c", "d", "e" }), std::vector<std::string>({ "e" }));
}

TEST_F(DownloaderTest, FailedCopiesLeaveNoPartialFilesAndMarkTheirFilesUnreachable)
{
    files->failingCopies = { url("a").path(), url("b").path(), url("c").path(), url("d").path() };
    downloader->want(urls({ "a", "b", "c", "d" }));
    settle();
    EXPECT_EQ(files->copies, std::vector<std::string>({ "a.flac", "b.flac", "c.flac", "d.flac" }));
    EXPECT_EQ(lastState("b"), DownloadState::unreachable);
    EXPECT_EQ(lastState("d"), DownloadState::unreachable);
    EXPECT_FALSE(hasPartialFiles());
}

// However many passes meet a share that stopped answering, the threads blocked on it stay
// within the limit, and the user's own track is told at once that the share is away.
TEST_F(DownloaderTest, ThreadsOnAStalledShareStayWithinTheLimit)
{
    std::vector<FileURL> list;
    for (int i = 0; i < 40; ++i) {
        list.push_back(url("row" + std::to_string(i)));
        files->files[list.back().path()] = "x";
    }
    for (int trackStart = 0; trackStart < 5; ++trackStart) {
        std::rotate(list.begin(), list.begin() + 7, list.end());
        downloader->want(list);
        actor.runAll();
        stallEverything();
        actor.runAll();
    }
    EXPECT_EQ(threads.pendingCount(), std::size_t(Downloader::maxShareThreads));
    EXPECT_EQ(fetch("a"), Downloader::CopyResult(RemoteFailure::away));
}

TEST_F(DownloaderTest, FetchJoinsTheCopyAPassHasUnderWay)
{
    downloader->want(urls({ "a" }));
    actor.runAll();
    ASSERT_EQ(threads.pendingCount(), 1u); // the copy, not yet run
    std::optional<Downloader::CopyResult> fetched;
    downloader->fetch(url("a"), [&](Downloader::CopyResult result) { fetched = result; });
    settle();
    EXPECT_EQ(files->copies, std::vector<std::string>({ "a.flac" }));
    ASSERT_TRUE(fetched.has_value());
    EXPECT_EQ(*fetched, Downloader::CopyResult(*cache.copy(url("a"))));
}

TEST_F(DownloaderTest, ANewPassDuringACopyNeitherStopsItNorCopiesAgain)
{
    downloader->want(urls({ "a", "b" }));
    actor.runAll();
    ASSERT_EQ(threads.pendingCount(), 2u);
    downloader->want(urls({ "a", "b" }));
    settle();
    EXPECT_EQ(files->copies, std::vector<std::string>({ "a.flac", "b.flac" }));
    EXPECT_EQ(cachedNames({ "a", "b" }), std::vector<std::string>({ "a", "b" }));
}

TEST_F(DownloaderTest, FetchingACachedFileAnswersAtOnceAndReportsNothing)
{
    ASSERT_TRUE(fetch("d").hasValue());
    reports.clear();
    const auto result = fetch("d");
    EXPECT_EQ(result, Downloader::CopyResult(*cache.copy(url("d"))));
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(files->copies.size(), 1u);
}

TEST_F(DownloaderTest, FailuresAreReportedAsMissingOrAwayAndClearedByTheNextSuccess)
{
    files->missing = { url("a").path() };
    EXPECT_EQ(fetch("a"), Downloader::CopyResult(RemoteFailure::missing));
    files->away = { url("b").path() };
    EXPECT_EQ(fetch("b"), Downloader::CopyResult(RemoteFailure::away));
    EXPECT_EQ(lastState("b"), DownloadState::unreachable);
    EXPECT_FALSE(hasPartialFiles());

    files->away.clear();
    reports.clear();
    EXPECT_TRUE(fetch("b").hasValue());
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].at(url("b")), DownloadState::copying);
    EXPECT_FALSE(reports[1].contains(url("b")));
}

TEST_F(DownloaderTest, ALaterPassTriesAnUnreachableFileAgainAndClearsItsMark)
{
    files->away = { url("d").path() };
    downloader->want(urls({ "d" }));
    settle();
    EXPECT_EQ(lastState("d"), DownloadState::unreachable);
    files->away.clear();
    downloader->want(urls({ "d" }));
    settle();
    EXPECT_EQ(lastState("d"), std::nullopt);
    EXPECT_EQ(cachedNames({ "d" }), std::vector<std::string>({ "d" }));
}

TEST_F(DownloaderTest, SettleWaitsForThePassAndItsCopies)
{
    bool settled = false;
    downloader->want(urls({ "a", "b" }));
    downloader->settle([&] { settled = true; });
    actor.runAll();
    EXPECT_FALSE(settled);
    settle();
    EXPECT_TRUE(settled);
    settled = false;
    downloader->settle([&] { settled = true; });
    actor.runAll();
    EXPECT_TRUE(settled) << "nothing running: settles at once";
}

TEST_F(DownloaderTest, ACopyThatEndsAfterTheDownloaderIsGoneDoesNothing)
{
    bool called = false;
    downloader->fetch(url("a"), [&](Downloader::CopyResult) { called = true; });
    actor.runAll();
    ASSERT_EQ(threads.pendingCount(), 1u);
    downloader.reset();
    settle();
    EXPECT_FALSE(called);
    EXPECT_EQ(files->copies.size(), 1u);
}

} // namespace
} // namespace lh
