#include "MetadataReader.h"

#include "AudioFixture.h"
#include "EventLoop.h"
#include "MainThread.h"
#include "ManualExecutor.h"
#include "MediaTrackInfoReader.h"
#include "PathEchoingReader.h"
#include "SerialExecutor.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace lh {
namespace {

MetadataReader::StreamRequest request(const std::string& name)
{
    return { FileURL("/tracks/" + name), FileURL("/files/" + name) };
}

class MetadataReaderTest : public ::testing::Test {
protected:
    MetadataReader::StreamHandler recordStreams()
    {
        return [this](const FileURL& url, const StreamInfo& info) {
            streamResults.emplace_back(url.path(), info);
        };
    }
    MetadataReader::InfoHandler recordInfo()
    {
        return [this](const TrackInfo& info) { infoResults.push_back(info); };
    }
    std::vector<std::string> reportedUrls() const
    {
        std::vector<std::string> urls;
        for (const auto& [url, info] : streamResults)
            urls.push_back(url);
        return urls;
    }
    // Runs both executors until neither has work left.
    void settle()
    {
        while (background.runAll() + mainThread.runAll() > 0) { }
    }

    std::shared_ptr<test::PathEchoingReader> fake = std::make_shared<test::PathEchoingReader>();
    test::ManualExecutor background;
    test::ManualExecutor mainThread;
    MetadataReader reader { fake, background, mainThread };
    std::vector<std::pair<std::string, StreamInfo>> streamResults;
    std::vector<TrackInfo> infoResults;
};

TEST_F(MetadataReaderTest, ReportsEveryItemInOrderOnTheMainThreadExecutor)
{
    reader.readStreams({ request("a"), request("bb"), request("ccc") }, recordStreams());
    ASSERT_TRUE(background.runOne());
    EXPECT_TRUE(streamResults.empty()); // nothing is reported from the reading side
    settle();
    EXPECT_EQ(reportedUrls(), (std::vector<std::string> { "/tracks/a", "/tracks/bb", "/tracks/ccc" }));
    EXPECT_EQ(streamResults[1].second.duration, std::string("/files/bb").size());
}

TEST_F(MetadataReaderTest, ANewBatchCancelsTheRestOfTheOldOne)
{
    reader.readStreams({ request("A"), request("B"), request("C") }, recordStreams());
    background.runOne(); // A read, B's read queued
    mainThread.runOne(); // A reported
    background.runOne(); // B read, its result on its way to the main thread
    reader.readStreams({ request("D") }, recordStreams());
    settle();
    EXPECT_EQ(reportedUrls(), (std::vector<std::string> { "/tracks/A", "/tracks/D" }));
    EXPECT_EQ(fake->filesRead(), (std::vector<std::string> { "/files/A", "/files/B", "/files/D" }));
}

// A main thread that is busy must not hold up the reads: their results wait for it.
TEST_F(MetadataReaderTest, ReadsGoOnWhileTheMainThreadIsBusy)
{
    reader.readStreams({ request("a"), request("b"), request("c") }, recordStreams());
    background.runAll();
    EXPECT_EQ(fake->filesRead(), (std::vector<std::string> { "/files/a", "/files/b", "/files/c" }));
    EXPECT_TRUE(streamResults.empty());
    mainThread.runAll();
    EXPECT_EQ(reportedUrls(), (std::vector<std::string> { "/tracks/a", "/tracks/b", "/tracks/c" }));
}

TEST_F(MetadataReaderTest, AnEmptyBatchLeavesTheRunningOneAlone)
{
    reader.readStreams({ request("A"), request("B") }, recordStreams());
    reader.readStreams({}, recordStreams());
    settle();
    EXPECT_EQ(reportedUrls(), (std::vector<std::string> { "/tracks/A", "/tracks/B" }));
}

TEST_F(MetadataReaderTest, ANewInfoReadSupersedesTheOldOneWithoutTouchingStreams)
{
    reader.readStreams({ request("S") }, recordStreams());
    reader.readInfo(FileURL("/tracks/1"), FileURL("/files/1"), recordInfo());
    background.runAll(); // both reads done, results queued
    reader.readInfo(FileURL("/tracks/2"), FileURL("/files/2"), recordInfo());
    settle();
    ASSERT_EQ(infoResults.size(), 1u);
    EXPECT_EQ(infoResults[0].url, FileURL("/tracks/2"));
    EXPECT_EQ(infoResults[0].album, "/files/2");
    EXPECT_EQ(reportedUrls(), (std::vector<std::string> { "/tracks/S" }));
}

TEST_F(MetadataReaderTest, ACancelledInfoReadReportsNothing)
{
    reader.readInfo(FileURL("/tracks/1"), FileURL("/files/1"), recordInfo());
    background.runAll();
    reader.cancelInfoRead();
    settle();
    EXPECT_TRUE(infoResults.empty());

    reader.readInfo(FileURL("/tracks/2"), FileURL("/files/2"), recordInfo());
    reader.cancelInfoRead(); // before the read starts: the file is not even opened
    settle();
    EXPECT_TRUE(infoResults.empty());
    EXPECT_EQ(fake->filesRead(), std::vector<std::string> { "/files/1" });
}

// The picture is stored on the reading side, and the main thread gets its file, never the bytes.
TEST_F(MetadataReaderTest, ATagReadStoresThePictureOffTheMainThreadAndANewerReadWins)
{
    std::vector<MediaTags> results;
    std::vector<QByteArray> stored;
    const auto store = [&](const QByteArray& image) {
        stored.push_back(image);
        return std::optional<FileURL>(FileURL("/covers/1.png"));
    };
    reader.readTags(FileURL("/tracks/1"), FileURL("/files/1"), store, [&](const MediaTags& tags) { results.push_back(tags); });
    background.runAll();
    EXPECT_EQ(stored, std::vector<QByteArray> { "picture" });
    reader.readTags(FileURL("/tracks/2"), FileURL("/files/2"), store, [&](const MediaTags& tags) { results.push_back(tags); });
    reader.readInfo(FileURL("/tracks/3"), FileURL("/files/3"), recordInfo());
    settle();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].url, FileURL("/tracks/2"));
    EXPECT_EQ(results[0].album, "/files/2");
    EXPECT_EQ(results[0].artFile, FileURL("/covers/1.png"));
    EXPECT_FALSE(results[0].artwork);
    EXPECT_EQ(infoResults.size(), 1u); // the other kinds of read are not cancelled by it
}

