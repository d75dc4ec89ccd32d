#include "FolderWalker.h"
#include "TrackImporter.h"

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>

#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace lh {
namespace {

class FolderWalkerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        ASSERT_TRUE(dir.isValid());
        for (const char* file : { "a.flac", "notes.txt", ".hidden.mp3", "Artist/2 Album/10 Song.mp3",
                 "Artist/2 Album/2 Song.mp3", "Artist/2 Album/B Song.mp3", "Artist/2 Album/a song.MP3",
                 "Artist/2 Album/cover.jpg", "Artist/2 Album/Disc 1/1.flac", "Artist/10 Album/Album.flac",
                 "Artist/10 Album/caf\xe9.mp3", ".Hidden Album/x.mp3" })
            make(file);
        make("Artist/10 Album/Album.cue", "FILE \"Album.flac\" WAVE\nTRACK 01 AUDIO\nTITLE One\nINDEX 01 00:00:00\n"
                                          "TRACK 02 AUDIO\nTITLE Two\nINDEX 01 01:00:00\n");
        ASSERT_EQ(::symlink("../..", path("Artist/2 Album/Back to the top").c_str()), 0);
        ASSERT_EQ(::symlink("missing.mp3", path("Artist/dangling.mp3").c_str()), 0);
        ASSERT_EQ(::mkfifo(path("Artist/pipe.mp3").c_str(), 0600), 0);
    }

    void TearDown() override
    {
        QLocale::setDefault(QLocale::c());
        ::unlink(path("Artist/10 Album/caf\xe9.mp3").c_str()); // Qt cannot name it to remove it
    }

    std::string path(const std::string& relative = {}) const
    {
        return QFile::encodeName(dir.path()).toStdString() + (relative.empty() ? "" : "/" + relative);
    }

    void make(const std::string& relative, const std::string& contents = {}) const
    {
        const std::string file = path(relative);
        for (auto slash = file.find('/', path().size() + 1); slash != std::string::npos; slash = file.find('/', slash + 1))
            ::mkdir(file.substr(0, slash).c_str(), 0700);
        std::ofstream(file) << contents;
    }

    FileURL url(const std::string& relative) const { return FileURL(path(relative)); }

    Track whole(const std::string& relative) const
    {
        return Track { url(relative), 0, std::nullopt, std::nullopt, std::nullopt, std::nullopt, false, false };
    }

    QTemporaryDir dir;
    const TrackImporter importer { [](const FileURL&) { return false; } };
};

TEST_F(FolderWalkerTest, AFolderGivesItsMusicInNaturalOrderDepthFirst)
{
    const FileURL album = url("Artist/10 Album/Album.flac");
    const std::vector<Track> expected {
        whole("a.flac"),
        whole("Artist/2 Album/2 Song.mp3"),
        whole("Artist/2 Album/10 Song.mp3"),
        whole("Artist/2 Album/a song.MP3"),
        whole("Artist/2 Album/B Song.mp3"),
        whole("Artist/2 Album/Disc 1/1.flac"),
        Track { album, 0, 60, QStringLiteral("One"), std::nullopt, std::nullopt, false, false, {}, InternedURL(url("Artist/10 Album/Album.cue")) },
        Track { album, 60, std::nullopt, QStringLiteral("Two"), std::nullopt, std::nullopt, false, false, {}, InternedURL(url("Artist/10 Album/Album.cue")) },
        whole("Artist/10 Album/caf\xe9.mp3"),
        whole("z.mp3"),
    };
    // With or without the folder mark, and with a file of the request after it.
    for (const bool isMarked : { true, false }) {
        FolderWalker walker({ FileURL(path() + "/", isMarked), url("z.mp3") });
        int listings = 0;
        EXPECT_EQ(importer.tracks(walker.walk([&] { ++listings; })), expected) << isMarked;
        EXPECT_EQ(listings, 5); // the top, Artist, both albums and the disc
    }
}

TEST_F(FolderWalkerTest, AWalkCutShortKeepsWhatItListedAndTheRequestsFiles)
{
    FolderWalker walker({ url("Artist/2 Album"), url("z.mp3"), FileURL(path("Artist"), true), url("y.flac") });
    int listings = 0;
    EXPECT_THROW(walker.walk([&] {
        if (++listings == 2)
            throw std::runtime_error("stalled");
    }),
        std::runtime_error);
    const std::vector<FileURL> expected { url("Artist/2 Album/2 Song.mp3"), url("Artist/2 Album/10 Song.mp3"),
        url("Artist/2 Album/a song.MP3"), url("Artist/2 Album/B Song.mp3"), url("z.mp3"), url("y.flac") };
    EXPECT_EQ(walker.foundSoFar(), expected);
}

// Named files that are not added are named on standard error with the reason; of a folder's
// files only those that look like audio are, in one line with the first few.
TEST_F(FolderWalkerTest, SaysOnceWhatItLeavesOutAndWhy)
{
    for (const char* file : { "Other/1.mid", "Other/2.DSF", "Other/3.m4b", "Other/Sub/4.ac3", "Other/cover.png", "Other/log.txt" })
        make(file);
    FolderWalker walker({ url("notes.txt"), url("gone.txt"), FileURL(path("Other"), true), url("a.flac") });
    ::testing::internal::CaptureStderr();
    walker.walk([] { });
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(said,
        "larkhaven: not added " + path("notes.txt") + ": not an audio file or cue sheet the player plays\n"
        "larkhaven: not added " + path("gone.txt") + ": No such file or directory\n"
        "larkhaven: 4 files in the folders added look like audio the player cannot play: " + path("Other/1.mid") + ", "
        + path("Other/2.DSF") + ", " + path("Other/3.m4b") + ", …\n");

    // (Not Artist itself: a link in it leads back to the top, where Other lies.)
    FolderWalker quiet({ FileURL(path("Artist/10 Album"), true), FileURL(path("Artist/2 Album/Disc 1"), true), url("a.flac") });
    ::testing::internal::CaptureStderr();
    quiet.walk([] { });
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "cue sheets and pictures are not news";
}

