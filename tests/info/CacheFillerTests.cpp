#include "CacheFiller.h"

#include "PathEchoingReader.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <future>
#include <set>
#include <string>
#include <thread>

namespace lh {
namespace {

using namespace std::chrono_literals;

class CacheFillerTest : public ::testing::Test {
protected:
    CacheFillerTest()
    {
        std::promise<void> opened;
        cache->afterOpening([&opened] { opened.set_value(); });
        opened.get_future().wait();
    }
    std::string write(const char* name, const char* bytes = "sound")
    {
        const std::string path = dir.filePath(QString::fromUtf8(name)).toStdString();
        std::ofstream(path) << bytes;
        return path;
    }
    static Track row(const std::string& path, bool isRemote = false)
    {
        Track track;
        track.url = FileURL(path);
        track.isRemote = isRemote;
        return track;
    }
    std::unique_ptr<CacheFiller> makeFiller()
    {
        CacheFiller::Options options;
        options.filesPerSecond = 0;
        options.lowersPriority = false;
        options.onLearned = [this](std::vector<CacheFiller::Learned> batch) {
            std::lock_guard guard(learnedLock);
            for (const auto& file : batch)
                learned.insert(file.url.path());
        };
        return std::make_unique<CacheFiller>(reader, cache, std::move(options));
    }
    // Every asynchronous wait ends: a filler that never goes idle fails the test.
    static void waitUntilIdle(const CacheFiller& filler)
    {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!filler.isIdle() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        ASSERT_TRUE(filler.isIdle());
    }
    std::set<std::string> filesRead() const
    {
        const auto reads = reader->filesRead();
        return { reads.begin(), reads.end() };
    }
    std::set<std::string> learnedFiles()
    {
        std::lock_guard guard(learnedLock);
        return learned;
    }

    QTemporaryDir dir;
    std::shared_ptr<test::PathEchoingReader> reader = std::make_shared<test::PathEchoingReader>();
    std::shared_ptr<MetadataCache> cache
        = std::make_shared<MetadataCache>(dir.filePath(QStringLiteral("metadata")).toStdString());
    std::mutex learnedLock;
    std::set<std::string> learned;
};

TEST_F(CacheFillerTest, ReadsTheLocalFilesTheCacheDoesNotKnowOnceAndNeverAShare)
{
    const std::string fresh = write("fresh.flac");
    const std::string image = write("image.flac");
    const std::string known = write("known.flac");
    FileFacts facts;
    facts.stamp = *FileStamp::of(known);
    facts.stream = StreamInfo { 1, {}, {}, {} };
    facts.tags = MediaTags {};
    facts.hasEmbeddedCueSheet = false;
    cache->record(known, facts);
    Track firstPart = row(image);
    firstPart.title = QStringLiteral("One");
    Track secondPart = firstPart;
    secondPart.title = QStringLiteral("Two");
    secondPart.start = 60;
    const auto filler = makeFiller();

    filler->fill({ row(fresh), firstPart, secondPart, row("/share/far.flac", true), row(known), row("/gone.flac") });
    waitUntilIdle(*filler);
    EXPECT_EQ(filesRead(), (std::set<std::string> { fresh, image }));
    EXPECT_EQ(learnedFiles(), (std::set<std::string> { fresh, image }));
    EXPECT_EQ(filler->readCount(), 2);
    const auto kept = cache->find(fresh, FileStamp::of(fresh));
    ASSERT_TRUE(kept && kept->stream && kept->tags);
    EXPECT_EQ(kept->stream->duration, double(fresh.size())); // what the reader said

    // Unchanged files cost nothing the next time; a changed one is read again.
    write("fresh.flac", "a longer sound");
    filler->fill({ row(fresh), row(image), row(known) });
    waitUntilIdle(*filler);
    EXPECT_EQ(filler->readCount(), 3);
}

TEST_F(CacheFillerTest, WhileHeldItReadsNothingAndGoesOnOnceReleased)
{
    const std::string file = write("a.flac");
    const auto filler = makeFiller();
    filler->setHeld(true);
    filler->fill({ row(file) });
    std::this_thread::sleep_for(50ms); // time enough to read, were it not held
    EXPECT_TRUE(filesRead().empty());
    EXPECT_FALSE(filler->isIdle());
    filler->setHeld(false);
    waitUntilIdle(*filler);
    EXPECT_EQ(filesRead(), (std::set<std::string> { file }));
}

} // namespace
} // namespace lh
