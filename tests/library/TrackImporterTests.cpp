#include "TrackImporter.h"

#include "Fifo.h"
#include "PlaylistFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace lh {
namespace {

// Files and folders in memory; every URL under /net/ counts as remote.
class FakeFiles {
public:
    void add(const std::string& path, const QByteArray& contents = {}) { files_[path] = contents; }

    TrackImporter importer()
    {
        return TrackImporter(
            [this](const FileURL& url) -> std::optional<QByteArray> {
                ++reads;
                const auto file = files_.find(url.path());
                return file == files_.end() ? std::nullopt : std::optional(file->second);
            },
            [this](const FileURL& folder) {
                std::vector<std::string> names;
                const std::string prefix = folder.path() + "/";
                for (const auto& [path, contents] : files_) {
                    if (path.starts_with(prefix) && path.find('/', prefix.size()) == std::string::npos)
                        names.push_back(path.substr(prefix.size()));
                }
                return names;
            },
            [this](const FileURL& url) {
                ++remoteQuestions;
                return url.path().starts_with("/net/");
            });
    }

    int reads = 0;
    int remoteQuestions = 0;

private:
    std::map<std::string, QByteArray> files_;
};

std::vector<FileURL> urls(std::initializer_list<const char*> paths)
{
    std::vector<FileURL> result;
    for (const char* path : paths)
        result.emplace_back(path);
    return result;
}

Track whole(const char* path, bool isRemote = false)
{
    return Track { FileURL(path), 0, std::nullopt, std::nullopt, std::nullopt, std::nullopt, isRemote, false };
}

Track cue(const char* path, double start, std::optional<double> end, const char* title, std::optional<QString> artist,
    const char* sheet, bool isRemote = false)
{
    return Track { FileURL(path), start, end, QString::fromUtf8(title), std::move(artist), std::nullopt, isRemote, false, {},
        InternedURL(FileURL(sheet)) };
}

std::vector<Track> fromSheet(std::vector<Track> tracks, const char* sheet)
{
    for (Track& track : tracks)
        track.sheet = InternedURL(FileURL(sheet));
    return tracks;
}

const QByteArray albumSheet = "PERFORMER Band\nFILE \"Album.wav\" WAVE\n"
                              "TRACK 01 AUDIO\nTITLE \"One\"\nINDEX 01 00:00:00\n"
                              "TRACK 02 AUDIO\nPERFORMER Guest\nINDEX 01 01:00:00\n"
                              "TRACK 03 AUDIO\nINDEX 01 02:00:00\n";

class TrackImporterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        files.add("/music/Album/Album.cue", albumSheet);
        files.add("/music/Album/Album.flac"); // re-encoded since the sheet was written
        files.add("/music/Album/cover.jpg");
        files.add("/music/Other/song.mp3");
    }

    const std::vector<Track> albumTracks {
        cue("/music/Album/Album.flac", 0, 60, "One", "Band", "/music/Album/Album.cue"),
        cue("/music/Album/Album.flac", 60, 120, "Track 02", "Guest", "/music/Album/Album.cue"),
        cue("/music/Album/Album.flac", 120, std::nullopt, "Track 03", "Band", "/music/Album/Album.cue"),
    };
    FakeFiles files;
};

TEST_F(TrackImporterTest, ASheetWithItsAudioFileGivesOnlyTheCueTracks)
{
    EXPECT_EQ(files.importer().tracks(urls({ "/music/Album/Album.flac", "/music/Album/Album.cue" })), albumTracks);
    EXPECT_EQ(files.importer().tracks(urls({ "/music/Album/Album.flac" })), std::vector({ whole("/music/Album/Album.flac") }));
}

TEST_F(TrackImporterTest, KeepsBatchOrderAndAddsAudioFilesNoSheetCovers)
{
    auto expected = std::vector({ whole("/music/Other/song.mp3") });
    expected.insert(expected.end(), albumTracks.begin(), albumTracks.end());
    EXPECT_EQ(files.importer().tracks(urls({ "/music/Other/song.mp3", "/music/Album/./x/../Album.cue" })), expected);
    files.add("/music/Album/Copy.CUE", albumSheet);
    auto fromCopy = fromSheet(albumTracks, "/music/Album/Copy.CUE");
    fromCopy.insert(fromCopy.begin(), whole("/music/Other/song.mp3"));
    EXPECT_EQ(files.importer().tracks(urls({ "/music/Other/song.mp3", "/music/Album/Copy.CUE" })), fromCopy);
}

