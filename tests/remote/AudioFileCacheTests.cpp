#include "AudioFileCache.h"

#include "FileSystem.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sys/stat.h>

namespace lh {
namespace {

class AudioFileCacheTest : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return folder + "/" + name; }
    bool exists(const std::string& name) const { return std::filesystem::exists(path(name)); }
    static void write(const std::string& path, std::size_t size) { std::ofstream(path, std::ios::binary) << std::string(size, 'a'); }
    static void setModified(const std::string& path, time_t seconds)
    {
        const timespec times[2] { { seconds, 0 }, { seconds, 0 } };
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }

    // Puts a copy of `source` of `size` bytes into the folder, last played at `playedAt`.
    std::string place(AudioFileCache& cache, const std::string& source, std::size_t size, time_t playedAt) const
    {
        const FileURL partial = cache.partial(FileURL(source));
        write(partial.path(), size);
        const std::string name = cache.add(partial, FileURL(source)).lastPathComponent();
        setModified(path(name), playedAt);
        return name;
    }

    // Adds a copy of `size` bytes for `source` through the cache, as the downloader does.
    std::string add(AudioFileCache& cache, const std::string& source, std::size_t size) const
    {
        const FileURL partial = cache.partial(FileURL(source));
        write(partial.path(), size);
        return cache.add(partial, FileURL(source)).lastPathComponent();
    }

    QTemporaryDir dir;
    std::string folder = dir.path().toStdString() + "/cache/Larkhaven";
};

