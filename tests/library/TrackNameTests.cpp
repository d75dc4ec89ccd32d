#include "TrackName.h"

#include <gtest/gtest.h>

namespace lh {
namespace {

TEST(TrackName, YearIsFourDigitsInParenthesesAtTheEnd)
{
    EXPECT_EQ(TrackName::year("Album (1999)"), "1999");
    EXPECT_EQ(TrackName::year("Title (2004) "), "2004");
    EXPECT_EQ(TrackName::year("(2004)"), "2004");
    EXPECT_EQ(TrackName::year("Live (1970)\t\n"), "1970");
    EXPECT_EQ(TrackName::year("A (1) (2010)"), "2010");
}

TEST(TrackName, NoYearWhenAnythingFollowsOrTheDigitsAreNotFour)
{
    EXPECT_FALSE(TrackName::year("Album (1999) live"));
    EXPECT_FALSE(TrackName::year("Album (99)"));
    EXPECT_FALSE(TrackName::year("Album (19999)"));
    EXPECT_FALSE(TrackName::year("Album 1999"));
    EXPECT_FALSE(TrackName::year("Album [1999]"));
    EXPECT_FALSE(TrackName::year(""));
}

TEST(TrackName, TitleAndArtistComeFromTheSheetOrTheFileName)
{
    const struct {
        Track track;
        QString title;
        QString artist;
    } cases[] = {
        { Track { FileURL("/m/album.flac"), 0, std::nullopt, QStringLiteral("Intro"), QStringLiteral("Band"), std::nullopt, false, false }, QStringLiteral("Intro"), QStringLiteral("Band") },
        { Track { FileURL("/m/Who - What.flac"), 0, std::nullopt, QStringLiteral("Intro"), std::nullopt, std::nullopt, false, false }, QStringLiteral("Intro"), QString() },
        { Track { FileURL("/m/Artist - Song.mp3"), 0, std::nullopt, std::nullopt, std::nullopt, std::nullopt, false, false }, QStringLiteral("Song"), QStringLiteral("Artist") },
        { Track { FileURL("/m/A - B - C.mp3"), 0, std::nullopt, std::nullopt, std::nullopt, std::nullopt, false, false }, QStringLiteral("B - C"), QStringLiteral("A") },
        { Track { FileURL("/m/plain.name.ogg"), 0, std::nullopt, std::nullopt, std::nullopt, std::nullopt, false, false }, QStringLiteral("plain.name"), QString() },
        { Track { FileURL("/m/01 - Intro.flac"), 0, std::nullopt, std::nullopt, std::nullopt, std::nullopt, false, false }, QStringLiteral("Intro"), QString() },
        { Track { FileURL("/m/Band - 01 - Intro.flac"), 0, std::nullopt, std::nullopt, std::nullopt, std::nullopt, false, false }, QStringLiteral("01 - Intro"), QStringLiteral("Band") },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.track.url.path());
        const auto [title, artist] = TrackName::titleAndArtist(c.track);
        EXPECT_EQ(title, c.title);
        EXPECT_EQ(artist, c.artist);
    }
}

// Rippers name files "01 - Title": a track number before the first " - " is no artist.
TEST(TrackName, ALeadingTrackNumberIsNoArtist)
{
    const struct {
        const char* name;
        const char* title;
        std::optional<QString> artist;
    } cases[] = {
        { "01 - Intro", "Intro", std::nullopt },
        { "1 - Intro", "Intro", std::nullopt },
        { "101 - Intro", "Intro", std::nullopt },
        { "1-01 - Intro", "Intro", std::nullopt },
        { "1.01 - Intro", "Intro", std::nullopt },
        { "01 - Artist - Song", "Artist - Song", std::nullopt },
        { "Artist - 01 - Song", "01 - Song", QStringLiteral("Artist") },
        { "1999 - Song", "Song", QStringLiteral("1999") }, // a year or a band, not a track
        { "01a - Song", "Song", QStringLiteral("01a") },
        { "01 Intro", "01 Intro", std::nullopt },
        { "01 -Intro", "01 -Intro", std::nullopt },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto [title, artist] = TrackName::fileNameParts(QString::fromUtf8(c.name));
        EXPECT_EQ(title, QString::fromUtf8(c.title));
        EXPECT_EQ(artist, c.artist);
    }
}

} // namespace
} // namespace lh