TEST_F(TrackImporterTest, IgnoresFoldersAndFilesOfOtherTypes)
{
    const std::vector<FileURL> batch { FileURL("/music/Album", true), FileURL("/music/Album/cover.jpg"),
        FileURL("/music/notes.txt"), FileURL("/music/README"), FileURL("/music/Dir.flac", true) };
    EXPECT_TRUE(files.importer().tracks(batch).empty());
    EXPECT_EQ(files.reads, 0);
}

TEST_F(TrackImporterTest, AnUnreadableOrUnmatchedSheetYieldsNothingAndCoversNothing)
{
    files.add("/music/Broken/Broken.cue", "FILE \"gone.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                                          "FILE \"gone2.wav\" WAVE\nTRACK 02 AUDIO\nINDEX 01 00:00:00\n");
    files.add("/music/Broken/here.flac");
    EXPECT_EQ(files.importer().tracks(urls({ "/music/Missing.cue", "/music/Broken/Broken.cue", "/music/Broken/here.flac" })),
        std::vector({ whole("/music/Broken/here.flac") }));
}

TEST_F(TrackImporterTest, AFileTooLargeForACueSheetYieldsNothing)
{
    QByteArray huge = albumSheet;
    huge.append(TrackImporter::maximumCueSheetSize - huge.size() + 1, ' ');
    files.add("/music/Album/Huge.cue", huge);
    EXPECT_TRUE(files.importer().tracks(urls({ "/music/Album/Huge.cue" })).empty());
}

TEST_F(TrackImporterTest, ASheetNamingThousandsOfFilesIsNoCueSheet)
{
    QByteArray sheet;
    for (std::size_t i = 1; i <= TrackImporter::maximumCueSheetFiles + 1; ++i) {
        const QByteArray name = "/music/Many/" + QByteArray::number(static_cast<qulonglong>(i)) + ".flac";
        files.add(name.toStdString());
        sheet += "FILE \"" + name.sliced(12) + "\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n";
    }
    files.add("/music/Many/Many.cue", sheet);
    EXPECT_TRUE(files.importer().tracks(urls({ "/music/Many/Many.cue" })).empty());
    sheet.truncate(sheet.lastIndexOf("FILE"));
    files.add("/music/Many/Many.cue", sheet); // one file fewer is still a sheet
    EXPECT_EQ(files.importer().tracks(urls({ "/music/Many/Many.cue" })).size(), TrackImporter::maximumCueSheetFiles);
}

TEST_F(TrackImporterTest, ASheetWhoseMatchingWouldCostTooMuchYieldsNothing)
{
    const std::size_t names = 100;
    const std::size_t entries = TrackImporter::maximumMatchingWork / names + 1;
    std::vector<std::string> listing;
    for (std::size_t i = 0; i < entries; ++i)
        listing.push_back(std::to_string(i) + ".flac");
    QByteArray sheet;
    for (std::size_t i = 0; i < names; ++i)
        sheet += "FILE \"" + QByteArray::number(static_cast<qulonglong>(i)) + ".flac\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n";
    const auto tracksWithListing = [&](std::vector<std::string> folder) {
        return TrackImporter([&](const FileURL&) { return std::optional(sheet); }, [&](const FileURL&) { return folder; },
            [](const FileURL&) { return false; })
            .tracks(urls({ "/music/Big/Big.cue" }));
    };
    EXPECT_TRUE(tracksWithListing(listing).empty());
    listing.resize(entries - 1);
    EXPECT_EQ(tracksWithListing(listing).size(), names);
}