// Folders the walk met that could no longer be listed (a share unmounted or gone under it) are
// said once, with what the walk did add.
TEST_F(FolderWalkerTest, FoldersThatCannotBeListedAnyMoreAreSaidOnceWithWhatWasAdded)
{
    for (const char* file : { "Lib/1.flac", "Lib/A/2.flac", "Lib/B/3.flac", "Lib/C/4.flac" })
        make(file);
    FolderWalker walker({ FileURL(path("Lib"), true) });
    bool isGone = false;
    ::testing::internal::CaptureStderr();
    const auto found = walker.walk([&] {
        if (std::exchange(isGone, true))
            return;
        for (const char* folder : { "B", "C" }) {
            ::unlink(path(std::string("Lib/") + folder + "/" + (folder[0] == 'B' ? "3" : "4") + ".flac").c_str());
            ::rmdir(path(std::string("Lib/") + folder).c_str());
        }
    });
    EXPECT_EQ(found, std::vector<FileURL>({ url("Lib/1.flac"), url("Lib/A/2.flac") }));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
        "larkhaven: added 2 files of " + path("Lib") + ": the share stopped answering; 2 folders not read, from "
            + path("Lib/B") + " on (No such file or directory)\n");
}

TEST_F(FolderWalkerTest, LinksThatFanOutListEachFolderOnce)
{
    // Each folder holds a song and two links to the next: walked path by path, 2^41 visits.
    constexpr int depth = 41;
    for (int i = 0; i < depth; ++i) {
        const std::string folder = "Fan/" + std::to_string(i);
        make(folder + "/song.mp3");
        for (const char* link : { "a", "b" })
            ASSERT_EQ(::symlink(("../" + std::to_string(i + 1)).c_str(), path(folder + "/" + link).c_str()), 0);
    }
    FolderWalker walker({ url("Fan/0") });
    int listings = 0;
    const std::vector<FileURL> found = walker.walk([&] {
        if (++listings > 10 * depth)
            throw std::runtime_error("the walk lists folders again");
    });
    EXPECT_EQ(listings, depth);
    EXPECT_EQ(found.size(), static_cast<std::size_t>(depth));
}

TEST_F(FolderWalkerTest, AWalkStopsAtEachOfItsBoundsKeepingWhatItFound)
{
    // 30 songs, then folders "s1" … "s5" of one song each.
    for (int i = 1; i <= 30; ++i)
        make("Bounded/" + std::to_string(i) + ".mp3");
    for (int i = 1; i <= 5; ++i)
        make("Bounded/s" + std::to_string(i) + "/x.mp3");
    // Covers, scans and logs beside ten songs: only the songs count as files.
    for (int i = 1; i <= 10; ++i) {
        for (const char* name : { ".flac", " scan.jpg", ".log" })
            make("Mixed/" + std::to_string(i) + name);
    }
    struct Case {
        const char* name;
        FolderWalker::Limits limits;
        std::size_t leastFound;
        std::size_t mostFound;
        const char* folder = "Bounded";
    };
    using namespace std::chrono_literals;
    const Case cases[] {
        { "no bound reached", {}, 35, 35 },
        { "files", { .files = 10 }, 10, 10 },
        { "files that may become rows", { .files = 10 }, 10, 10, "Mixed" },
        { "folders", { .folders = 3 }, 32, 32 },
        // Every name read counts, "." and ".." too, whatever the folder's own order.
        { "entries", { .entries = 20 }, 13, 20 },
        { "time", { .time = 0s }, 0, 0 },
    };
    for (const Case& c : cases) {
        FolderWalker walker({ url(c.folder), url("z.mp3") }, c.limits);
        std::vector<FileURL> found = walker.walk([] {});
        ASSERT_FALSE(found.empty()) << c.name;
        EXPECT_EQ(found.back(), url("z.mp3")) << c.name << ": the request's files after the cut are kept";
        found.pop_back();
        EXPECT_GE(found.size(), c.leastFound) << c.name;
        EXPECT_LE(found.size(), c.mostFound) << c.name;
    }
}

// A list named in the request is the importer's to open; lists met in a folder stay shut, since
// the files they name are in the folder already.
TEST_F(FolderWalkerTest, PassesNamedListsOnAndLeavesThoseInFoldersShut)
{
    make("Lists/mix.m3u8", "../a.flac\n../Artist/2 Album/B Song.mp3\n");
    make("Lists/c.flac");
    FolderWalker walker({ FileURL(path("Lists"), true), url("Lists/./mix.m3u8") });
    EXPECT_EQ(importer.tracks(walker.walk([] { })), std::vector({ whole("Lists/c.flac"), whole("a.flac"), whole("Artist/2 Album/B Song.mp3") }));
}

TEST(FolderWalker, OnlyNamesThatMayBeFoldersNeedAWalk)
{
    EXPECT_FALSE(FolderWalker::mayHoldFolders({ FileURL("/m/a.mp3"), FileURL("/m/b.CUE") }));
    EXPECT_TRUE(FolderWalker::mayHoldFolders({ FileURL("/m/a.mp3"), FileURL("/m/Album") }));
    EXPECT_TRUE(FolderWalker::mayHoldFolders({ FileURL("/m/Live.flac", true) }));
}

} // namespace
} // namespace lh
