#include "CodePage.h"

#include <iconv.h>

namespace lh {

CodePage::CodePage(const char* iconvName, Width width)
    : iconvName_(iconvName)
    , width_(width)
{
    table_.fill(undefined);
    if (width_ == Width::multiByte)
        return;
    const iconv_t converter = iconv_open("UTF-16LE", iconvName);
    if (converter == reinterpret_cast<iconv_t>(-1))
        return;
    // Single-byte code pages carry no state, so converting byte by byte gives the whole map;
    // glibc answers EILSEQ for the bytes the page leaves undefined.
    for (int byte = 0; byte < 256; ++byte) {
        char in[1] = { static_cast<char>(byte) };
        unsigned char out[4] = {};
        char* inPointer = in;
        char* outPointer = reinterpret_cast<char*>(out);
        std::size_t inLeft = sizeof in;
        std::size_t outLeft = sizeof out;
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
        const std::size_t result = iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft);
        if (result != static_cast<std::size_t>(-1) && outLeft == 2)
            table_[static_cast<std::size_t>(byte)] = static_cast<char16_t>(out[0] | (out[1] << 8));
    }
    iconv_close(converter);
}

const CodePage& CodePage::windows1252()
{
    static const CodePage page("WINDOWS-1252", Width::singleByte);
    return page;
}

const CodePage& CodePage::windows1250()
{
    static const CodePage page("WINDOWS-1250", Width::singleByte);
    return page;
}

const CodePage& CodePage::windows1251()
{
    static const CodePage page("WINDOWS-1251", Width::singleByte);
    return page;
}

const CodePage& CodePage::windows1253()
{
    static const CodePage page("WINDOWS-1253", Width::singleByte);
    return page;
}

const CodePage& CodePage::shiftJIS()
{
    static const CodePage page("CP932", Width::multiByte);
    return page;
}

const CodePage& CodePage::eucJP()
{
    static const CodePage page("EUC-JP", Width::multiByte);
    return page;
}

const CodePage& CodePage::gb18030()
{
    static const CodePage page("GB18030", Width::multiByte);
    return page;
}

const CodePage& CodePage::big5()
{
    static const CodePage page("CP950", Width::multiByte);
    return page;
}

const CodePage& CodePage::unifiedHangul()
{
    static const CodePage page("CP949", Width::multiByte);
    return page;
}

std::optional<QString> CodePage::decode(QByteArrayView bytes) const
{
    if (width_ == Width::multiByte)
        return decodeMultiByte(bytes);
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (const char byte : bytes) {
        const char16_t unit = table_[static_cast<unsigned char>(byte)];
        if (unit == undefined)
            return std::nullopt;
        *out++ = unit;
    }
    return text;
}

// Multi-byte pages carry state between bytes, so the converter reads the whole text. A
// converter is opened per call: one must not be shared between threads.
std::optional<QString> CodePage::decodeMultiByte(QByteArrayView bytes) const
{
    const iconv_t converter = iconv_open("UTF-16LE", iconvName_);
    if (converter == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    // No sequence of these pages yields more UTF-16 units than it has bytes.
    QByteArray out(2 * bytes.size() + 4, Qt::Uninitialized);
    char* in = const_cast<char*>(bytes.data());
    char* outPointer = out.data();
    std::size_t inLeft = static_cast<std::size_t>(bytes.size());
    std::size_t outLeft = static_cast<std::size_t>(out.size());
    // A strict converter stops at an undefined sequence (EILSEQ) and at one cut off at the end
    // (EINVAL); either fails the decoding.
    const bool isComplete = iconv(converter, &in, &inLeft, &outPointer, &outLeft) != static_cast<std::size_t>(-1)
        && inLeft == 0;
    iconv_close(converter);
    if (!isComplete)
        return std::nullopt;
    const qsizetype units = (out.size() - static_cast<qsizetype>(outLeft)) / 2;
    QString text(units, Qt::Uninitialized);
    const auto* utf16 = reinterpret_cast<const unsigned char*>(out.constData());
    for (qsizetype i = 0; i < units; ++i) {
        const auto unit = static_cast<char16_t>(utf16[2 * i] | (utf16[2 * i + 1] << 8));
        // glibc's EUC-JP passes bytes it leaves undefined through as C1 controls.
        if (unit >= 0x80 && unit <= 0x9F)
            return std::nullopt;
        text[i] = QChar(unit);
    }
    return text;
}

} // namespace lh
