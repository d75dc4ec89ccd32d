#include "Downloader.h"
#include "NetworkFiles.h"

#include "EventLoop.h"
#include "FileSystem.h"
#include "SshfsShare.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

namespace lh {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Shares left by a test that failed half-way are torn down when the program ends.
class ShareCleanup : public ::testing::Environment {
public:
    void TearDown() override { test::SshfsShare::tearDownAll(); }
};
[[maybe_unused]] const auto* const cleanup = ::testing::AddGlobalTestEnvironment(new ShareCleanup);

// The real network files, watched: how often and when progress was reported, and whether
// the copy's thread has come back.
class WatchedFiles final : public RemoteFileAccess {
public:
    std::int64_t size(const FileURL& url) override { return files.size(url); }

    void copy(const FileURL& source, const FileURL& destination, const Progress& progress) override
    {
        try {
            files.copy(source, destination, [&] {
                progress();
                lastProgress = Clock::now().time_since_epoch().count();
                if (++progressCount == 2 && onSecondProgress)
                    onSecondProgress();
            });
        } catch (...) {
            hasReturned = true;
            throw;
        }
        hasReturned = true;
    }

    NetworkFiles files;
    std::function<void()> onSecondProgress;
    std::atomic<int> progressCount = 0;
    std::atomic<Clock::rep> lastProgress = 0;
    std::atomic<bool> hasReturned = false;
};

class NetworkShareTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const std::string reason = test::SshfsShare::unavailableReason(); !reason.empty())
            GTEST_SKIP() << "no real share: " << reason;
        share = std::make_unique<test::SshfsShare>();
    }

    void TearDown() override { share.reset(); }

    FileURL onShare(const std::string& name) const { return FileURL(share->mountPoint() + "/" + name); }
    void serve(const std::string& name, const std::string& contents) const
    {
        std::ofstream(share->servedFolder() + "/" + name, std::ios::binary) << contents;
    }
    static std::string read(const std::string& path)
    {
        std::ostringstream out;
        out << std::ifstream(path, std::ios::binary).rdbuf();
        return out.str();
    }
    static std::string pattern(std::size_t size)
    {
        std::string contents(size, '\0');
        for (std::size_t i = 0; i < size; ++i)
            contents[i] = static_cast<char>((i * 131) ^ (i >> 12));
        return contents;
    }

    Downloader::CopyResult fetch(const std::string& name)
    {
        std::mutex lock;
        std::optional<Downloader::CopyResult> result;
        downloader.fetch(onShare(name), [&](Downloader::CopyResult r) {
            std::lock_guard guard(lock);
            result = r;
            finishedAt = Clock::now();
        });
        const bool arrived = test::runEventsUntil([&] {
            std::lock_guard guard(lock);
            return result.has_value();
        }, 10s);
        EXPECT_TRUE(arrived);
        std::lock_guard guard(lock);
        return result.value_or(RemoteFailure::away);
    }

    bool hasPartialFiles() const
    {
        const auto names = FileSystem::listFolder(cache.folder().path());
        return std::ranges::any_of(names, [](const std::string& name) { return name.ends_with(".partial"); });
    }

    static constexpr auto stallLimit = 800ms;
    std::unique_ptr<test::SshfsShare> share;
    QTemporaryDir dir;
    AudioFileCache cache { FileURL(dir.path().toStdString() + "/cache", true), 1'000'000'000 };
    std::shared_ptr<WatchedFiles> files = std::make_shared<WatchedFiles>();
    Clock::time_point finishedAt;
    Downloader downloader { cache, files, stallLimit, [](const DownloadStates&, Downloader::Done done) { done(); } };
};

TEST_F(NetworkShareTest, TheMountIsASshfsVolumeAndItsFilesAreRemote)
{
    const std::string mountInfo = read("/proc/self/mountinfo");
    const std::size_t line = mountInfo.find(" " + share->mountPoint() + " ");
    ASSERT_NE(line, std::string::npos);
    EXPECT_NE(mountInfo.substr(line, mountInfo.find('\n', line) - line).find(" - fuse.sshfs "), std::string::npos);
    const auto mounts = Volumes::mounted();
    EXPECT_NE(std::ranges::find(mounts, Volumes::Mount { share->mountPoint(), false }), mounts.end());
    EXPECT_TRUE(Volumes::isRemote(onShare("album/song.flac")));
}

TEST_F(NetworkShareTest, AFileCopiesIntoTheCacheWithProgress)
{
    const std::string contents = pattern(5'000'000);
    serve("song.flac", contents);
    const auto result = fetch("song.flac");
    ASSERT_TRUE(result.hasValue());
    EXPECT_EQ(result.value(), *cache.copy(onShare("song.flac")));
    EXPECT_TRUE(read(result.value().path()) == contents);
    EXPECT_GE(files->progressCount, 6); // once opened, then after each of at least five blocks
    EXPECT_EQ(files->size(onShare("song.flac")), 5'000'000);
}

TEST_F(NetworkShareTest, AFileGoneFromTheMountedShareIsMissing)
{
    serve("song.flac", "x");
    EXPECT_THROW(files->size(onShare("gone.flac")), MissingFileError);
    EXPECT_EQ(fetch("gone.flac"), Downloader::CopyResult(RemoteFailure::missing));
    EXPECT_FALSE(hasPartialFiles());
}

TEST_F(NetworkShareTest, CuttingTheLinkMidCopyIsAStallThatLeavesNoPartialFile)
{
    serve("long.flac", pattern(96'000'000));
    files->onSecondProgress = [this] { share->cutLink(); };
    EXPECT_EQ(fetch("long.flac"), Downloader::CopyResult(RemoteFailure::away));
    const auto idle = finishedAt - Clock::time_point(Clock::duration(files->lastProgress.load()));
    EXPECT_GE(idle, stallLimit - 20ms);
    EXPECT_LE(idle, stallLimit * 5 / 4 + 400ms); // plus scheduling slack
    EXPECT_FALSE(hasPartialFiles());
    EXPECT_FALSE(cache.copy(onShare("long.flac")));
    EXPECT_FALSE(files->hasReturned) << "the copy's thread is still blocked on the dead share";

    share->tearDown();
    EXPECT_TRUE(test::runEventsUntil([&] { return files->hasReturned.load(); }, 10s))
        << "tearing the share down releases the blocked thread";
}

// A test process that ends without tearing its share down (a sanitizer's report, a crash)
// while one of its threads waits on the cut share cannot finish dying until the share's client
// ends, which the share's guardian sees to. Without it this waits until the test's timeout.
TEST(NetworkShareGuardian, AProcessEndingAbruptlyWithTheLinkCutStillEnds)
{
    if (const std::string reason = test::SshfsShare::unavailableReason(); !reason.empty())
        GTEST_SKIP() << "no real share: " << reason;
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            auto* share = new test::SshfsShare(); // never torn down: the process just ends
            share->cutLink();
            std::thread([path = share->mountPoint() + "/.ready"] {
                [[maybe_unused]] const int fd = ::open(path.c_str(), O_RDONLY);
            }).detach();
            std::this_thread::sleep_for(500ms);
            std::_Exit(3);
        },
        ::testing::ExitedWithCode(3), "");
}

} // namespace
} // namespace lh
