#include "ActivationMessage.h"

#include <gtest/gtest.h>

namespace lh {
namespace {

using Completeness = ActivationMessage::Completeness;

std::string withLength(std::string bytes)
{
    const auto n = static_cast<std::uint32_t>(bytes.size());
    for (int i = 0; i < 4; ++i)
        bytes[8 + i] = char((n >> (24 - 8 * i)) & 0xff);
    return bytes;
}

std::string record(char kind, std::string_view payload)
{
    const auto n = static_cast<std::uint32_t>(payload.size());
    std::string out(1, kind);
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(char((n >> shift) & 0xff));
    return out + std::string(payload);
}

std::string message(std::string records)
{
    return withLength(std::string("LARKHVN1") + std::string(4, '\0') + records + record('e', ""));
}

TEST(ActivationMessage, RoundTripsFilesByteForByteWithTheToken)
{
    const ActivationMessage sent { { FileURL("/music/caf\xe9 \xff.flac"), FileURL("/a b/c.cue") }, "token-123_x" };
    const std::string bytes = sent.encoded();
    EXPECT_EQ(ActivationMessage::check(bytes, bytes.size()), Completeness::complete);
    EXPECT_EQ(ActivationMessage::decode(bytes), sent);
    EXPECT_EQ(ActivationMessage::decode(ActivationMessage {}.encoded()), ActivationMessage {});
}

TEST(ActivationMessage, TellsAPartialMessageFromAWholeOne)
{
    const std::string bytes = ActivationMessage { { FileURL("/x.mp3") }, "" }.encoded();
    EXPECT_EQ(ActivationMessage::check(bytes.substr(0, 3), 3), Completeness::incomplete);
    EXPECT_EQ(ActivationMessage::check(bytes.substr(0, 16), 16), Completeness::incomplete);
    EXPECT_EQ(ActivationMessage::check(bytes.substr(0, 16), bytes.size() + 1), Completeness::invalid);
    EXPECT_EQ(ActivationMessage::check("LARKHVN2", 8), Completeness::invalid);
    EXPECT_EQ(ActivationMessage::check("GET / HT", 8), Completeness::invalid);
}

TEST(ActivationMessage, RefusesMalformedMessagesWhole)
{
    const std::string file = record('f', "/ok.flac");
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        { "relative path", message(record('f', "ok.flac")) },
        { "empty path", message(record('f', "")) },
        { "NUL in path", message(record('f', std::string("/a\0b", 4))) },
        { "path too long", message(record('f', "/" + std::string(4096, 'a'))) },
        { "two tokens", message(record('t', "a") + record('t', "b")) },
        { "token with a space", message(record('t', "a b")) },
        { "unknown record", message(file + record('x', "")) },
        { "length past the end", message(file.substr(0, 4) + "\x7f" + file.substr(5)) },
        { "bytes after the end", withLength(message(file) + "z") },
        { "no end", withLength(std::string("LARKHVN1") + std::string(4, '\0') + file) },
        { "declared size too large", withLength(message(file)).replace(8, 4, "\x7f\xff\xff\xff") },
    };
    for (const auto& c : cases)
        EXPECT_EQ(ActivationMessage::decode(c.bytes), std::nullopt) << c.what;
    EXPECT_TRUE(ActivationMessage::decode(message(file)).has_value());
}

} // namespace
} // namespace lh
