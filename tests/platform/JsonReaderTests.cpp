#include "JsonReader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <random>

namespace lh {
namespace {

// The document as the reader reads it, built into the values QJsonDocument would give; null
// (not a document) when the reader refuses it.
QJsonValue read(JsonReader& reader);

QJsonValue readContainer(JsonReader& reader, JsonReader::Type type)
{
    if (type == JsonReader::Type::array) {
        QJsonArray array;
        reader.beginArray();
        while (reader.nextElement())
            array.append(read(reader));
        return array;
    }
    QJsonObject object;
    reader.beginObject();
    while (const auto key = reader.nextKey())
        object.insert(key->toQString(), read(reader));
    return object;
}

QJsonValue read(JsonReader& reader)
{
    switch (const auto type = reader.peek()) {
    case JsonReader::Type::array:
    case JsonReader::Type::object:
        return readContainer(reader, type);
    case JsonReader::Type::string: {
        const auto string = reader.string().value_or(JsonReader::String());
        EXPECT_EQ(string.toStdString(), string.toQString().toStdString());
        return string.toQString();
    }
    case JsonReader::Type::number:
        return reader.number().value_or(0);
    case JsonReader::Type::boolean:
        return reader.boolean().value_or(false);
    case JsonReader::Type::null:
        reader.null();
        return QJsonValue::Null;
    case JsonReader::Type::none:
        reader.skip();
    }
    return QJsonValue::Undefined;
}

std::optional<QJsonValue> readDocument(const QByteArray& text)
{
    JsonReader reader(JsonReader::document(std::string_view(text.constData(), std::size_t(text.size()))));
    const auto type = reader.peek();
    if (type != JsonReader::Type::array && type != JsonReader::Type::object)
        return std::nullopt;
    QJsonValue value = readContainer(reader, type);
    if (reader.failed() || !reader.atEnd())
        return std::nullopt;
    return value;
}

// Numbers as QJsonValue::toDouble gives them, which is what the reader reads: Qt keeps some as
// integers, and compares an integer with a double by type.
QJsonValue asDoubles(const QJsonValue& value)
{
    if (value.isArray()) {
        QJsonArray array;
        for (const QJsonValue& element : value.toArray())
            array.append(asDoubles(element));
        return array;
    }
    if (value.isObject()) {
        QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it)
            it.value() = asDoubles(it.value());
        return object;
    }
    return value.isDouble() ? QJsonValue(value.toDouble()) : value;
}

std::optional<QJsonValue> qtDocument(const QByteArray& text)
{
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError)
        return std::nullopt;
    return asDoubles(document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object()));
}

void expectReadAsQtReads(const QByteArray& text)
{
    EXPECT_EQ(readDocument(text), qtDocument(text)) << text.toPercentEncoding(" []{}\":,.-+").toStdString();
}

const QByteArray sample = "\xEF\xBB\xBF { \"savedPlaylist\" : [ {\"path\": \"/m/Caf\xC3\xA9 \\\"x\\\"\\u00e9\\ud83c\\udfb5.flac\", "
                          "\"start\": 12.5, \"end\": 1e2, \"remote\": true, \"title\": \"\xE6\x97\xA5\\t\", \"x\": [null, false, {}]},\r\n"
                          "\"/bare.mp3\", -0, 0.25E-3, [[[]]], {\"a\":1,\"a\":\"last\"} ], \"volume\":0.5\t}\n";

TEST(JsonReader, AcceptsAndReadsWhatQtDoesIncludingItsLeniencies)
{
    const std::vector<QByteArray> texts {
        sample, "[]", "{}", " [ ] ", "[1.]", "[.5]", "[-.5]", "[-]", "[1e]", "[1e+]", "[01]", "[+1]", "[Infinity]", "[1e999]",
        "[1e-999]", "[-0]", "[1.0]", "[9223372036854775807]", "[9223372036854775808]", "[-9223372036854775809]", "[1E5]",
        "[\"a\tb\x01\x7F\"]", "[\"\\x\"]", "[\"\\\xC3\xA9\"]", "[\"\\ud800\"]", "[\"\\u12\"]", "[\"\\u0022\"]", "[\"a\\\\\"]",
        "[\"\xEF\xBF\xBF\xEF\xBF\xBE\"]", "[\"\xED\xA0\x80\"]", "[\"\xF4\x8F\xBF\xBF\"]", "[\"\xF4\x90\x80\x80\"]", "[\"\xC0\x80\"]",
        "[\"\xC3\"]", "[\"\xE6\x97\"]", "[\"\x80\"]", "[\"\xFF\"]", "[nul]", "[null ]", "[true]", "[tru]", "[falsey]",
        "{\"a\":1,\"a\":2}", "{\"a\":1,}", "{,}", "{\"a\"}", "{\"a\":}", "{\"a\" 1}", "{1:1}", "[1,]", "[,1]", "[1 2]", "[1:2]",
        "\xEF\xBB\xBF", "\xEF\xBB\xBF[]", "[]\x00", "[] x", "1", "\"s\"", "", "   ", "[\"ok\",\"unterminated]",
        "[\"\xEF\xBB\xBF/a\",\"\xEF\xBB\xBF\xEF\xBB\xBF\",\"\xEF\xBB\xBF\\n\"]",
        QByteArray(1024, '[') + QByteArray(1024, ']'), QByteArray(1025, '[') + QByteArray(1025, ']'),
    };
    for (const QByteArray& text : texts)
        expectReadAsQtReads(text);
}

// Every truncation of a document, and bytes changed at random: what a crash or a disk leaves.
TEST(JsonReader, RefusesWhatQtRefusesInCutAndDamagedDocuments)
{
    for (qsizetype size = 0; size < sample.size(); ++size)
        expectReadAsQtReads(sample.left(size));
    std::mt19937 random(30);
    const char replacements[] = "\"\\{}[],:0.e-tfnu \x80\xC3\xFF";
    for (int i = 0; i < 3000; ++i) {
        QByteArray damaged = sample;
        damaged[random() % damaged.size()] = replacements[random() % (sizeof replacements - 1)];
        expectReadAsQtReads(damaged);
    }
}

} // namespace
} // namespace lh
