#pragma once

#include <QByteArrayView>
#include <QString>

#include <array>
#include <optional>

namespace lh {

// A legacy Windows or East Asian code page, decoded strictly: a byte or byte sequence the code
// page leaves undefined fails the whole decoding, as a strict converter does. (Qt's decoders
// never fail here: they map such bytes to C1 control characters.) Any thread.
class CodePage {
public:
    static const CodePage& windows1252();
    static const CodePage& windows1250();
    static const CodePage& windows1251();
    static const CodePage& windows1253();
    static const CodePage& shiftJIS(); // Windows' variant, code page 932
    static const CodePage& eucJP();
    static const CodePage& gb18030(); // includes GBK
    static const CodePage& big5(); // Windows' variant, code page 950
    static const CodePage& unifiedHangul(); // code page 949, a superset of EUC-KR

    // The text, or nothing when a byte or sequence is undefined in this code page.
    std::optional<QString> decode(QByteArrayView bytes) const;

private:
    enum class Width { singleByte, multiByte };
    CodePage(const char* iconvName, Width width);

    std::optional<QString> decodeMultiByte(QByteArrayView bytes) const;

    static constexpr char16_t undefined = 0xFFFF; // a noncharacter: no code page maps to it

    const char* iconvName_;
    Width width_;
    // Single-byte pages only: built once from the C library's converter; every byte undefined
    // when it lacks the page.
    std::array<char16_t, 256> table_ {};
};

} // namespace lh
