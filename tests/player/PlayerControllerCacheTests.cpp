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

    void learnTags(const std::string& path, std::optional<QString> title, std::vector<QString> artists = {})
    {
        FileFacts facts;
        facts.stamp = { 1, 1 };
        facts.stream = StreamInfo { 100, {}, {}, {} };
        facts.tags = MediaTags {};
        facts.tags->title = std::move(title);
        facts.tags->artists = std::move(artists);
        metadataCache->record(path, facts);
        cacheWriter.runAll();
    }
    // The title and artist the file at `path` goes by, "-" for its file name.
    QString nameOf(const std::string& path) const
    {
        const TagName* name = model.tagNames.value().find(url(path));
        return name ? name->title + u'|' + name->artist : QStringLiteral("-");
    }

    ManualExecutor cacheWriter;
};

TEST_F(KnownDurations, ShowTagTitlesNamesRowsByTheTagsTheCacheKnowsTheShareAwayAndIsRemembered)
{
    learnTags("/m/a.flac", QStringLiteral("Sunset Boulevard"), { QStringLiteral("Ana Silva"), QStringLiteral("Rui") });
    learnTags("/m/untitled.flac", std::nullopt, { QStringLiteral("Ana Silva") });
    learnTags("/share/away.flac", QStringLiteral("Far"));
    files->isAway = true;
    startWith({ wholeFile("/m/a.flac"), wholeFile("/m/untitled.flac"), wholeFile("/share/away.flac"), wholeFile("/m/unknown.flac") });
    settleAll();
    EXPECT_FALSE(model.showsTagTitles.value());
    EXPECT_EQ(nameOf("/m/a.flac"), "-"); // off by default

    perform(SetShowsTagTitlesCommand(true));
    settleAll();
    EXPECT_EQ(nameOf("/m/a.flac"), "Sunset Boulevard|Ana Silva, Rui");
    EXPECT_EQ(nameOf("/m/untitled.flac"), "-");
    EXPECT_EQ(nameOf("/share/away.flac"), "Far|");
    EXPECT_EQ(nameOf("/m/unknown.flac"), "-");

    controller.reset(); // the next launch looks the names up with the durations
    model.showsTagTitles.set(false);
    model.tagNames.set({});
    settleAll();
    start();
    settleAll();
    EXPECT_TRUE(model.showsTagTitles.value());
    EXPECT_EQ(nameOf("/share/away.flac"), "Far|");

    perform(SetShowsTagTitlesCommand(false));
    settleAll();
    EXPECT_TRUE(model.tagNames.value().known->empty());
    EXPECT_EQ(nameOf("/m/a.flac"), "-");
}

TEST_F(KnownDurations, ReadsNameTheirRowsAlsoWhereTheCacheHadNoTags)
{
    const std::string fresh = dir.filePath(QStringLiteral("fresh.flac")).toStdString();
    const std::string infoOnly = dir.filePath(QStringLiteral("info-only.flac")).toStdString();
    std::ofstream(fresh) << "sound";
    std::ofstream(infoOnly) << "sound";
    FileFacts facts; // what Get Info keeps: no tags
    facts.stamp = *FileStamp::of(infoOnly);
    facts.stream = StreamInfo { 42, {}, {}, {} };
    facts.hasEmbeddedCueSheet = false;
    metadataCache->record(infoOnly, facts);
    cacheWriter.runAll();
    defaults->set(true, QStringLiteral("showsTagTitles"));

    startWith({ wholeFile(fresh), wholeFile(infoOnly) });
    settleAll();
    EXPECT_EQ(nameOf(fresh), "Tagged|"); // what the fake reader's tags say
    EXPECT_EQ(nameOf(infoOnly), "Tagged|");
    const auto reads = reader->streamReads();
    EXPECT_EQ(std::count(reads.begin(), reads.end(), "info-only.flac"), 0); // its stream came from the cache
    ASSERT_TRUE(metadataCache->find(infoOnly, std::nullopt)->tags);
}

TEST_F(KnownDurations, TheTotalDurationFollowsTheRowsAndWhatIsKnown)
{
    learn("/share/a.flac", 60);
    learn("/share/b.flac", 90.5);
    files->isAway = true; // nothing is read: what is known comes from the cache alone
    startWith({ wholeFile("/share/a.flac"), wholeFile("/share/b.flac"), wholeFile("/share/c.flac"),
        cueTrack("/share/d.flac", 10, 40, "Part") });
    settleAll();
    EXPECT_EQ(model.totalDuration.value(), (PlaylistDuration { 180.5, 1 }));
    perform(RemoveTracksCommand({ 1 }));
    settleAll();
    EXPECT_EQ(model.totalDuration.value(), (PlaylistDuration { 90, 1 }));
}

TEST_F(KnownDurations, RowsAddedAfterLaunchShowWhatTheCacheKnew)
{
    std::vector<FileURL> added;
    for (int row = 0; row < 100; ++row) {
        added.push_back(url("/m/" + std::to_string(row) + ".flac"));
        learn(added.back().path(), 60 + row);
    }
    added.push_back(url("/share/away.flac"));
    learn("/share/away.flac", 321);
    files->isAway = true;
    startWith({ wholeFile("/m/first.flac") });
    settleAll();
    perform(AddTracksCommand(added));
    settleAll();
    const DurationMap& known = model.knownDurations.value();
    EXPECT_EQ(known.size(), 101u);
    EXPECT_EQ(known.at(url("/m/99.flac")), 159.0f);
    EXPECT_EQ(known.at(url("/share/away.flac")), 321.0f);
}

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
