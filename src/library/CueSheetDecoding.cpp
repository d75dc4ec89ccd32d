// Turning a sheet's bytes into text, whatever encoding the tool that wrote it used.
#include "CueSheet.h"

#include "CodePage.h"
#include "CodePoints.h"
#include "TextFit.h"

#include <QStringDecoder>

#include <array>
#include <cstdint>

namespace lh {
namespace {

// The non-ASCII letters real Latin-script titles use most. A code page that turns a sheet's
// bytes into these is more likely right than one that gives rarer letters or symbols.
constexpr std::array<char16_t, 69> accentedLetters {
    u'\u00E1', u'\u00E9', u'\u00ED', u'\u00F3', u'\u00F6', u'\u0151', u'\u00FA', u'\u00FC', u'\u0171',
    u'\u00E4', u'\u00DF', u'\u00E0', u'\u00E2', u'\u00E6', u'\u00E7', u'\u00E8', u'\u00EA', u'\u00EB',
    u'\u00EE', u'\u00EF', u'\u00F4', u'\u0153', u'\u00F9', u'\u00FF', u'\u00F1', u'\u010D', u'\u010F',
    u'\u011B', u'\u0148', u'\u0159', u'\u0161', u'\u0165', u'\u016F', u'\u00FD', u'\u017E',
    u'\u00C1', u'\u00C9', u'\u00CD', u'\u00D3', u'\u00D6', u'\u0150', u'\u00DA', u'\u00DC', u'\u0170',
    u'\u00C4', u'\u00C0', u'\u00C2', u'\u00C6', u'\u00C7', u'\u00C8', u'\u00CA', u'\u00CB', u'\u00CE',
    u'\u00CF', u'\u00D4', u'\u0152', u'\u00D9', u'\u0178', u'\u00D1', u'\u010C', u'\u010E', u'\u011A',
    u'\u0147', u'\u0158', u'\u0160', u'\u0164', u'\u016E', u'\u00DD', u'\u017D',
};

// Every letter of the table lies in U+00C0…U+017F.
constexpr char32_t accentedFirst = 0x00C0;
constexpr std::array<bool, 0xC0> accentedLookup = [] {
    std::array<bool, 0xC0> lookup {};
    for (const char16_t letter : accentedLetters)
        lookup[letter - accentedFirst] = true;
    return lookup;
}();

bool isAccentedLetter(char32_t c)
{
    return c >= accentedFirst && c - accentedFirst < accentedLookup.size() && accentedLookup[c - accentedFirst];
}

bool isCyrillic(char32_t c)
{
    return c >= 0x0400 && c <= 0x04FF;
}

QString lenientUtf8(QByteArrayView bytes)
{
    // A second mark after the first is text, kept as it stands.
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

std::optional<QString> strictUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

// Qt's decoder reads the mark for the byte order and never fails: it keeps unpaired
// surrogates, which would make the text malformed, so they become replacement characters.
QString utf16WithMark(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringConverter::Utf16, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(bytes);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
    return text;
}

// A decoding and the code page that gave it.
struct Reading {
    const CodePage* page;
    QString text;
};

// Every candidate page with the writing it is meant for, in the order that settles ties.
struct Candidate {
    const CodePage& page;
    TextFit::Writing writing;
};

const std::array<Candidate, 9>& candidates()
{
    static const std::array<Candidate, 9> all {
        Candidate { CodePage::windows1252(), TextFit::Writing::alphabetic },
        Candidate { CodePage::windows1250(), TextFit::Writing::alphabetic },
        Candidate { CodePage::windows1251(), TextFit::Writing::alphabetic },
        Candidate { CodePage::windows1253(), TextFit::Writing::alphabetic },
        Candidate { CodePage::shiftJIS(), TextFit::Writing::japanese },
        Candidate { CodePage::eucJP(), TextFit::Writing::japanese },
        Candidate { CodePage::gb18030(), TextFit::Writing::simplifiedChinese },
        Candidate { CodePage::big5(), TextFit::Writing::traditionalChinese },
        Candidate { CodePage::unifiedHangul(), TextFit::Writing::korean },
    };
    return all;
}

// The first rule: the most plausible of Windows-1252, -1250 and -1251, the earlier on a tie.
std::optional<Reading> mostPlausibleWindowsPage(const QByteArray& bytes)
{
    std::optional<Reading> best;
    std::int64_t bestScore = 0;
    for (const CodePage* page : { &CodePage::windows1252(), &CodePage::windows1250(), &CodePage::windows1251() }) {
        auto text = page->decode(bytes);
        if (!text)
            continue;
        const std::int64_t score = CueSheet::plausibility(*text);
        if (!best || score > bestScore) { // on a tie the earlier code page stays
            best = Reading { page, *std::move(text) };
            bestScore = score;
        }
    }
    return best;
}

// The reading of the candidate that fits best, replacing `first` only when it fits strictly
// better; with `onlyLatin`, only Windows-1252 and -1250 compete. Empty when nothing decodes.
QString closestFit(const QByteArray& bytes, std::optional<Reading> first, std::int64_t firstScore, bool onlyLatin)
{
    std::optional<Reading> best = std::move(first);
    std::int64_t bestScore = firstScore;
    for (const Candidate& candidate : candidates()) {
        const bool isLatin = &candidate.page == &CodePage::windows1252() || &candidate.page == &CodePage::windows1250();
        if ((best && &candidate.page == best->page) || (onlyLatin && !isLatin))
            continue;
        auto text = candidate.page.decode(bytes);
        if (!text)
            continue;
        const std::int64_t score = TextFit::of(*text, candidate.writing).score;
        if (!best || score > bestScore) {
            best = Reading { &candidate.page, *std::move(text) };
            bestScore = score;
        }
    }
    return best ? std::move(best->text) : QString();
}

} // namespace

// How much the letters of `text` look like real words: each word written wholly in non-ASCII
// letters counts its Cyrillic letters for the text, a word that mixes in ASCII letters counts
// them against it (a mis-decoded Latin word); other non-ASCII letters count for the text when
// they are common accented letters and against it otherwise.
std::int64_t CueSheet::plausibility(QStringView text)
{
    const auto codePointAt = [&](qsizetype i) { return CodePoints::at(text, i); };
    using CodePoints::width;

    std::int64_t score = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        qsizetype end = i;
        bool hasASCII = false;
        for (char32_t c; end < text.size() && QChar::isLetter(c = codePointAt(end)); end += width(c))
            hasASCII = hasASCII || c < 0x80;
        if (end == i) {
            i += width(codePointAt(i));
            continue;
        }
        const int weight = hasASCII ? -1 : 1;
        for (char32_t c; i < end; i += width(c)) {
            c = codePointAt(i);
            if (c < 0x80)
                continue;
            if (isCyrillic(c))
                score += weight;
            else
                score += isAccentedLetter(c) ? 1 : -1;
        }
    }
    return score;
}

QString CueSheet::decode(const QByteArray& bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return lenientUtf8(QByteArrayView(bytes).sliced(3));
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF"))
        return utf16WithMark(bytes);
    if (auto text = strictUtf8(bytes))
        return *std::move(text);

    // The first rule's reading stands unless it shows traces of a wrong page. Words whose
    // accented letters belong to no one language bring in only the other Latin page; stray
    // characters, or no reading at all (an East Asian sheet often has bytes that none of the
    // three pages defines), bring in every candidate.
    auto first = mostPlausibleWindowsPage(bytes);
    if (!first)
        return closestFit(bytes, std::nullopt, 0, false);
    const TextFit fit = TextFit::of(first->text);
    if (fit.isClean())
        return std::move(first->text);
    return closestFit(bytes, std::move(first), fit.score, fit.strayCharacters == 0);
}

} // namespace lh