TEST_F(AudioFileCacheTest, AFolderThatDoesNotExistIsCreatedByTheFirstPartial)
{
    AudioFileCache cache(FileURL(folder, true), 100);
    EXPECT_FALSE(cache.copy(FileURL("/mnt/s/a.flac")));
    EXPECT_FALSE(std::filesystem::exists(folder));
    const FileURL partial = cache.partial(FileURL("/mnt/s/a.flac"));
    struct stat info {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(partial.deletingLastPathComponent().path(), FileURL(folder).path());
}

TEST_F(AudioFileCacheTest, AFailedMoveKeepsTheOlderCopy)
{
    AudioFileCache cache(FileURL(folder, true), 100);
    const std::string name = add(cache, "/mnt/s/a.flac", 10);
    const FileURL vanished = cache.partial(FileURL("/mnt/s/a.flac")); // never written
    EXPECT_THROW(cache.add(vanished, FileURL("/mnt/s/a.flac")), FileError);
    EXPECT_EQ(std::filesystem::file_size(path(name)), 10u);
}

TEST_F(AudioFileCacheTest, EvictionKeepsTheCacheDisksLastStretchFree)
{
    std::int64_t available = 1000;
    AudioFileCache cache(FileURL(folder, true), 100, [&](const std::string&) { return std::optional(available); }, 20);
    const std::string older = place(cache, "/mnt/s/a.flac", 30, 1'000);
    const std::string old = place(cache, "/mnt/s/b.flac", 30, 2'000);
    EXPECT_EQ(cache.budget(), 100);
    available = 10; // the disk filled up from elsewhere: 60 + 10 - 20 left for copies
    EXPECT_EQ(cache.budget(), 50);
    available = 0;
    const std::string newest = add(cache, "/mnt/s/c.flac", 20); // 80 + 0 - 20: down to 60
    EXPECT_FALSE(exists(older));
    EXPECT_TRUE(exists(old));
    EXPECT_TRUE(exists(newest));
    EXPECT_EQ(AudioFileCache(FileURL(folder, true), 100, [](const std::string&) { return std::optional<std::int64_t>(); }).budget(), 100);
}

TEST_F(AudioFileCacheTest, StartingRemovesPartialFilesAndNothingElse)
{
    std::filesystem::create_directories(folder);
    write(path("abc.flac.1234.partial"), 3);
    write(path("abc.flac"), 3);
    write(path(".lock"), 0);
    write(path("notes.partialx"), 1);
    AudioFileCache cache(FileURL(folder, true), 100);
    auto names = FileSystem::listFolder(folder);
    std::ranges::sort(names);
    EXPECT_EQ(names, std::vector<std::string>({ ".lock", "abc.flac", "notes.partialx" }));
}

TEST_F(AudioFileCacheTest, CopiesAreNamedByTheHashOfTheCanonicalPathWithALowerCaseExtension)
{
    AudioFileCache cache(FileURL(folder, true), 100);
    const std::string name = add(cache, "/mnt/S/A/Song.FLAC", 1);
    EXPECT_TRUE(std::regex_match(name, std::regex("[0-9a-f]{64}\\.flac"))) << name;
    EXPECT_EQ(cache.copy(FileURL("/mnt/S/A/./Song.FLAC"))->lastPathComponent(), name);
    EXPECT_EQ(cache.copy(FileURL("/mnt/S//B/../A/Song.FLAC"))->lastPathComponent(), name);
    EXPECT_FALSE(cache.copy(FileURL("/mnt/s/A/Song.FLAC"))) << "paths differing in case are different files";
    EXPECT_EQ(cache.copy(FileURL("/mnt/S/A/Song.FLAC"))->path(), path(name));
}

TEST_F(AudioFileCacheTest, EachPartialIsAFreshNameStartingWithTheCopysName)
{
    AudioFileCache cache(FileURL(folder, true), 100);
    const std::string copyName = add(cache, "/mnt/s/a.mp3", 1);
    const std::string first = cache.partial(FileURL("/mnt/s/a.mp3")).lastPathComponent();
    const std::string second = cache.partial(FileURL("/mnt/s/a.mp3")).lastPathComponent();
    EXPECT_NE(first, second);
    const std::regex form(copyName + "\\.[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\.partial");
    EXPECT_TRUE(std::regex_match(first, form)) << first;
    EXPECT_TRUE(std::regex_match(second, form)) << second;
}

TEST_F(AudioFileCacheTest, AddingEvictsTheLeastRecentlyPlayedUntilTheFolderFits)
{
    AudioFileCache cache(FileURL(folder, true), 100);
    const std::string a = place(cache, "/mnt/s/a.flac", 60, 1000);
    const std::string b = place(cache, "/mnt/s/b.flac", 30, 2000);
    const std::string c = add(cache, "/mnt/s/c.flac", 50);
    EXPECT_FALSE(exists(a));
    EXPECT_TRUE(exists(b));
    EXPECT_TRUE(exists(c));
}

TEST_F(AudioFileCacheTest, ProtectedCopiesAndTheNewCopyAreSparedEvenAboveTheLimit)
{
    AudioFileCache cache(FileURL(folder, true), 100);
    const std::string a = place(cache, "/mnt/s/a.flac", 60, 1000);
    const std::string b = place(cache, "/mnt/s/b.flac", 30, 2000);
    cache.protect({ FileURL("/mnt/s/a.flac") });
    const std::string c = add(cache, "/mnt/s/c.flac", 50);
    EXPECT_TRUE(exists(a));
    EXPECT_FALSE(exists(b));
    EXPECT_TRUE(exists(c)); // 110 bytes stay

    cache.protect({});
    add(cache, "/mnt/s/d.flac", 1);
    EXPECT_FALSE(exists(a)) << "a new protected set replaces the old one";
}

TEST_F(AudioFileCacheTest, HiddenFilesAndFilesWithoutASizeAreNeitherCountedNorDeleted)
{
    AudioFileCache cache(FileURL(folder, true), 100);
    const std::string a = place(cache, "/mnt/s/a.flac", 60, 1000);
    write(path(".lock"), 80);
    setModified(path(".lock"), 10);
    ASSERT_EQ(::symlink("/nowhere", path("dangling.mp3").c_str()), 0);
    add(cache, "/mnt/s/c.flac", 40);
    EXPECT_TRUE(exists(a)) << "100 bytes of copies fit";
    add(cache, "/mnt/s/d.flac", 1);
    EXPECT_FALSE(exists(a));
    EXPECT_TRUE(exists(".lock"));
    EXPECT_TRUE(std::filesystem::is_symlink(path("dangling.mp3")));
}

TEST_F(AudioFileCacheTest, CopiesPlayedAtTheSameTimeAreDeletedInListingOrder)
{
    AudioFileCache cache(FileURL(folder, true), 100);
    std::filesystem::create_directories(folder);
    for (const char* name : { "1.mp3", "2.mp3", "3.mp3", "4.mp3" }) {
        write(path(name), 30);
        setModified(path(name), 5000);
    }
    const auto listed = FileSystem::listFolder(folder);
    add(cache, "/mnt/s/new.mp3", 30); // 150 bytes: two of the four must go
    for (std::size_t i = 0; i < listed.size(); ++i)
        EXPECT_EQ(exists(listed[i]), i >= 2) << i;
}

TEST_F(AudioFileCacheTest, AddingOverAnOlderCopyLeavesOneFileMarkedPlayed)
{
    AudioFileCache cache(FileURL(folder, true), 1000);
    const std::string first = place(cache, "/mnt/s/a.flac", 10, 1000);
    const std::string second = add(cache, "/mnt/s/a.flac", 20);
    EXPECT_EQ(first, second);
    EXPECT_EQ(FileSystem::listFolder(folder), std::vector<std::string>({ first }));
    EXPECT_EQ(std::filesystem::file_size(path(first)), 20u);
    struct stat info {};
    ::stat(path(first).c_str(), &info);
    EXPECT_GT(info.st_mtim.tv_sec, 1000);
}

TEST_F(AudioFileCacheTest, AFailedMoveLeavesThePartialForTheCaller)
{
    AudioFileCache cache(FileURL(folder, true), 1000);
    const FileURL partial = cache.partial(FileURL("/mnt/s/a.flac"));
    EXPECT_THROW(cache.add(partial, FileURL("/mnt/s/a.flac")), FileError) << "the partial was never written";
    EXPECT_FALSE(cache.copy(FileURL("/mnt/s/a.flac")));
}

} // namespace
} // namespace lh