// A list gives the rows of what it names, in its order, through the same rules as named files
// (a sheet covers its image); lists it names open down to three deep, each once, and what
// cannot become a row is said once per reason.
TEST_F(TrackImporterTest, AListGivesTheRowsOfWhatItNamesInItsOrder)
{
    files.add("/lists/road.m3u8", "#EXTM3U\r\n#EXTINF:12,Song\r\n../music/Other/song.mp3\r\n/music/Album/Album.cue\r\n"
                                  "/music/Album/Album.flac\r\nhttp://radio.example/live\r\nmissing1.flac\r\nmissing2.flac\r\n"
                                  "notes.txt\r\nnested.pls\r\nmissing3.flac\r\nmissing4.cue\r\n");
    files.add("/lists/nested.pls", "[playlist]\nFile2=deep.xspf\nFile1=file:///music/Other/b%20b.ogg\nNumberOfEntries=2\n");
    files.add("/music/Other/b b.ogg");
    files.add("/lists/deep.xspf", "<playlist version=\"1\" xmlns=\"http://xspf.org/ns/0/\"><trackList>"
                                  "<track><location>road.m3u8</location></track>"
                                  "<track><location>deeper.m3u</location></track>"
                                  "<track><location>/music/Other/song.mp3</location></track>"
                                  "</trackList></playlist>");
    files.add("/lists/deeper.m3u", "/music/Other/song.mp3\n");

    ::testing::internal::CaptureStderr();
    const auto tracks = files.importer().tracks(urls({ "/lists/road.m3u8" }));
    const std::string said = ::testing::internal::GetCapturedStderr();
    auto expected = std::vector({ whole("/music/Other/song.mp3") });
    expected.insert(expected.end(), albumTracks.begin(), albumTracks.end());
    expected.push_back(whole("/music/Other/b b.ogg"));
    expected.push_back(whole("/music/Other/song.mp3")); // the playlist leaves repeats out
    EXPECT_EQ(tracks, expected);
    EXPECT_EQ(said,
        "larkhaven: not added http://radio.example/live: streams are not supported\n"
        "larkhaven: not added 4 entries (no such file): /lists/missing1.flac, /lists/missing2.flac, /lists/missing3.flac, …\n"
        "larkhaven: not added /lists/notes.txt: not an audio file, cue sheet or playlist the player opens\n"
        "larkhaven: not added /lists/deeper.m3u: playlists nested more than 3 deep\n");
}

TEST_F(TrackImporterTest, AListThatIsNoListIsSaidAndGivesNothing)
{
    files.add("/lists/binary.m3u", QByteArray("\x7F" "ELF\x02\x01\x01\0\0\0", 10));
    files.add("/lists/typed.xspf", "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">]><playlist/>");
    ::testing::internal::CaptureStderr();
    const auto tracks = files.importer().tracks(urls({ "/lists/binary.m3u", "/lists/gone.pls", "/lists/typed.xspf" }));
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(tracks.empty());
    EXPECT_NE(said.find("larkhaven: not added /lists/binary.m3u: binary data, not a playlist\n"), std::string::npos) << said;
    EXPECT_NE(said.find("larkhaven: not added /lists/gone.pls: no such file\n"), std::string::npos) << said;
    EXPECT_NE(said.find("larkhaven: not added /lists/typed.xspf: "), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 3) << said;
}

TEST(TrackImporter, ReadsNoLocalFileLargerThanAnyItTakes)
{
    QTemporaryDir dir;
    const std::string path = QFile::encodeName(dir.path()).toStdString() + "/huge.m3u";
    QFile list(dir.path() + "/huge.m3u");
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    ASSERT_TRUE(list.resize(PlaylistFile::maximumSize + 1)); // sparse: costs no disk
    list.close();
    EXPECT_FALSE(TrackImporter::readLocalFile(FileURL(path)));
    ASSERT_TRUE(QFile::resize(dir.path() + "/huge.m3u", 4));
    EXPECT_EQ(TrackImporter::readLocalFile(FileURL(path)), QByteArray(4, '\0'));
}

// Writes the album's sheet into `dir` on disk; returns the folder's path.
std::string writeAlbumSheet(const QTemporaryDir& dir)
{
    QFile sheet(dir.path() + "/Album.cue");
    EXPECT_TRUE(sheet.open(QIODevice::WriteOnly));
    sheet.write(albumSheet);
    return QFile::encodeName(dir.path()).toStdString();
}

