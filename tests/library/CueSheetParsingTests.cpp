#include "CueSheet.h"

#include <gtest/gtest.h>

#include <cmath>

namespace lh {
namespace {

using Entry = CueSheet::Track;

Entry entry(const char* file, std::int64_t number, std::optional<QString> title, std::optional<QString> performer,
    double start, std::optional<double> end)
{
    return Entry { QString::fromUtf8(file), number, std::move(title), std::move(performer), start, end };
}

TEST(CueSheetParsing, ReadsTheWorkedExample)
{
    const CueSheet sheet(QStringLiteral(R"(PERFORMER Band
TITLE Album
FILE a.flac WAVE
  TRACK 01 AUDIO
    TITLE One
    INDEX 01 00:00:00
  TRACK 02 AUDIO
    TITLE Two
    PERFORMER Guest
    INDEX 00 03:58:00
    INDEX 01 04:00:00
FILE b.flac WAVE
  TRACK 03 AUDIO
    INDEX 01 00:00:00)"));
    EXPECT_EQ(sheet.title, QStringLiteral("Album"));
    EXPECT_EQ(sheet.performer, QStringLiteral("Band"));
    EXPECT_EQ(sheet.tracks,
        std::vector<Entry>({
            entry("a.flac", 1, "One", std::nullopt, 0, 240),
            entry("a.flac", 2, "Two", "Guest", 240, std::nullopt),
            entry("b.flac", 3, std::nullopt, std::nullopt, 0, std::nullopt),
        }));
    EXPECT_EQ(sheet.files(), std::vector<QString>({ "a.flac", "b.flac" }));
}

TEST(CueSheetParsing, ReadsAnExactAudioCopySheetWithCRLFAndCommandsItDoesNotNeed)
{
    const CueSheet sheet(QStringLiteral("REM GENRE Rock\r\nREM DATE 1999\r\nREM DISCID 8A0B6D0B\r\n"
                                        "REM COMMENT \"ExactAudioCopy v1.6\"\r\nCATALOG 0724384260958\r\n"
                                        "PERFORMER \"The Band\"\r\nTITLE \"Live, \"Loud\" & Late\"\r\n"
                                        "FILE \"Range.wav\" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE \"Intro\"\r\n"
                                        "    ISRC GBAYE9900001\r\n    FLAGS DCP\r\n    INDEX 01 00:00:00\r\n"
                                        "  TRACK 02 AUDIO\r\n    TITLE \"Second\"\r\n    PREGAP 00:02:00\r\n"
                                        "    INDEX 00 02:10:40\r\n    INDEX 01 02:12:15\r\n    POSTGAP 00:01:00\r\n"));
    EXPECT_EQ(sheet.title, QStringLiteral("Live, \"Loud\" & Late"));
    ASSERT_EQ(sheet.tracks.size(), 2u);
    EXPECT_EQ(sheet.tracks[0], entry("Range.wav", 1, "Intro", std::nullopt, 0, 132.0 + 15.0 / 75.0));
    EXPECT_EQ(sheet.tracks[1].start, 132.0 + 15.0 / 75.0);
}

// As foobar2000 and EAC's ReplayGain plug-ins write them: the album's before the first TRACK
// line, each entry's inside it, in any letter case, quoted or not.
TEST(CueSheetParsing, ReadsTheReplayGainRemarksOfTheAlbumAndOfEachEntry)
{
    const CueSheet sheet(QStringLiteral("REM REPLAYGAIN_TRACK_GAIN -1.00 dB\n" // no entry yet: nothing
                                        "REM REPLAYGAIN_ALBUM_GAIN -7.89 dB\nrem replaygain_album_peak \"0.988525\"\n"
                                        "FILE \"a.flac\" WAVE\n"
                                        "  TRACK 01 AUDIO\n    REM REPLAYGAIN_TRACK_GAIN -6.54 dB\n"
                                        "    REM REPLAYGAIN_TRACK_PEAK 0.5\n    REM REPLAYGAIN_ALBUM_GAIN +9 dB\n"
                                        "    INDEX 01 00:00:00\n"
                                        "  TRACK 02 AUDIO\n    REM REPLAYGAIN_TRACK_GAIN loud\n    INDEX 01 01:00:00\n"
                                        "  TRACK 03 MODE1/2352\n    REM REPLAYGAIN_TRACK_GAIN +2,5 dB\n    INDEX 01 02:00:00\n"
                                        "  TRACK 04 AUDIO\n    INDEX 01 03:00:00\n    REM REPLAYGAIN_TRACK_GAIN +2,5 dB\n"
                                        "    REM REPLAYGAIN_TRACK_PEAK -1\n"));
    ASSERT_EQ(sheet.tracks.size(), 3u);
    const std::optional<double> album = -7.9; // to the twentieth of a dB
    const std::optional<double> albumPeak = sheet.tracks[0].gains.albumPeak();
    ASSERT_TRUE(albumPeak);
    EXPECT_NEAR(*albumPeak, 0.988525, 0.006);
    EXPECT_GE(*albumPeak, 0.988525);
    const struct {
        std::optional<double> gain;
        std::optional<double> peak;
    } expected[] = { { -6.55, CueGains(std::nullopt, 0.5, std::nullopt, std::nullopt).trackPeak() },
        { std::nullopt, std::nullopt }, { 2.5, std::nullopt } };
    for (std::size_t i = 0; i < sheet.tracks.size(); ++i) {
        SCOPED_TRACE(i);
        const CueGains& gains = sheet.tracks[i].gains;
        EXPECT_EQ(gains.trackGain(), expected[i].gain);
        EXPECT_EQ(gains.trackPeak(), expected[i].peak);
        EXPECT_EQ(gains.albumGain(), album) << "an album line inside an entry means nothing";
        EXPECT_EQ(gains.albumPeak(), albumPeak);
    }
}

TEST(CueSheetParsing, KeywordsAreCaseInsensitiveAndOnlyAudioTracksStartEntries)
{
    const CueSheet sheet(QStringLiteral("file x.wav wave\ntrack 01 audio\ntitle a\nindex 01 00:01:00\n"
                                        "TRACK 02 MODE1/2352\nTITLE Data\nINDEX 01 00:02:00\n"
                                        "TRACK 03 AUDIO\nINDEX 01 00:03:00\n"));
    EXPECT_EQ(sheet.tracks,
        std::vector<Entry>({
            entry("x.wav", 1, "a", std::nullopt, 1, 3),
            entry("x.wav", 3, std::nullopt, std::nullopt, 3, std::nullopt),
        }));
}

TEST(CueSheetParsing, SheetTitleAndPerformerComeOnlyBeforeTheFirstTrack)
{
    const CueSheet sheet(QStringLiteral("FILE x.wav WAVE\nTRACK 01 MODE1/2352\nTITLE Late\nPERFORMER Late\n"
                                        "TRACK 02 AUDIO\nINDEX 01 00:00:00\n"));
    EXPECT_EQ(sheet.title, std::nullopt);
    EXPECT_EQ(sheet.performer, std::nullopt);
    EXPECT_EQ(sheet.tracks.size(), 1u);
}

TEST(CueSheetParsing, DropsEntriesWithoutAnIndexOneOrBeforeAnyFile)
{
    const CueSheet sheet(QStringLiteral("TRACK 01 AUDIO\nINDEX 01 00:00:00\nFILE x.wav WAVE\n"
                                        "TRACK 02 AUDIO\nINDEX 00 00:00:00\nTRACK 03 AUDIO\nINDEX 02 00:01:00\n"
                                        "TRACK 04 AUDIO\nINDEX 01 1:2\nTRACK 05 AUDIO\nINDEX 01 1:2\nINDEX 001 00:09:00\n"
                                        "TRACK x AUDIO\nINDEX 01 00:10:00\nTRACK 07\nINDEX 01 00:11:00\n"));
    EXPECT_EQ(sheet.tracks, std::vector<Entry>({ entry("x.wav", 5, std::nullopt, std::nullopt, 9, std::nullopt) }));
}

TEST(CueSheetParsing, EntriesEndWhereTheNextOneStartsOnlyWithinOneFile)
{
    const CueSheet sheet(QStringLiteral("FILE a.wav WAVE\nTRACK 1 AUDIO\nINDEX 1 0:0:0\nTRACK 2 AUDIO\nINDEX 1 1:0:0\n"
                                        "FILE b.wav WAVE\nTRACK 3 AUDIO\nINDEX 1 0:0:0\nTRACK 4 AUDIO\nINDEX 1 2:0:0\n"));
    std::vector<std::optional<double>> ends;
    for (const Entry& e : sheet.tracks)
        ends.push_back(e.end);
    EXPECT_EQ(ends, std::vector<std::optional<double>>({ 60.0, std::nullopt, 120.0, std::nullopt }));
}

TEST(CueSheetParsing, ALaterIndexOneTakesTheFileInEffectThen)
{
    const CueSheet sheet(QStringLiteral("FILE a.wav WAVE\nTRACK 1 AUDIO\nINDEX 01 00:01:00\nFILE b.wav WAVE\nINDEX 01 00:02:00\n"));
    EXPECT_EQ(sheet.tracks, std::vector<Entry>({ entry("b.wav", 1, std::nullopt, std::nullopt, 2, std::nullopt) }));
}

TEST(CueSheetParsing, SplitsLinesAtEveryKindOfLineBreak)
{
    const CueSheet sheet(QString::fromUtf8("FILE a.wav WAVE\rTRACK 1 AUDIO\u2028TITLE x\u0085INDEX 01 00:00:00\u2029"
                                           "TRACK 2 AUDIO\nINDEX 01 00:01:00"));
    ASSERT_EQ(sheet.tracks.size(), 2u);
    EXPECT_EQ(sheet.tracks[0].title, QStringLiteral("x"));
}

// What the rest of a line gives as TITLE and as FILE.
struct ValueCase {
    QString rest;
    std::optional<QString> title;
    std::optional<QString> file;
};

class CueSheetValues : public ::testing::TestWithParam<ValueCase> {};

TEST_P(CueSheetValues, AreUnquotedAndFileTypesDropped)
{
    const QString& rest = GetParam().rest;
    const CueSheet sheet(QStringLiteral("TITLE ") + rest + QStringLiteral("\nFILE ") + rest
        + QStringLiteral("\nTRACK 1 AUDIO\nINDEX 01 00:00:00\n"));
    EXPECT_EQ(sheet.title, GetParam().title);
    EXPECT_EQ(sheet.tracks.empty() ? std::nullopt : std::optional(sheet.tracks[0].file), GetParam().file);
}

INSTANTIATE_TEST_SUITE_P(CueSheet, CueSheetValues,
    ::testing::Values(
        ValueCase { "Side A.flac WAVE", "Side A.flac WAVE", "Side A.flac" },
        ValueCase { "\"Side A.flac\" WAVE", "Side A.flac", "Side A.flac" },
        ValueCase { "  Side   A.flac   WAVE ", "Side   A.flac   WAVE", "Side A.flac" },
        ValueCase { "track.wav", "track.wav", "track.wav" },
        ValueCase { "\"open quote", "\"open quote", "\"open quote" },
        ValueCase { "\"\"", std::nullopt, std::nullopt },
        ValueCase { "\"a \"b\" c\" tail", "a \"b\" c", "a \"b\" c" },
        ValueCase { "\tTabbed\t", "Tabbed", "Tabbed" },
        ValueCase { "", std::nullopt, std::nullopt }));

struct TimeCase {
    const char* time;
    std::optional<double> seconds;
};

class CueSheetTimes : public ::testing::TestWithParam<TimeCase> {};

TEST_P(CueSheetTimes, AreMinutesSecondsAndFramesTakenAsWritten)
{
    const CueSheet sheet(QStringLiteral("FILE a.wav WAVE\nTRACK 1 AUDIO\nINDEX 01 ") + QString::fromUtf8(GetParam().time));
    const auto start = sheet.tracks.empty() ? std::nullopt : std::optional(sheet.tracks[0].start);
    EXPECT_EQ(start, GetParam().seconds);
}

INSTANTIATE_TEST_SUITE_P(CueSheet, CueSheetTimes,
    ::testing::Values(
        TimeCase { "00:00:00", 0.0 },
        TimeCase { "03:25:37", 205.0 + 37.0 / 75.0 },
        TimeCase { "1:75:80", 60.0 + 75.0 + 80.0 / 75.0 },
        TimeCase { "-1:+2:-3", -58.0 - 3.0 / 75.0 },
        TimeCase { "120:00:00", 7200.0 },
        TimeCase { "1:2", std::nullopt },
        TimeCase { "1:2:3:4", std::nullopt },
        TimeCase { "1::3", std::nullopt },
        TimeCase { "a:00:00", std::nullopt },
        TimeCase { "+:00:00", std::nullopt },
        TimeCase { "\xd9\xa3:00:00", std::nullopt }, // an Arabic-Indic three is not a digit here
        TimeCase { "153722867280912931:00:00", std::nullopt }, // minutes overflow in seconds
        TimeCase { "153722867280912930:08:00", std::nullopt }, // and with the seconds added
        TimeCase { "9223372036854775808:00:00", std::nullopt },
        TimeCase { "0:9223372036854775807:9223372036854775807", 9223372036854775807.0 + 9223372036854775807.0 / 75.0 }));

} // namespace
} // namespace lh
