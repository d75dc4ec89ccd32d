#pragma once

#include <QByteArrayView>
#include <QString>

#include <array>
#include <optional>

namespace lh {

// A single-byte Windows code page, decoded strictly: a byte the code page leaves undefined
// fails the whole decoding, as a strict converter does. (Qt's decoders never fail here: they
// map such bytes to C1 control characters.) Any thread.
class CodePage {
public:
    static const CodePage& windows1252();
    static const CodePage& windows1250();
    static const CodePage& windows1251();

    // The text, or nothing when a byte is undefined in this code page.
    std::optional<QString> decode(QByteArrayView bytes) const;

private:
    explicit CodePage(const char* iconvName);

    static constexpr char16_t undefined = 0xFFFF; // a noncharacter: no code page maps to it

    // Built once from the C library's converter; every byte undefined when it lacks the page.
    std::array<char16_t, 256> table_ {};
};

} // namespace lh