TEST(TrackImporter, ReadsRealFilesThroughTheFileSystem)
{
    QTemporaryDir dir;
    const std::string folder = writeAlbumSheet(dir);
    QFile(dir.path() + "/Album.flac").open(QIODevice::WriteOnly);
    const TrackImporter importer([](const FileURL&) { return false; });
    const auto tracks = importer.tracks({ FileURL(folder + "/Album.cue"), FileURL(folder + "/missing.cue") });
    ASSERT_EQ(tracks.size(), 3u);
    EXPECT_EQ(tracks[0].url, FileURL(folder + "/Album.flac").normalizedFileURL());
}

TEST(TrackImporter, NeitherReadsNorMatchesAFifo)
{
    QTemporaryDir dir;
    const std::string folder = writeAlbumSheet(dir);
    // The sheet's audio file, and a sheet of its own, are FIFOs: nothing writes to them.
    const test::Fifo audio(folder + "/Album.wav");
    const test::Fifo fifoSheet(folder + "/Pipe.cue");
    const TrackImporter importer([](const FileURL&) { return false; });
    std::vector<Track> tracks;
    EXPECT_TRUE(audio.returnsInTime([&] { tracks = importer.tracks({ FileURL(folder + "/Album.cue") }); }));
    EXPECT_TRUE(tracks.empty()) << "a FIFO named like the sheet's audio file is no match";
    EXPECT_TRUE(fifoSheet.returnsInTime([&] { tracks = importer.tracks({ FileURL(fifoSheet.path()) }); }));
    EXPECT_TRUE(tracks.empty());
}

TEST_F(TrackImporterTest, DropsEntriesThatResolveToFormatsThePlayerCannotPlay)
{
    files.add("/music/Ape/Ape.cue", "FILE \"a.dat\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                                    "FILE \"b.wav\" WAVE\nTRACK 02 AUDIO\nINDEX 01 00:00:00\n"
                                    "FILE \"c.wav\" WAVE\nTRACK 03 AUDIO\nINDEX 01 00:00:00\n");
    files.add("/music/Ape/a.dat");
    files.add("/music/Ape/b.wav");
    files.add("/music/Ape/c.ape"); // the image compressed after the sheet was written
    EXPECT_EQ(files.importer().tracks(urls({ "/music/Ape/Ape.cue" })),
        std::vector({ cue("/music/Ape/b.wav", 0, std::nullopt, "Track 02", std::nullopt, "/music/Ape/Ape.cue"),
            cue("/music/Ape/c.ape", 0, std::nullopt, "Track 03", std::nullopt, "/music/Ape/Ape.cue") }));
}

TEST_F(TrackImporterTest, ASheetNamedTwiceIsReadOnceAndGivesItsTracksTwice)
{
    const auto tracks = files.importer().tracks(urls({ "/music/Album/Album.cue", "//music/Album/Album.cue" }));
    EXPECT_EQ(tracks.size(), 6u);
    EXPECT_EQ(files.reads, 1);
}

TEST_F(TrackImporterTest, AsksTheRemoteTestOncePerAudioFile)
{
    files.add("/net/share/Live.cue", "FILE \"Live.flac\" WAVE\nTRACK 7 AUDIO\nINDEX 01 00:00:00\nTRACK 112 AUDIO\nINDEX 01 10:00:00\n");
    files.add("/net/share/Live.flac");
    EXPECT_EQ(files.importer().tracks(urls({ "/net/share/Live.cue", "/net/share/x.wav" })),
        std::vector({ cue("/net/share/Live.flac", 0, 600, "Track 07", std::nullopt, "/net/share/Live.cue", true),
            cue("/net/share/Live.flac", 600, std::nullopt, "Track 112", std::nullopt, "/net/share/Live.cue", true),
            whole("/net/share/x.wav", true) }));
    EXPECT_EQ(files.remoteQuestions, 2);
}

