#include "CodePage.h"

#include <iconv.h>

namespace lh {

CodePage::CodePage(const char* iconvName)
{
    table_.fill(undefined);
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
    static const CodePage page("WINDOWS-1252");
    return page;
}

const CodePage& CodePage::windows1250()
{
    static const CodePage page("WINDOWS-1250");
    return page;
}

const CodePage& CodePage::windows1251()
{
    static const CodePage page("WINDOWS-1251");
    return page;
}

std::optional<QString> CodePage::decode(QByteArrayView bytes) const
{
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

} // namespace lh
