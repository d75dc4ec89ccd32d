#pragma once

#include <QStringView>

#include <cstdint>

namespace lh {

// How well decoded text reads as real titles and names, to tell a right code page from a wrong
// one. A wrong single-byte page leaves traces a right one never does: symbols inside words,
// words that mix scripts, capitals after small letters, accented letters no one language
// writes together. A wrong East Asian page gives rare characters instead of common ones.
struct TextFit {
    // The writing a code page is meant for: decides which characters count as common.
    enum class Writing { alphabetic, japanese, simplifiedChinese, traditionalChinese, korean };

    std::int64_t score = 0; // higher reads more like real text
    // Traces only a wrong page leaves: symbols inside words, mixed scripts, case flips,
    // characters no title uses.
    std::int64_t strayCharacters = 0;
    // Latin words with ASCII letters whose accented letters belong to no one language: the
    // trace a wrong Latin page leaves where it still gives letters.
    std::int64_t mixedAccentWords = 0;

    bool isClean() const { return strayCharacters == 0 && mixedAccentWords == 0; }

    static TextFit of(QStringView text, Writing writing = Writing::alphabetic);
};

} // namespace lh