TEST_F(TrackImporterTest, ALegacySheetFindsItsFileUnderTheFolderEntrysOwnSpelling)
{
    // Saved in Windows-1251 on one system; the folder, copied from another, spells the name
    // decomposed ("й" as "и" and a combining breve), and the file was re-encoded to FLAC.
    files.add("/music/Kino/Kino.cue", "PERFORMER \"\xCA\xE8\xED\xEE\"\r\nFILE \"\xC7\xE0\xEA\xF0\xEE\xE9.wav\" WAVE\r\n"
                                      "  TRACK 01 AUDIO\r\n    TITLE \"\xC3\xF0\xF3\xEF\xEF\xE0 \xEA\xF0\xEE\xE2\xE8\"\r\n"
                                      "    INDEX 01 00:00:00\r\n");
    const std::string decomposedName = "\xD0\x97\xD0\xB0\xD0\xBA\xD1\x80\xD0\xBE\xD0\xB8\xCC\x86.flac";
    files.add("/music/Kino/" + decomposedName);
    files.add("/music/Kino/Kino.log");
    const auto tracks = files.importer().tracks(urls({ "/music/Kino/Kino.cue" }));
    ASSERT_EQ(tracks.size(), 1u);
    EXPECT_EQ(tracks[0].url.path(), "/music/Kino/" + decomposedName);
    EXPECT_EQ(tracks[0].title, QString::fromUtf8("Группа крови"));
    EXPECT_EQ(tracks[0].artist, QString::fromUtf8("Кино"));
}

// Where a sheet inside a file and the file disagree, the file decides: entries past its end,
// entries of another FILE and entries that do not move on are left out, and ends follow the
// entries kept.
TEST(TrackImporter, EmbeddedTracksKeepToTheFileThatHoldsThem)
{
    const auto entry = [](const char* time) { return QByteArray("TRACK 01 AUDIO\nINDEX 01 ") + time + "\n"; };
    const struct {
        const char* name;
        QByteArray sheet;
        std::optional<double> duration;
        std::vector<std::pair<double, std::optional<double>>> windows;
    } cases[] = {
        { "past the end", "FILE a.wav WAVE\n" + entry("00:00:00") + entry("01:00:00") + entry("09:00:00"), 300,
            { { 0, 60 }, { 60, std::nullopt } } },
        { "length unknown", "FILE a.wav WAVE\n" + entry("00:00:00") + entry("09:00:00"), std::nullopt, { { 0, 540 }, { 540, std::nullopt } } },
        { "a second file", "FILE a.wav WAVE\n" + entry("00:00:00") + entry("01:00:00") + "FILE b.wav WAVE\n" + entry("00:30:00"), 300,
            { { 0, 60 }, { 60, std::nullopt } } },
        { "out of order", "FILE a.wav WAVE\n" + entry("00:00:00") + entry("02:00:00") + entry("01:00:00") + entry("-1:00:00"), 300,
            { { 0, 120 }, { 120, std::nullopt } } },
    };
    const FileURL image("/music/image.flac");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CueSheet sheet(QString::fromUtf8(c.sheet));
        sheet.title = QStringLiteral("Album");
        std::vector<std::pair<double, std::optional<double>>> windows;
        for (const Track& track : TrackImporter::embeddedTracks(sheet, image, true, c.duration)) {
            windows.emplace_back(track.start, track.end);
            EXPECT_EQ(track.url, image);
            EXPECT_TRUE(track.isRemote && track.isFromEmbeddedSheet);
            EXPECT_EQ(track.album, QStringLiteral("Album"));
        }
        EXPECT_EQ(windows, c.windows);
    }
}

TEST(TrackImporter, NeedsReadingExactlyWhenACueSheetOrAListIsAmongTheFiles)
{
    EXPECT_TRUE(TrackImporter::needsReading(urls({ "/a.mp3", "/b.Cue" })));
    for (const char* list : { "/l.m3u", "/l.M3U8", "/l.pls", "/l.xspf" })
        EXPECT_TRUE(TrackImporter::needsReading(urls({ "/a.mp3", list }))) << list;
    EXPECT_FALSE(TrackImporter::needsReading(urls({ "/a.mp3", "/cue", "/b.cue.txt" })));
    EXPECT_FALSE(TrackImporter::needsReading({}));
}

} // namespace
} // namespace lh
