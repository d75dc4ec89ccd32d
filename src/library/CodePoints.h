#pragma once

#include <QChar>
#include <QStringView>

namespace lh::CodePoints {

// The code point starting at UTF-16 index `i`: a surrogate pair read as one, a lone surrogate
// as itself (text decoded from a wrong page may hold one), and 0 outside the text, so callers
// may look one past either end without a check.
inline char32_t at(QStringView text, qsizetype i)
{
    if (i < 0 || i >= text.size())
        return 0;
    if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
        return QChar::surrogateToUcs4(text[i], text[i + 1]);
    return text[i].unicode();
}

// How many UTF-16 units `c` takes.
inline qsizetype width(char32_t c)
{
    return QChar::requiresSurrogates(c) ? 2 : 1;
}

} // namespace lh::CodePoints
