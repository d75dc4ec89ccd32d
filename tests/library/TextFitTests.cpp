#include "TextFit.h"

#include <QString>

#include <gtest/gtest.h>

namespace lh {
namespace {

using Writing = TextFit::Writing;

// Text as a right code page gives it, and as a wrong one does: the traces each leaves.
struct TraceCase {
    const char* name;
    const char* text;
    std::int64_t strayCharacters;
    std::int64_t mixedAccentWords;
};

class TextFitTraces : public ::testing::TestWithParam<TraceCase> {};

TEST_P(TextFitTraces, CountsTheTracesOfAWrongPage)
{
    const TextFit fit = TextFit::of(QString::fromUtf8(GetParam().text));
    EXPECT_EQ(fit.strayCharacters, GetParam().strayCharacters);
    EXPECT_EQ(fit.mixedAccentWords, GetParam().mixedAccentWords);
}

INSTANTIATE_TEST_SUITE_P(TextFit, TextFitTraces,
    ::testing::Values(
        TraceCase { "AccentsOfOneLanguagePerWord", "Françoise Hardy – Motörhead, Größer, Sigur Rós", 0, 0 },
        TraceCase { "MarksTitlesUse", "Don’t Stop — “Live” «Encore» ½ nº 5, 1ª ¿Qué? 5 € 30°", 0, 0 },
        TraceCase { "SymbolInsideAWord", "Czes³aw", 1, 0 },
        TraceCase { "QuoteBetweenLetters", "ab“cd", 1, 0 },
        TraceCase { "OrdinalAfterALetter", "Àî»ª", 1, 0 },
        TraceCase { "LatinAndCyrillicInOneWord", "Mир", 2, 0 },
        TraceCase { "CapitalAfterASmallLetter", "рЬлз", 1, 0 },
        TraceCase { "LongCyrillicWordWithoutAVowel", "Рбрбдьрпхлпт", 1, 0 },
        TraceCase { "ShortCyrillicWordWithoutAVowel", "Чврст", 0, 0 },
        TraceCase { "WordStartingWithEth", "Ðorðe", 1, 0 },
        TraceCase { "AccentsOfTwoLanguagesInOneWord", "Šušteršiè", 0, 1 },
        TraceCase { "SyllabicLiquidAtTheEnd", "cittŕ", 0, 1 },
        // A wrong reading of Cyrillic in 1252 is one of the first rule's ties; it stays clean.
        TraceCase { "AccentsOfTwoLanguagesWithoutASCII", "Êèíî", 0, 0 },
        TraceCase { "HalfWidthKatakana", "ｱｲｳ", 3, 0 },
        TraceCase { "Empty", "", 0, 0 }),
    [](const auto& info) { return std::string(info.param.name); });

// The same characters fit the writing they belong to better than the others.
struct WritingCase {
    const char* name;
    const char* text;
    Writing right;
    Writing wrong;
};

class TextFitWritings : public ::testing::TestWithParam<WritingCase> {};

TEST_P(TextFitWritings, FitsItsOwnWritingBest)
{
    const QString text = QString::fromUtf8(GetParam().text);
    EXPECT_GT(TextFit::of(text, GetParam().right).score, TextFit::of(text, GetParam().wrong).score);
}

INSTANTIATE_TEST_SUITE_P(TextFit, TextFitWritings,
    ::testing::Values(
        WritingCase { "KanaIsJapanese", "ありがとう", Writing::japanese, Writing::simplifiedChinese },
        WritingCase { "SimplifiedCharacters", "我们的时光", Writing::simplifiedChinese, Writing::traditionalChinese },
        WritingCase { "TraditionalCharacters", "我們的時光", Writing::traditionalChinese, Writing::simplifiedChinese }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextFit, HangulBeyondTheStandardSetIsStray)
{
    EXPECT_EQ(TextFit::of(QString::fromUtf8("가"), Writing::korean).strayCharacters, 0);
    EXPECT_EQ(TextFit::of(QString::fromUtf8("뜴"), Writing::korean).strayCharacters, 1);
}

} // namespace
} // namespace lh
