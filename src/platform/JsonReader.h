#pragma once

#include <QString>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace lh {

// Reads JSON text where it lies, value by value, without building a document: for stored values
// too large to parse whole (a playlist of a million tracks is some 100 MB of text, and its
// QJsonDocument several times that). It accepts exactly the text QJsonDocument::fromJson accepts,
// leniencies included (control characters inside strings, unknown escapes, "1." and ".5"), and
// reads the same values from it: a file is read alike by either, so switching readers never turns
// a good file bad or a bad one good.
//
// Containers are walked with a call before each element: nextElement() or nextKey() consumes the
// separator and returns false (or nothing) once it has consumed the closing bracket. A value is
// read with the call its type needs (peek() tells), or passed over with skip(). The first error
// stops the reader: every later call fails, and failed() says so.
class JsonReader {
public:
    // A string value or key. Text without escapes is a view of the JSON text itself.
    struct String {
        std::string_view utf8; // the bytes as written, when there is no escape
        std::optional<QString> decoded; // when there is one: what the escapes make of it

        QString toQString() const;
        // UTF-8, as QString::toStdString gives it.
        std::string toStdString() const;
        bool is(std::string_view ascii) const;

    private:
        std::string_view unmarked() const;
    };

    enum class Type { none, object, array, string, number, boolean, null };

    explicit JsonReader(std::string_view text);

    // A whole document without the UTF-8 byte-order mark that may open it.
    static std::string_view document(std::string_view text);

    // The next value's type, told by its first byte; none at the end of the text or after an
    // error. A value typed number may still turn out malformed when read.
    Type peek();
    // The offset of the next byte to read: after peek(), where the next value starts.
    std::size_t position() const { return std::size_t(pos_ - begin_); }

    bool beginArray();
    bool nextElement();
    bool beginObject();
    std::optional<String> nextKey();

    std::optional<String> string();
    std::optional<double> number();
    std::optional<bool> boolean();
    bool null();
    // Passes over the next value, whatever it holds, checking it as closely as a read would.
    bool skip();

    // Nothing but whitespace is left.
    bool atEnd();
    bool failed() const { return failed_; }

private:
    bool fail();
    // Past whitespace; false at the end of the text. Called before every token, so the usual
    // case, no whitespace at all, is told at once.
    bool skipSpace() { return (pos_ < end_ && static_cast<unsigned char>(*pos_) > ' ') || skipSpaceAtAll(); }
    bool skipSpaceAtAll();
    bool beginContainer(char open);
    // After the first element or member: the separator or the closing bracket.
    enum class Step { next, end, error };
    Step step(char close);
    bool literal(std::string_view rest);
    // The end of a string opened at pos_, its escapes left to Qt; fails past the end.
    std::optional<String> scanString();
    std::optional<String> decodeEscaped(const char* open);
    const char* skipPlain(const char* p) const;
    bool skipUtf8(const char*& p) const;

    const char* begin_;
    const char* pos_;
    const char* end_;
    int depth_ = 0;
    bool isFirst_ = false; // right after an opening bracket
    bool failed_ = false;
};

} // namespace lh
