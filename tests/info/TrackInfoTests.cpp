#include "TrackInfo.h"

#include <gtest/gtest.h>

#include <optional>

namespace lh {
namespace {

struct NameCase {
    const char* path;
    const char* title;
    std::optional<QString> artist;
    std::optional<QString> year;
};

class PlaceholderName : public ::testing::TestWithParam<NameCase> {};

TEST_P(PlaceholderName, SplitsArtistTitleAndYear)
{
    const NameCase& c = GetParam();
    const TrackInfo info = TrackInfo::placeholder(FileURL(c.path));
    EXPECT_EQ(info.title, QString::fromUtf8(c.title));
    EXPECT_EQ(info.artist, c.artist);
    EXPECT_EQ(info.year, c.year);
}

INSTANTIATE_TEST_SUITE_P(TrackInfo, PlaceholderName,
    ::testing::Values(
        NameCase { "/m/Artist - Title (1999).flac", "Title", "Artist", "1999" },
        NameCase { "/m/Title.mp3", "Title", std::nullopt, std::nullopt },
        NameCase { "/m/A - B - C.wav", "B - C", "A", std::nullopt },
        NameCase { "/m/Title (2004).m4a", "Title", std::nullopt, "2004" },
        NameCase { "/m/Title(2004)x.m4a", "Title(2004)x", std::nullopt, std::nullopt },
        NameCase { "/m/- Title.mp3", "- Title", std::nullopt, std::nullopt },
        NameCase { "/m/Live (1999) (2000).aiff", "Live (1999)", std::nullopt, "2000" },
        NameCase { "/m/Band (1987) - Song.mp3", "Song", "Band (1987)", std::nullopt },
        NameCase { "/m/Band - Song (1987) .mp3", "Song", "Band", "1987" },
        NameCase { "/m/Björk - Jóga.flac", "Jóga", "Björk", std::nullopt },
        NameCase { "/m/01 - Intro (1999).flac", "Intro", std::nullopt, "1999" },
        NameCase { "/m/1-01 - A - B.flac", "A - B", std::nullopt, std::nullopt },
        NameCase { "/m/2046 - Song.mp3", "Song", "2046", std::nullopt },
        NameCase { "/m/no extension", "no extension", std::nullopt, std::nullopt }));

TEST(TrackInfo, PlaceholderIsLoadingAndKnowsNothingElse)
{
    const FileURL url("/m/Artist - Title.flac");
    const TrackInfo info = TrackInfo::placeholder(url);
    EXPECT_EQ(info.url, url);
    EXPECT_TRUE(info.isLoading);
    EXPECT_FALSE(info.album || info.genre || info.duration || info.bitRate || info.sampleRate
        || info.channels || info.fileSize || info.artwork);

    TrackInfo loaded = info;
    loaded.isLoading = false;
    EXPECT_NE(info, loaded);
}

class CueOverlay : public ::testing::Test {
protected:
    CueOverlay()
    {
        file.title = "Tag Title";
        file.artist = "Tag Artist";
        file.album = "Album";
        file.year = "2001";
        file.duration = 100;
        file.bitRate = 320000;
        file.artwork = QByteArray("png");
        cue.url = file.url;
        cue.title = "Cue Title";
        cue.start = 30;
    }
    TrackInfo file = TrackInfo::placeholder(FileURL("/m/Album.flac"));
    Track cue;
};

TEST_F(CueOverlay, LeavesAWholeFileUnchanged)
{
    Track whole;
    whole.url = file.url;
    EXPECT_EQ(TrackInfo::info(file, whole), file);
}

TEST_F(CueOverlay, TakesTheCueTracksTitleArtistAndLengthAndKeepsTheRest)
{
    cue.artist = "Cue Artist";
    cue.end = 75;
    const TrackInfo shown = TrackInfo::info(file, cue);
    EXPECT_EQ(shown.title, "Cue Title");
    EXPECT_EQ(shown.artist, "Cue Artist");
    EXPECT_EQ(shown.duration, 45);
    TrackInfo rest = shown;
    rest.title = file.title;
    rest.artist = file.artist;
    rest.duration = file.duration;
    EXPECT_EQ(rest, file);
}

// With a sheet inside the file and maybe one beside it, the panel says which the track follows.
TEST_F(CueOverlay, SaysWhichSheetTheTrackFollows)
{
    const struct {
        bool isFromEmbeddedSheet;
        bool hasEmbeddedCueSheet;
        std::optional<QString> sheetBeside;
        std::optional<QString> note;
    } cases[] = {
        { true, true, std::nullopt, QStringLiteral("cue sheet inside the file") },
        { true, true, QStringLiteral("Album.cue"), QStringLiteral("cue sheet inside the file; Album.cue not used") },
        { false, true, QStringLiteral("Album.cue"), QStringLiteral("cue sheet opened; the one inside the file not used") },
        { false, false, QStringLiteral("Album.cue"), std::nullopt },
    };
    for (const auto& c : cases) {
        cue.isFromEmbeddedSheet = c.isFromEmbeddedSheet;
        file.hasEmbeddedCueSheet = c.hasEmbeddedCueSheet;
        file.sheetBeside = c.sheetBeside;
        EXPECT_EQ(TrackInfo::info(file, cue).cueSheetNote, c.note);
    }
}

TEST_F(CueOverlay, DropsTheTagArtistWhenTheSheetNamesNone)
{
    EXPECT_EQ(TrackInfo::info(file, cue).artist, std::nullopt);
}

TEST_F(CueOverlay, LastTrackRunsToTheEndOfTheFileAndNeverBelowZero)
{
    EXPECT_EQ(TrackInfo::info(file, cue).duration, 70);
    cue.start = 120; // past the stream's 100 s
    EXPECT_EQ(TrackInfo::info(file, cue).duration, 0);
    cue.end = 110; // an end before the start
    EXPECT_EQ(TrackInfo::info(file, cue).duration, 0);
    file.duration.reset();
    cue.end.reset();
    EXPECT_EQ(TrackInfo::info(file, cue).duration, std::nullopt);
}

} // namespace
} // namespace lh
