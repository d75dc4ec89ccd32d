#include "ControllerFixture.h"

#include "MetadataCache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include <string>
#include <vector>

namespace lh::test {
namespace {

class KnownDurations : public ControllerTest {
protected:
    KnownDurations()
    {
        MetadataCache::Options options;
        options.writer = &cacheWriter;
        metadataCache = std::make_shared<MetadataCache>(dir.filePath(QStringLiteral("metadata")).toStdString(), options);
    }
    ~KnownDurations() override
    {
        controller.reset();
        metadataCache.reset();
        settleAll();
    }
    void learn(const std::string& path, double duration)
    {
        FileFacts facts;
        facts.stamp = { 1, 1 };
        facts.stream = StreamInfo { duration, {}, {}, {} };
        metadataCache->record(path, facts);
        cacheWriter.runAll();
    }
    void settleAll()
    {
        do
            settle();
        while (cacheWriter.runAll() > 0);
    }
    // Runs one job at a time, the cache's first, until the model knows some durations.
    void runUntilSomeAreKnown()
    {
        while (model.knownDurations.value().empty()
            && (cacheWriter.runOne() || mainThread.runOne() || background.runOne())) { }
    }

    ManualExecutor cacheWriter;
};

TEST_F(KnownDurations, ARestoredPlaylistShowsEveryDurationTheCacheKnewTheRowsInViewFirstAndTheShareAway)
{
    std::vector<Track> tracks;
    for (int row = 0; row < 300; ++row) {
        tracks.push_back(wholeFile("/m/" + std::to_string(row) + ".flac"));
        learn(tracks.back().url.path(), 60 + row);
    }
    tracks.push_back(wholeFile("/share/away.flac"));
    learn("/share/away.flac", 321);
    tracks.push_back(wholeFile("/m/never-read.flac"));
    files->isAway = true;
    startWith(tracks);

    runUntilSomeAreKnown();
    EXPECT_EQ(model.knownDurations.value().size(), 64u); // the rows the window shows at first
    EXPECT_EQ(model.knownDurations.value().at(url("/m/63.flac")), 123.0f);
    settleAll();
    const DurationMap& known = model.knownDurations.value();
    EXPECT_EQ(known.size(), 301u);
    EXPECT_EQ(known.at(url("/m/299.flac")), 359.0f);
    EXPECT_EQ(known.at(url("/share/away.flac")), 321.0f);
    for (const std::string& read : reader->streamReads())
        EXPECT_FALSE(read.starts_with("/share/")) << read; // the share is reached only through copies
}

TEST_F(KnownDurations, WhatOneRunReadsTheNextLaunchKnows)
{
    const std::string path = dir.filePath(QStringLiteral("a.flac")).toStdString();
    std::ofstream(path) << "sound";
    startWith({ wholeFile(path) });
    settleAll();
    controller.reset();
    model.knownDurations.set({});
    settleAll();

    start();
    settleAll();
    EXPECT_EQ(model.knownDurations.value().at(url(path)), 600.0f); // what the fake reader says
}

TEST_F(KnownDurations, ANetworkFileIsReadFromItsCopyAsItArrivesShownOrNot)
{
    std::vector<Track> tracks;
    for (int row = 0; row < 100; ++row)
        tracks.push_back(wholeFile("/m/" + std::to_string(row) + ".flac"));
    tracks.push_back(wholeFile("/share/far.flac")); // below the rows in view
    startWith(tracks);
    settleAll();
    const auto facts = metadataCache->find("/share/far.flac", std::nullopt);
    ASSERT_TRUE(facts && facts->stream);
    EXPECT_EQ(facts->stream->duration, 600);
    const auto reads = reader->streamReads();
    EXPECT_NE(std::find(reads.begin(), reads.end(), cache->copy(url("/share/far.flac"))->lastPathComponent()), reads.end());
}

} // namespace
} // namespace lh::test
