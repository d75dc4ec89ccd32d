#include "MetadataCache.h"

#include "ManualExecutor.h"
#include "SqliteDatabase.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lh {
namespace {

constexpr std::int64_t day = 86'400;
constexpr std::int64_t firstDay = 20'000 * day;
const std::string track = "/music/Ana Silva - Sunset Boulevard.flac";

FileFacts facts(FileStamp stamp, double duration)
{
    FileFacts made;
    made.stamp = stamp;
    made.stream = StreamInfo { duration, 320'000, 44'100.0, 2, ReplayGain { -6.5f, 0.9f, std::nullopt, std::nullopt } };
    return made;
}

MediaTags tags(const QString& title)
{
    MediaTags made;
    made.title = title;
    made.artists = { QStringLiteral("Ana Silva"), QStringLiteral("Bo") };
    made.trackNumber = 3;
    made.year = QStringLiteral("1999");
    return made;
}

// One run of the player after another over the same folder: each run's cache is opened, used
// and closed with its writer stepped by hand.
class MetadataCacheTest : public ::testing::Test {
public: // the bad-database cases make their files through it
    std::unique_ptr<MetadataCache> openCache(std::int64_t now = firstDay, std::int64_t maximumBytes = std::int64_t(1) << 30)
    {
        MetadataCache::Options options;
        options.writer = &writer;
        options.report = [this](const QString& message) { messages.push_back(message); };
        options.now = [now] { return now; };
        options.maximumBytes = maximumBytes;
        auto cache = std::make_unique<MetadataCache>(folder(), options);
        writer.runAll();
        return cache;
    }
    void close(std::unique_ptr<MetadataCache> cache)
    {
        cache.reset();
        writer.runAll();
    }
    std::string folder() const { return directory.filePath(QStringLiteral("metadata")).toStdString(); }
    std::string databasePath() const { return folder() + "/" + MetadataCache::fileName; }
    // A database made by hand, as another program or version would leave it.
    SqliteDatabase makeDatabase(const char* sql)
    {
        std::filesystem::create_directories(folder());
        SqliteDatabase db;
        EXPECT_EQ(db.open(databasePath(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE), SQLITE_OK);
        EXPECT_EQ(db.execute(sql), SQLITE_OK) << db.lastError().toStdString();
        return db;
    }
    QByteArray databaseBytes() const
    {
        QFile file(QString::fromStdString(databasePath()));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // What a corrupt database was moved aside as.
    QByteArray keptAside() const
    {
        for (const auto& entry : std::filesystem::directory_iterator(folder())) {
            if (entry.path().filename().string().starts_with(std::string(MetadataCache::fileName) + ".corrupt-")) {
                QFile file(QString::fromStdString(entry.path().string()));
                return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            }
        }
        return {};
    }

    QTemporaryDir directory;
    test::ManualExecutor writer;
    std::vector<QString> messages;
};

TEST_F(MetadataCacheTest, AnEntryHoldsForTheVersionOfTheFileItWasLearnedFrom)
{
    const FileStamp stored { 1000, 5 };
    struct Case {
        const char* name;
        std::optional<FileStamp> current;
        bool isFound;
    };
    const Case cases[] = {
        { "the same file", stored, true },
        { "a changed size", FileStamp { 1001, 5 }, false },
        { "a changed time", FileStamp { 1000, 6 }, false },
        { "a file not looked at: a share away", std::nullopt, true },
        { "a copy of the same size, whose time is not told", FileStamp { 1000, std::nullopt }, false },
    };
    auto cache = openCache();
    cache->record(track, facts(stored, 61.5));
    close(std::move(cache));
    cache = openCache();
    for (const Case& each : cases) {
        const auto found = cache->find(track, each.current);
        EXPECT_EQ(found.has_value(), each.isFound) << each.name;
        if (found) {
            EXPECT_EQ(*found, facts(stored, 61.5)) << each.name;
        }
    }

    EXPECT_EQ(cache->knownDuration(track), 61.5); // what a launch shows, whatever the version
    EXPECT_FALSE(cache->knownDuration("/music/never learned.flac"));

    // A copy's entry is told by its size alone.
    cache->record("/share/a.flac", facts({ 2000, std::nullopt }, 1));
    writer.runAll();
    EXPECT_TRUE(cache->find("/share/a.flac", FileStamp { 2000, std::nullopt }));
    EXPECT_FALSE(cache->find("/share/a.flac", FileStamp { 2001, std::nullopt }));
    EXPECT_TRUE(messages.empty());
}

// Lookups go through the files in path order, stepping from one to the next and seeking only
// far ahead: whatever order, gaps or repeats a batch has, each file gets its own answer.
TEST_F(MetadataCacheTest, ABatchOfLookupsAnswersEachFileWhateverItsOrder)
{
    // Files 0, 2, 4 … 98 are known; file n lasts n + 1 seconds.
    const auto pathOf = [](int file) { return "/music/" + std::to_string(1000 + file) + ".flac"; };
    auto cache = openCache();
    for (int file = 0; file < 100; file += 2)
        cache->record(pathOf(file), facts({ 1000, 5 }, file + 1));
    cache->record("/music/\xff\xfe raw bytes.flac", facts({ 1000, 5 }, 500));
    close(std::move(cache));
    cache = openCache();
    cache->record(pathOf(3), facts({ 1000, 5 }, 4)); // waiting to be written

    struct Case {
        const char* name;
        std::vector<std::string> paths;
    };
    const Case cases[] = {
        { "in path order, known and unknown alternating", { pathOf(0), pathOf(1), pathOf(2), pathOf(3), pathOf(4) } },
        { "backwards", { pathOf(10), pathOf(8), pathOf(7), pathOf(6) } },
        { "far apart, seeking between", { pathOf(90), pathOf(2), pathOf(98), pathOf(40), pathOf(42) } },
        { "repeated", { pathOf(6), pathOf(6), pathOf(5), pathOf(6) } },
        { "a prefix of a known path, and paths beyond the last", { "/music/1002", pathOf(2), "/music/1002.flac.bak", "/z", "/zz" } },
        { "bytes that are not UTF-8", { "/music/\xff\xfe raw bytes.flac", pathOf(98) } },
        { "all of them", {} },
    };
    std::vector<std::string> all;
    for (int file = 0; file < 100; ++file)
        all.push_back(pathOf(file));
    const auto expected = [&](const std::string& path) -> std::optional<double> {
        if (path == "/music/\xff\xfe raw bytes.flac")
            return 500;
        for (int file = 0; file < 100; ++file) {
            if (path == pathOf(file) && (file % 2 == 0 || file == 3))
                return file + 1;
        }
        return std::nullopt;
    };
    for (const Case& each : cases) {
        const auto& paths = each.paths.empty() ? all : each.paths;
        const auto durations = cache->knownDurations(paths);
        const auto facts = cache->knownFacts(paths);
        const auto listings = cache->knownListings(paths);
        ASSERT_EQ(durations.size(), paths.size()) << each.name;
        ASSERT_EQ(facts.size(), paths.size()) << each.name;
        ASSERT_EQ(listings.size(), paths.size()) << each.name;
        for (std::size_t index = 0; index < paths.size(); ++index) {
            EXPECT_EQ(durations[index], expected(paths[index])) << each.name << ": " << paths[index];
            for (const auto* found : { &facts[index], &listings[index] }) {
                const auto duration = *found ? (*found)->stream->duration : std::nullopt;
                EXPECT_EQ(duration, expected(paths[index])) << each.name << ": " << paths[index];
            }
        }
    }
}

// What a launch names its rows by, and nothing more, with what is still to be written on top.
TEST_F(MetadataCacheTest, AListingHoldsTheStampDurationTitleAndArtistsAlone)
{
    const FileStamp stamp { 1000, 5 };
    auto cache = openCache();
    FileFacts stored = facts(stamp, 61.5);
    stored.tags = tags(QStringLiteral("Sunset"));
    stored.hasEmbeddedCueSheet = true;
    cache->record(track, stored);
    cache->record("/music/no tags.flac", facts(stamp, 10));
    close(std::move(cache));
    cache = openCache();
    FileFacts retagged;
    retagged.stamp = stamp;
    retagged.tags = tags(QStringLiteral("Sunset, remastered"));
    cache->record("/music/no tags.flac", retagged); // waiting to be written

    const auto listings = cache->knownListings({ track, "/music/no tags.flac", "/music/unknown.flac" });
    FileFacts expected;
    expected.stamp = stamp;
    expected.stream = StreamInfo {};
    expected.stream->duration = 61.5;
    expected.tags = MediaTags {};
    expected.tags->title = QStringLiteral("Sunset");
    expected.tags->artists = { QStringLiteral("Ana Silva"), QStringLiteral("Bo") };
    EXPECT_EQ(listings[0], expected);
    ASSERT_TRUE(listings[1]);
    EXPECT_EQ(listings[1]->stream->duration, 10);
    EXPECT_EQ(listings[1]->tags, retagged.tags);
    EXPECT_FALSE(listings[2]);
}

TEST_F(MetadataCacheTest, WhatEachReadLearnsAddsUpForOneVersionAndStartsAfreshForTheNext)
{
    auto cache = openCache();
    cache->record(track, facts({ 1000, 5 }, 61.5));
    FileFacts learned;
    learned.stamp = { 1000, 5 };
    learned.tags = tags(QStringLiteral("Sunset Boulevard"));
    learned.hasEmbeddedCueSheet = false;
    cache->record(track, learned);
    // Before the writer has run, the waiting facts are found too.
    ASSERT_TRUE(cache->find(track, FileStamp { 1000, 5 }));
    EXPECT_EQ(cache->find(track, FileStamp { 1000, 5 })->tags, learned.tags);
    close(std::move(cache));

    cache = openCache();
    auto found = cache->find(track, FileStamp { 1000, 5 });
    ASSERT_TRUE(found);
    EXPECT_EQ(found->stream, facts({ 1000, 5 }, 61.5).stream);
    EXPECT_EQ(found->tags, learned.tags);
    EXPECT_EQ(found->hasEmbeddedCueSheet, false);

    cache->record(track, facts({ 1200, 9 }, 70)); // edited since: the old tags no longer hold
    writer.runAll();
    found = cache->find(track, FileStamp { 1200, 9 });
    ASSERT_TRUE(found);
    EXPECT_EQ(found->stream->duration, 70);
    EXPECT_FALSE(found->tags);
    EXPECT_FALSE(found->hasEmbeddedCueSheet);
}

TEST_F(MetadataCacheTest, EntriesNoRowNamedForNinetyDaysArePruned)
{
    struct Case {
        const char* name;
        std::optional<std::int64_t> namedAgainOnDay;
        std::int64_t reopenedOnDay;
        bool isKept;
    };
    const Case cases[] = {
        { "named 89 days ago", std::nullopt, 89, true },
        { "named 91 days ago", std::nullopt, 91, false },
        { "learned 150 days ago, named 80 days ago", 70, 150, true },
    };
    for (const Case& each : cases) {
        std::filesystem::remove_all(folder());
        auto cache = openCache(firstDay);
        cache->record(track, facts({ 1, 1 }, 1));
        close(std::move(cache));
        if (each.namedAgainOnDay) {
            cache = openCache(firstDay + *each.namedAgainOnDay * day);
            EXPECT_TRUE(cache->find(track, std::nullopt)) << each.name;
            close(std::move(cache));
        }
        cache = openCache(firstDay + each.reopenedOnDay * day);
        EXPECT_EQ(cache->find(track, std::nullopt).has_value(), each.isKept) << each.name;
        close(std::move(cache));
    }
}

// Makes the file unwritable even for root, who ignores its mode: false where neither works.
bool makeReadOnly(const std::string& path)
{
    ::chmod(path.c_str(), 0444);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    int flags = 0;
    if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
        flags |= FS_IMMUTABLE_FL;
        ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    if (fd >= 0)
        ::close(fd);
    const int probe = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (probe < 0)
        return true;
    ::close(probe);
    return false;
}

void makeWritable(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    int flags = 0;
    if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_IMMUTABLE_FL)) {
        flags &= ~FS_IMMUTABLE_FL;
        ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    if (fd >= 0)
        ::close(fd);
    ::chmod(path.c_str(), 0644);
}

TEST_F(MetadataCacheTest, ABadDatabaseIsMovedAsideOrLeftAloneAndThePlayerWorksOnWithoutIt)
{
    struct Case {
        const char* name;
        std::function<bool(MetadataCacheTest&, std::optional<SqliteDatabase>& holder)> makeBad; // false: skip
        MetadataCache::State state;
        const char* said;
        bool isLeftAlone;
    };
    const Case cases[] = {
        { "corrupt",
            [](MetadataCacheTest& test, auto&) {
                std::filesystem::create_directories(test.folder());
                QFile file(QString::fromStdString(test.databasePath()));
                return file.open(QIODevice::WriteOnly) && file.write(QByteArray(8192, 'x')) == 8192;
            },
            MetadataCache::State::ready, "moved it aside", false },
        { "from a newer version",
            [](MetadataCacheTest& test, auto&) {
                test.makeDatabase("CREATE TABLE files (path BLOB PRIMARY KEY); PRAGMA user_version = 2;");
                return true;
            },
            MetadataCache::State::off, "newer version", true },
        { "locked by another program",
            [](MetadataCacheTest& test, std::optional<SqliteDatabase>& holder) {
                holder = test.makeDatabase("CREATE TABLE t (x); BEGIN EXCLUSIVE; INSERT INTO t VALUES (1);");
                return true;
            },
            MetadataCache::State::off, "locked", true },
        { "read-only",
            [](MetadataCacheTest& test, auto&) {
                test.makeDatabase("CREATE TABLE t (x);");
                return makeReadOnly(test.databasePath());
            },
            MetadataCache::State::off, "cannot be written", true },
    };
    for (const Case& each : cases) {
        std::filesystem::remove_all(folder());
        messages.clear();
        std::optional<SqliteDatabase> holder;
        if (!each.makeBad(*this, holder)) {
            makeWritable(databasePath());
            std::printf("[  SKIPPED ] %s: the file cannot be made read-only here\n", each.name);
            continue;
        }
        const QByteArray before = databaseBytes();
        auto cache = openCache();
        EXPECT_EQ(cache->state(), each.state) << each.name;
        ASSERT_EQ(messages.size(), 1u) << each.name;
        EXPECT_TRUE(messages.front().contains(QLatin1String(each.said))) << messages.front().toStdString();
        EXPECT_TRUE(messages.front().contains(QString::fromStdString(databasePath()))) << each.name;

        // It runs on: lookups answer, records are taken, and nothing more is said.
        cache->record(track, facts({ 1, 1 }, 1));
        writer.runAll();
        EXPECT_EQ(cache->find(track, FileStamp { 1, 1 }).has_value(), each.state == MetadataCache::State::ready) << each.name;
        close(std::move(cache));
        EXPECT_EQ(messages.size(), 1u) << each.name;
        holder.reset();
        if (each.isLeftAlone)
            EXPECT_EQ(databaseBytes(), before) << each.name;
        else
            EXPECT_EQ(keptAside(), before) << each.name;
        makeWritable(databasePath());
    }
}

TEST_F(MetadataCacheTest, AFullDiskStopsTheWritingButNotTheLookups)
{
    // The database's own limit fills it as a full disk would.
    auto cache = openCache(firstDay, 64 * 1024);
    cache->record(track, facts({ 1, 1 }, 1));
    writer.runAll();
    for (int file = 0; file < 2000 && cache->state() == MetadataCache::State::ready; ++file) {
        cache->record("/music/" + std::string(200, 'a') + std::to_string(file) + ".flac", facts({ 1, 1 }, 1));
        writer.runAll();
    }
    EXPECT_EQ(cache->state(), MetadataCache::State::readOnly);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages.front().contains(QLatin1String("is full")));
    EXPECT_TRUE(cache->find(track, FileStamp { 1, 1 }));
    cache->record("/music/more.flac", facts({ 1, 1 }, 1));
    writer.runAll();
    EXPECT_FALSE(cache->find("/music/more.flac", std::nullopt));
    EXPECT_EQ(messages.size(), 1u);
}

} // namespace
} // namespace lh
