#include "JsonReader.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>

#include <bit>
#include <cstdint>
#include <cstring>

namespace lh {
namespace {

// QJsonDocument refuses deeper documents.
constexpr int nestingLimit = 1024;

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

// Bytes of the word equal to `byte`: the lowest flagged byte is exact, which is all the caller
// uses (a borrow can flag bytes above it).
constexpr std::uint64_t ones = 0x0101010101010101ULL;
constexpr std::uint64_t highs = 0x8080808080808080ULL;
std::uint64_t equalBytes(std::uint64_t word, unsigned char byte)
{
    const std::uint64_t x = word ^ (ones * byte);
    return (x - ones) & ~x & highs;
}

} // namespace

QString JsonReader::String::toQString() const
{
    return decoded ? *decoded : QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

// QString::fromUtf8, which Qt's parser gives unescaped text to, drops one leading mark: in a
// value and in a key alike.
std::string_view JsonReader::String::unmarked() const
{
    std::string_view text = utf8;
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    return text;
}

std::string JsonReader::String::toStdString() const
{
    return decoded ? decoded->toStdString() : std::string(unmarked());
}

bool JsonReader::String::is(std::string_view ascii) const
{
    return decoded ? *decoded == QLatin1StringView(ascii.data(), qsizetype(ascii.size())) : unmarked() == ascii;
}

JsonReader::JsonReader(std::string_view text)
    : begin_(text.data())
    , pos_(text.data())
    , end_(text.data() + text.size())
{
}

std::string_view JsonReader::document(std::string_view text)
{
    // As QJsonDocument: only a mark with something after it.
    if (text.size() > 3 && text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    return text;
}

bool JsonReader::fail()
{
    failed_ = true;
    return false;
}

bool JsonReader::skipSpaceAtAll()
{
    while (pos_ < end_ && isSpace(*pos_))
        ++pos_;
    return pos_ < end_;
}

JsonReader::Type JsonReader::peek()
{
    if (failed_ || !skipSpace())
        return Type::none;
    switch (*pos_) {
    case '{':
        return Type::object;
    case '[':
        return Type::array;
    case '"':
        return Type::string;
    case 't':
    case 'f':
        return Type::boolean;
    case 'n':
        return Type::null;
    case ',':
    case ']':
    case '}':
        return Type::none;
    default:
        return Type::number;
    }
}

bool JsonReader::beginContainer(char open)
{
    if (failed_ || !skipSpace() || *pos_ != open)
        return fail();
    ++pos_;
    if (++depth_ > nestingLimit)
        return fail();
    isFirst_ = true;
    return true;
}

bool JsonReader::beginArray()
{
    return beginContainer('[');
}

bool JsonReader::beginObject()
{
    return beginContainer('{');
}

JsonReader::Step JsonReader::step(char close)
{
    if (!skipSpace())
        return Step::error;
    const char c = *pos_++;
    if (c == close) {
        --depth_;
        return Step::end;
    }
    return c == ',' ? Step::next : Step::error;
}

bool JsonReader::nextElement()
{
    if (failed_)
        return false;
    if (isFirst_) {
        isFirst_ = false;
        if (!skipSpace())
            return fail();
        if (*pos_ != ']')
            return true;
        ++pos_;
        --depth_;
        return false;
    }
    switch (step(']')) {
    case Step::next:
        return true;
    case Step::end:
        return false;
    case Step::error:
        break;
    }
    return fail();
}

std::optional<JsonReader::String> JsonReader::nextKey()
{
    if (failed_)
        return std::nullopt;
    if (isFirst_) {
        isFirst_ = false;
        if (skipSpace() && *pos_ == '}') {
            ++pos_;
            --depth_;
            return std::nullopt;
        }
    } else {
        switch (step('}')) {
        case Step::next:
            break;
        case Step::end:
            return std::nullopt;
        case Step::error:
            fail();
            return std::nullopt;
        }
    }
    if (!skipSpace() || *pos_ != '"') {
        fail();
        return std::nullopt;
    }
    auto key = scanString();
    if (!key || !skipSpace() || *pos_ != ':') {
        fail();
        return std::nullopt;
    }
    ++pos_;
    if (!skipSpace()) {
        fail();
        return std::nullopt;
    }
    return key;
}

std::optional<JsonReader::String> JsonReader::string()
{
    if (failed_ || !skipSpace() || *pos_ != '"') {
        fail();
        return std::nullopt;
    }
    return scanString();
}

// Plain printable ASCII, eight bytes at a time: nearly all of a stored playlist.
const char* JsonReader::skipPlain(const char* p) const
{
    if constexpr (std::endian::native == std::endian::little) {
        while (end_ - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, sizeof word);
            const std::uint64_t special = equalBytes(word, '"') | equalBytes(word, '\\') | (word & highs);
            if (special)
                return p + std::countr_zero(special) / 8;
            p += 8;
        }
    }
    while (p < end_ && *p != '"' && *p != '\\' && static_cast<unsigned char>(*p) < 0x80)
        ++p;
    return p;
}

// One character of two to four bytes, held to what Qt's decoder takes: no overlong forms, no
// surrogates, nothing past U+10FFFF (noncharacters pass).
bool JsonReader::skipUtf8(const char*& p) const
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(p);
    const unsigned char lead = bytes[0];
    int length = 0;
    char32_t least = 0;
    char32_t code = 0;
    if (lead < 0xC2) {
        return false;
    } else if (lead < 0xE0) {
        length = 2, least = 0x80, code = lead & 0x1F;
    } else if (lead < 0xF0) {
        length = 3, least = 0x800, code = lead & 0x0F;
    } else if (lead < 0xF5) {
        length = 4, least = 0x10000, code = lead & 0x07;
    } else {
        return false;
    }
    if (end_ - p < length)
        return false;
    for (int i = 1; i < length; ++i) {
        if (!isContinuation(bytes[i]))
            return false;
        code = (code << 6) | (bytes[i] & 0x3F);
    }
    if (code < least || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
        return false;
    p += length;
    return true;
}

std::optional<JsonReader::String> JsonReader::scanString()
{
    const char* open = pos_;
    const char* p = open + 1;
    for (;;) {
        p = skipPlain(p);
        if (p == end_)
            break;
        if (*p == '"') {
            if (p + 1 >= end_)
                break; // QJsonDocument wants something after a string
            pos_ = p + 1;
            return String { std::string_view(open + 1, std::size_t(p - open - 1)), std::nullopt };
        }
        if (*p == '\\')
            return decodeEscaped(open);
        if (!skipUtf8(p))
            break;
    }
    fail();
    return std::nullopt;
}

// Escapes are rare in stored paths and titles, and Qt's reading of them has its own leniencies
// (an unknown escape stands for its character, a lone surrogate passes): Qt reads them itself.
std::optional<JsonReader::String> JsonReader::decodeEscaped(const char* open)
{
    const char* p = open + 1;
    while (p < end_ && *p != '"')
        p += *p == '\\' && p + 1 < end_ ? 2 : 1;
    if (p + 1 >= end_) {
        fail();
        return std::nullopt;
    }
    QByteArray wrapped;
    wrapped.reserve(qsizetype(p - open) + 3);
    wrapped.append('[').append(open, qsizetype(p + 1 - open)).append(']');
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(wrapped, &error);
    if (error.error != QJsonParseError::NoError) {
        fail();
        return std::nullopt;
    }
    pos_ = p + 1;
    return String { {}, document.array().at(0).toString() };
}

std::optional<double> JsonReader::number()
{
    if (failed_ || !skipSpace()) {
        fail();
        return std::nullopt;
    }
    // Qt's scan, then Qt's own conversions, so the same texts pass and give the same values.
    const char* p = pos_;
    bool isInteger = true;
    if (p < end_ && *p == '-')
        ++p;
    if (p < end_ && *p == '0') {
        ++p;
    } else {
        while (p < end_ && isDigit(*p))
            ++p;
    }
    if (p < end_ && *p == '.') {
        ++p;
        for (; p < end_ && isDigit(*p); ++p)
            isInteger = isInteger && *p == '0';
    }
    if (p < end_ && (*p == 'e' || *p == 'E')) {
        isInteger = false;
        ++p;
        if (p < end_ && (*p == '-' || *p == '+'))
            ++p;
        while (p < end_ && isDigit(*p))
            ++p;
    }
    if (p >= end_) {
        fail();
        return std::nullopt;
    }
    const QByteArray text = QByteArray::fromRawData(pos_, qsizetype(p - pos_));
    bool ok = false;
    double value = 0;
    if (isInteger) {
        const qlonglong integer = text.toLongLong(&ok);
        value = double(integer);
    }
    if (!ok)
        value = text.toDouble(&ok);
    if (!ok) {
        fail();
        return std::nullopt;
    }
    pos_ = p;
    return value;
}

// As QJsonDocument: the word and at least one byte after it.
bool JsonReader::literal(std::string_view rest)
{
    if (std::size_t(end_ - pos_) <= rest.size() + 1 || std::string_view(pos_ + 1, rest.size()) != rest)
        return fail();
    pos_ += rest.size() + 1;
    return true;
}

std::optional<bool> JsonReader::boolean()
{
    const Type type = peek();
    if (type == Type::boolean && *pos_ == 't' && literal("rue"))
        return true;
    if (type == Type::boolean && *pos_ == 'f' && literal("alse"))
        return false;
    fail();
    return std::nullopt;
}

bool JsonReader::null()
{
    return peek() == Type::null ? literal("ull") : fail();
}

bool JsonReader::skip()
{
    switch (peek()) {
    case Type::object:
        beginObject();
        while (nextKey()) {
            if (!skip())
                return false;
        }
        return !failed_;
    case Type::array:
        beginArray();
        while (nextElement()) {
            if (!skip())
                return false;
        }
        return !failed_;
    case Type::string:
        return string().has_value();
    case Type::number:
        return number().has_value();
    case Type::boolean:
        return boolean().has_value();
    case Type::null:
        return null();
    case Type::none:
        break;
    }
    return fail();
}

bool JsonReader::atEnd()
{
    return !failed_ && !skipSpace();
}

} // namespace lh
