#include "CueSheet.h"

#include "CodePage.h"

#include <gtest/gtest.h>

namespace lh {
namespace {

QByteArray bytes(std::string_view text)
{
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

// A value written by a tool in a legacy code page, and how each candidate page scores it.
struct ScoringCase {
    const char* name;
    QByteArray sheet;
    std::optional<std::int64_t> as1252, as1250, as1251;
    QString expected;
};

class CueSheetScoring : public ::testing::TestWithParam<ScoringCase> {};

std::optional<std::int64_t> score(const CodePage& page, const QByteArray& sheet)
{
    const auto text = page.decode(sheet);
    return text ? std::optional(CueSheet::plausibility(*text)) : std::nullopt;
}

TEST_P(CueSheetScoring, EachCodePageScoresAsExpectedAndTheBestWins)
{
    const ScoringCase& c = GetParam();
    EXPECT_EQ(score(CodePage::windows1252(), c.sheet), c.as1252);
    EXPECT_EQ(score(CodePage::windows1250(), c.sheet), c.as1250);
    EXPECT_EQ(score(CodePage::windows1251(), c.sheet), c.as1251);
    EXPECT_EQ(CueSheet::decode(c.sheet), c.expected);
}

INSTANTIATE_TEST_SUITE_P(CueSheet, CueSheetScoring,
    ::testing::Values(
        ScoringCase { "CyrillicWins", bytes("TITLE \"\xCF\xF0\xE8\xE2\xE5\xF2 \xEC\xE8\xF0\""), -1, 3, 9,
            QString::fromUtf8("TITLE \"Привет мир\"") },
        ScoringCase { "TieKeepsWindows1252", bytes("PERFORMER \"\xCA\xE8\xED\xEE\""), 4, 2, 4,
            QString::fromUtf8("PERFORMER \"Êèíî\"") },
        ScoringCase { "CentralEuropeanWins", bytes("TITLE \"Sz\xF5l\xF5 \xE9s \xFB\""), -2, 4, -2,
            QString::fromUtf8("TITLE \"Szőlő és ű\"") },
        ScoringCase { "WesternTieKeepsWindows1252", bytes("TITLE \"Caf\xE9 cr\xE8me\""), 2, 2, -2,
            QString::fromUtf8("TITLE \"Café crème\"") },
        // 0x81 is undefined in 1252 and 1250, 0x98 in 1250 and 1251: only one page remains.
        ScoringCase { "OnlyThePageThatDefinesEveryByteIsTried", bytes("TITLE \"\x81\xE0\""), std::nullopt,
            std::nullopt, 2, QString::fromUtf8("TITLE \"Ѓа\"") },
        ScoringCase { "NoPageDefinesTheBytes", bytes("TITLE \x81\x98"), std::nullopt, std::nullopt, std::nullopt,
            QString() }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CueSheetScoring, CountsCyrillicOnlyInWordsWithoutASCIILetters)
{
    EXPECT_EQ(CueSheet::plausibility(QString::fromUtf8("мир")), 3);
    EXPECT_EQ(CueSheet::plausibility(QString::fromUtf8("mир")), -2);
    EXPECT_EQ(CueSheet::plausibility(QString::fromUtf8("ab1ð ü")), 0) << "digits split words";
    EXPECT_EQ(CueSheet::plausibility(QString()), 0);
}

// Whatever the byte-order mark says wins; without one, valid UTF-8 wins.
struct MarkCase {
    const char* name;
    QByteArray sheet;
    QString expected;
};

class CueSheetDecoding : public ::testing::TestWithParam<MarkCase> {};

TEST_P(CueSheetDecoding, FollowsTheMarkOrStrictUTF8)
{
    EXPECT_EQ(CueSheet::decode(GetParam().sheet), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(CueSheet, CueSheetDecoding,
    ::testing::Values(
        MarkCase { "UTF8WithMark", bytes("\xEF\xBB\xBFTITLE \"Kin\xC3\xB6\""), QString::fromUtf8("TITLE \"Kinö\"") },
        MarkCase { "UTF8MarkWithInvalidBytesNeverFallsBack", bytes("\xEF\xBB\xBFTITLE \xE9t\xE9"),
            QString::fromUtf8("TITLE \uFFFDt\uFFFD") },
        MarkCase { "UTF16LittleEndian", bytes(std::string_view("\xFF\xFEK\0\xF6\0", 6)), QString::fromUtf8("Kö") },
        MarkCase { "UTF16BigEndian", bytes(std::string_view("\xFE\xFF\0K\x04\x3F", 6)), QString::fromUtf8("Kп") },
        MarkCase { "UTF16UnpairedSurrogateIsReplaced", bytes(std::string_view("\xFF\xFE\x00\xD8K\0", 6)),
            QString::fromUtf8("\uFFFDK") },
        MarkCase { "StrictUTF8", bytes("TITLE \"\xD0\x9A\xD0\xB8\xD0\xBD\xD0\xBE\""), QString::fromUtf8("TITLE \"Кино\"") },
        MarkCase { "PureASCII", bytes("FILE \"a.wav\" WAVE\r\n"), QString::fromUtf8("FILE \"a.wav\" WAVE\r\n") },
        // An overlong slash is not UTF-8; as Cyrillic it scores 2, as "À¯" 1, as "ŔŻ" -2.
        MarkCase { "OverlongUTF8FallsBackToACodePage", bytes("\xC0\xAF"), QString::fromUtf8("АЇ") },
        MarkCase { "Empty", QByteArray(), QString() }),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace lh
