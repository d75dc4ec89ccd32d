#include "CueSheet.h"

#include "CodePage.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <gtest/gtest.h>

#include <iconv.h>

#include <array>
#include <cctype>
#include <iostream>
#include <map>

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
        // None of the three Windows pages defines both bytes, but Shift-JIS does: East Asian
        // sheets often hold such bytes, so every other candidate is tried.
        ScoringCase { "NoWindowsPageDefinesTheBytes", bytes("TITLE \x81\x98"), std::nullopt, std::nullopt,
            std::nullopt, QString::fromUtf8("TITLE §") },
        // A lone byte 0x98 and a lone 0x81: no candidate defines both.
        ScoringCase { "NoPageDefinesTheBytes", bytes("TITLE \x98 \x81"), std::nullopt, std::nullopt, std::nullopt,
            QString() }),
    [](const auto& info) { return std::string(info.param.name); });

// Each code page decodes what it defines and fails on anything else, a sequence cut off at
// the end included.
struct CodePageCase {
    const char* name;
    const CodePage* page;
    QByteArray bytes;
    std::optional<QString> expected;
};

class CodePageDecoding : public ::testing::TestWithParam<CodePageCase> {};

TEST_P(CodePageDecoding, DecodesStrictly)
{
    EXPECT_EQ(GetParam().page->decode(GetParam().bytes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(CodePage, CodePageDecoding,
    ::testing::Values(
        CodePageCase { "Greek", &CodePage::windows1253(), bytes("\xC1\xE8\xDE\xED\xE1"), QString::fromUtf8("Αθήνα") },
        CodePageCase { "GreekUndefinedByte", &CodePage::windows1253(), bytes("\xD2"), std::nullopt },
        CodePageCase { "ShiftJIS", &CodePage::shiftJIS(), bytes("a\x82\xA0\x8B\xF3"), QString::fromUtf8("aあ空") },
        CodePageCase { "ShiftJISCutOff", &CodePage::shiftJIS(), bytes("\x82\xA0\x82"), std::nullopt },
        CodePageCase { "EucJP", &CodePage::eucJP(), bytes("\xA4\xA2\xB6\xF5"), QString::fromUtf8("あ空") },
        CodePageCase { "EucJPUndefined", &CodePage::eucJP(), bytes("\xA4\x41"), std::nullopt },
        CodePageCase { "EucJPControlByte", &CodePage::eucJP(), bytes("\x98"), std::nullopt },
        CodePageCase { "GB18030", &CodePage::gb18030(), bytes("\xC4\xE3\xBA\xC3"), QString::fromUtf8("你好") },
        CodePageCase { "GB18030FourBytes", &CodePage::gb18030(), bytes("\x95\x32\x82\x36"), QString::fromUtf8("\U00020000") },
        CodePageCase { "Big5", &CodePage::big5(), bytes("\xA7\x41\xA6\x6E"), QString::fromUtf8("你好") },
        CodePageCase { "Big5CutOff", &CodePage::big5(), bytes("\xA7"), std::nullopt },
        CodePageCase { "UnifiedHangul", &CodePage::unifiedHangul(), bytes("\xB0\xA1\x81\x41"), QString::fromUtf8("가갂") },
        CodePageCase { "UnifiedHangulUndefined", &CodePage::unifiedHangul(), bytes("\xC9\xA1"), std::nullopt }),
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

// The same text as a ripping tool on another system would have saved it.
QByteArray encoded(const QString& text, const char* encoding)
{
    const QByteArray utf8 = text.toUtf8();
    if (std::string_view(encoding) == "UTF-16LE" || std::string_view(encoding) == "UTF-16BE") {
        const bool isLittleEndian = std::string_view(encoding) == "UTF-16LE";
        QStringEncoder encoder(isLittleEndian ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
        return QByteArray(isLittleEndian ? "\xFF\xFE" : "\xFE\xFF") + QByteArray(encoder.encode(text));
    }
    if (std::string_view(encoding) == "UTF-8-BOM")
        return "\xEF\xBB\xBF" + utf8;
    const iconv_t converter = iconv_open(encoding, "UTF-8");
    EXPECT_NE(converter, reinterpret_cast<iconv_t>(-1));
    QByteArray out(utf8.size() * 2, '\0');
    char* in = const_cast<char*>(utf8.data());
    char* outPointer = out.data();
    std::size_t inLeft = static_cast<std::size_t>(utf8.size());
    std::size_t outLeft = static_cast<std::size_t>(out.size());
    EXPECT_NE(iconv(converter, &in, &inLeft, &outPointer, &outLeft), static_cast<std::size_t>(-1)) << encoding;
    iconv_close(converter);
    out.truncate(out.size() - static_cast<qsizetype>(outLeft));
    return out;
}

struct RealSheetCase {
    const char* encoding;
    const char* performer;
    std::vector<const char*> titles;
};

class CueSheetRealSheets : public ::testing::TestWithParam<RealSheetCase> {};

// As Exact Audio Copy writes them: REM lines, CRLF, an INDEX 00 pregap, a second file.
QString exactAudioCopySheet(const RealSheetCase& c)
{
    QString text = QStringLiteral("REM GENRE Rock\r\nREM DATE 1986\r\nREM DISCID 8A0B6D0B\r\n"
                                  "REM COMMENT \"ExactAudioCopy v1.0b3\"\r\nPERFORMER \"%1\"\r\nTITLE \"%2\"\r\n"
                                  "FILE \"%1 - %2.wav\" WAVE\r\n")
                       .arg(QString::fromUtf8(c.performer), QString::fromUtf8(c.titles[0]));
    for (std::size_t i = 0; i < c.titles.size(); ++i) {
        if (i == 2)
            text += QStringLiteral("FILE \"Bonus.wav\" WAVE\r\n");
        text += QStringLiteral("  TRACK %1 AUDIO\r\n    TITLE \"%2\"\r\n    INDEX 00 %3:58:00\r\n    INDEX 01 %3:59:74\r\n")
                    .arg(i + 1, 2, 10, QLatin1Char('0'))
                    .arg(QString::fromUtf8(c.titles[i]))
                    .arg(i * 4, 2, 10, QLatin1Char('0'));
    }
    return text;
}

TEST_P(CueSheetRealSheets, DecodeAndParseWhateverTheToolSaved)
{
    const QString text = exactAudioCopySheet(GetParam());
    const CueSheet sheet(CueSheet::decode(encoded(text, GetParam().encoding)));
    EXPECT_EQ(sheet.performer, QString::fromUtf8(GetParam().performer));
    std::vector<QString> titles;
    for (const CueSheet::Track& entry : sheet.tracks)
        titles.push_back(entry.title.value_or(QString()));
    std::vector<QString> expected;
    for (const char* title : GetParam().titles)
        expected.push_back(QString::fromUtf8(title));
    EXPECT_EQ(titles, expected);
    ASSERT_EQ(sheet.tracks.size(), 3u);
    EXPECT_EQ(sheet.tracks[0].end, 4 * 60 + 59 + 74.0 / 75.0);
    EXPECT_EQ(sheet.tracks[1].end, std::nullopt) << "the next entry lies in another file";
    EXPECT_EQ(sheet.tracks[2].file, QStringLiteral("Bonus.wav"));
}

INSTANTIATE_TEST_SUITE_P(CueSheet, CueSheetRealSheets,
    ::testing::Values(
        RealSheetCase { "UTF-8-BOM", "Sigur Rós", { "Starálfur", "Ný batterí", "Olsen Olsen" } },
        RealSheetCase { "UTF-8", "Кино", { "Группа крови", "Закрой за мной дверь", "Спокойная ночь" } },
        RealSheetCase { "UTF-16LE", "坂本龍一", { "戦場のメリークリスマス", "Ｂｅｈｉｎｄ", "𝄞 Coda" } },
        RealSheetCase { "UTF-16BE", "Björk", { "Jóga", "Hunter", "Bachelorette" } },
        RealSheetCase { "WINDOWS-1251", "Кино", { "Группа крови", "Закрой за мной дверь, я ухожу", "Спокойная ночь" } },
        RealSheetCase { "WINDOWS-1251", "Аквариум", { "Город золотой", "Серебро Господа моего", "Поезд в огне" } },
        RealSheetCase { "WINDOWS-1250", "Dvořák", { "Slovanské tance", "Furiant: Presto", "Dumka" } },
        RealSheetCase { "WINDOWS-1250", "Bartók Béla", { "Allegro barbaro", "Gyermekeknek", "Este a székelyeknél" } },
        RealSheetCase { "WINDOWS-1252", "Françoise Hardy", { "Tous les garçons et les filles", "Le temps de l'amour", "Mon amie la rose" } },
        RealSheetCase { "WINDOWS-1252", "Motörhead", { "Ace of Spades", "Overkill", "Bomber" } }),
    [](const auto& info) { return std::to_string(info.index) + "_" + QString::fromUtf8(info.param.encoding).remove(u'-').toStdString(); });

// Sheets written as ripping tools on Windows saved them, in each legacy code page: the folder
// names the encoding, each file holds a sheet's text.
struct CorpusSheet {
    std::string encoding;
    std::string name;
    QString text;
};

void PrintTo(const CorpusSheet& sheet, std::ostream* out)
{
    *out << sheet.encoding << "/" << sheet.name;
}

std::vector<CorpusSheet> corpus()
{
    std::vector<CorpusSheet> sheets;
    const QDir root(QStringLiteral(LARKHAVEN_CUE_CORPUS));
    for (const QString& encoding : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QDir folder(root.filePath(encoding));
        for (const QString& name : folder.entryList({ QStringLiteral("*.cue") }, QDir::Files, QDir::Name)) {
            QFile file(folder.filePath(name));
            EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
            // Windows tools end lines with CR LF.
            const QString text = QString::fromUtf8(file.readAll()).replace(u'\n', QStringLiteral("\r\n"));
            sheets.push_back({ encoding.toStdString(), name.toStdString(), text });
        }
    }
    return sheets;
}

// What the decoder did before it knew East Asian pages, Greek and letter profiles: the most
// plausible of Windows-1252, -1250 and -1251.
QString firstRule(const QByteArray& bytes)
{
    std::optional<QString> best;
    std::int64_t bestScore = 0;
    for (const CodePage* page : { &CodePage::windows1252(), &CodePage::windows1250(), &CodePage::windows1251() }) {
        const auto text = page->decode(bytes);
        if (text && (!best || CueSheet::plausibility(*text) > bestScore)) {
            bestScore = CueSheet::plausibility(*text);
            best = text;
        }
    }
    return best.value_or(QString());
}

class CueSheetCorpus : public ::testing::TestWithParam<CorpusSheet> {};

TEST_P(CueSheetCorpus, DecodesToTheTextTheToolSaved)
{
    const CorpusSheet& sheet = GetParam();
    const QByteArray bytes = encoded(sheet.text, sheet.encoding.c_str());
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    [[maybe_unused]] const QString asUtf8 = utf8.decode(bytes);
    ASSERT_TRUE(utf8.hasError()) << "the sheet must reach the code pages";
    EXPECT_EQ(CueSheet::decode(bytes).toStdString(), sheet.text.toStdString());
    // Whatever the first rule already read right, it still reads the same way.
    if (firstRule(bytes) == sheet.text) {
        EXPECT_EQ(CueSheet::decode(bytes), firstRule(bytes));
    }
}

INSTANTIATE_TEST_SUITE_P(CueSheet, CueSheetCorpus, ::testing::ValuesIn(corpus()), [](const auto& info) {
    std::string name = info.param.encoding + "_" + info.param.name;
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    }
    return name;
});

// Every sheet of the corpus, and each of its lines that holds a non-ASCII value on its own
// (the shortest sheet a tool writes): what the first rule read right still reads the same. The
// table says how many each rule gets right.
TEST(CueSheetCorpus, WholeSheetsAndSingleLinesKeepWhatTheFirstRuleReadRight)
{
    struct Count {
        int total = 0, rightBefore = 0, rightNow = 0;
    };
    std::map<std::string, std::array<Count, 2>> counts; // whole sheets, single lines
    const auto check = [&](const std::string& encoding, const QString& text, Count& count) {
        const QByteArray bytes = encoded(text, encoding.c_str());
        const bool wasRight = firstRule(bytes) == text;
        const bool isRight = CueSheet::decode(bytes) == text;
        if (wasRight) {
            EXPECT_TRUE(isRight) << encoding << ": " << text.toStdString();
        }
        ++count.total;
        count.rightBefore += wasRight;
        count.rightNow += isRight;
    };
    for (const CorpusSheet& sheet : corpus()) {
        check(sheet.encoding, sheet.text, counts[sheet.encoding][0]);
        for (const QString& line : sheet.text.split(QStringLiteral("\r\n"))) {
            if (encoded(line, sheet.encoding.c_str()) != line.toUtf8())
                check(sheet.encoding, line, counts[sheet.encoding][1]);
        }
    }
    std::cout << "encoding: sheets right before/now of all; single lines right before/now of all\n";
    for (const auto& [encoding, count] : counts) {
        std::cout << encoding << ": " << count[0].rightBefore << "/" << count[0].rightNow << " of " << count[0].total
                  << "; " << count[1].rightBefore << "/" << count[1].rightNow << " of " << count[1].total << "\n";
    }
}

} // namespace
} // namespace lh