TEST_F(MetadataReaderTest, ResultsArrivingAfterTheReaderIsGoneAreDropped)
{
    {
        MetadataReader shortLived(fake, background, mainThread);
        shortLived.readStreams({ request("A"), request("B") }, recordStreams());
        shortLived.readInfo(FileURL("/tracks/1"), FileURL("/files/1"), recordInfo());
        background.runAll();
    }
    settle();
    EXPECT_TRUE(streamResults.empty());
    EXPECT_TRUE(infoResults.empty());
}

// A local file and a network file's copy, read through a cache, then changed or not.
TEST_F(MetadataReaderTest, WhatTheReadsLearnIsKeptAndAFileUnchangedSinceIsNotReadAgain)
{
    QTemporaryDir folder;
    const auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile file(folder.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Append) && file.write(bytes) == bytes.size());
        return FileURL::fromLocalFile(file.fileName());
    };
    const FileURL local = write(QStringLiteral("local.flac"), "sound");
    const FileURL copy = write(QStringLiteral("copy.flac"), "sound");
    const FileURL remote("/share/remote.flac");
    test::ManualExecutor cacheWriter;
    MetadataCache::Options options;
    options.writer = &cacheWriter;
    auto cache = std::make_shared<MetadataCache>(folder.filePath(QStringLiteral("metadata")).toStdString(), options);
    cacheWriter.runAll();
    MetadataReader cached(fake, background, mainThread, cache);
    const auto readBoth = [&] {
        const std::size_t before = fake->filesRead().size();
        cached.readStreams({ { local, local }, { remote, copy } }, recordStreams());
        settle();
        cacheWriter.runAll();
        return fake->filesRead().size() - before;
    };
    EXPECT_EQ(readBoth(), 4u); // each file's stream and tags

    struct Case {
        const char* name;
        std::function<void()> change;
        std::size_t reads;
    };
    const Case cases[] = {
        { "nothing changed", [] {}, 0 },
        { "the local file grew", [&] { write(QStringLiteral("local.flac"), "more"); }, 2 },
        { "the copy was played (its time changes)", [&] { ::utimensat(AT_FDCWD, copy.path().c_str(), nullptr, 0); }, 0 },
        { "the copy was replaced by a longer one", [&] { write(QStringLiteral("copy.flac"), "more"); }, 2 },
    };
    for (const Case& each : cases) {
        each.change();
        streamResults.clear();
        EXPECT_EQ(readBoth(), each.reads) << each.name;
        ASSERT_EQ(streamResults.size(), 2u) << each.name;
        EXPECT_EQ(streamResults[1].first, remote.path()) << each.name;
        EXPECT_EQ(streamResults[1].second.duration, double(copy.path().size())) << each.name; // what the copy said
    }

    // The playing track's tags and Get Info's read are kept too, under the row's URL.
    cached.readTags(remote, copy, nullptr, [](const MediaTags&) {});
    cached.readInfo(local, local, recordInfo());
    settle();
    cacheWriter.runAll();
    const auto remoteFacts = cache->find(remote.path(), std::nullopt);
    ASSERT_TRUE(remoteFacts && remoteFacts->tags);
    EXPECT_EQ(remoteFacts->tags->album, QString::fromStdString(copy.path()));
    EXPECT_FALSE(remoteFacts->tags->artwork);
    EXPECT_EQ(cache->find(local.path(), std::nullopt)->hasEmbeddedCueSheet, false);
}

TEST(MetadataReaderThreads, ReadsOnTheBackgroundAndDeliversOnTheMainThread)
{
    QTemporaryDir folder;
    const QString path = folder.path() + "/Artist - Tone.wav";
    ASSERT_TRUE(test::AudioFixture::tone(path, 0.5, 48000, 1));
    const FileURL file = FileURL::fromLocalFile(path);

    SerialExecutor background;
    MainThreadExecutor mainThread;
    MetadataReader reader(std::make_shared<MediaTrackInfoReader>(), background, mainThread);
    std::optional<StreamInfo> stream;
    std::optional<TrackInfo> info;
    bool isEveryCallOnTheMainThread = true;
    reader.readStreams({ { file, file } }, [&](const FileURL&, const StreamInfo& read) {
        isEveryCallOnTheMainThread &= MainThread::isCurrent();
        stream = read;
    });
    reader.readInfo(file, file, [&](const TrackInfo& read) {
        isEveryCallOnTheMainThread &= MainThread::isCurrent();
        info = read;
    });
    ASSERT_TRUE(test::runEventsUntil([&] { return stream && info; }));
    EXPECT_TRUE(isEveryCallOnTheMainThread);
    EXPECT_EQ(stream->sampleRate, 48000);
    EXPECT_EQ(info->channels, 1);
    EXPECT_EQ(info->artist, "Artist");
}

} // namespace
} // namespace lh
