#include "ActivationMessage.h"

#include <gtest/gtest.h>

#include <algorithm>

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

const std::string id = record('i', std::string("\x01\x02\x03\x04\x05\x06\x07\x08\0\0\0\x02", 12));

std::string bare(const std::string& records)
{
    return withLength(std::string("LARKHVN2") + std::string(4, '\0') + records + record('e', ""));
}

std::string message(const std::string& records)
{
    return bare(id + records);
}

TEST(ActivationMessage, RoundTripsFilesByteForByteWithTheTokenAndPart)
{
    const ActivationMessage sent { { FileURL("/music/caf\xe9 \xff.flac"), FileURL("/a b/c.cue") }, "token-123_x",
        0xfedcba9876543210, 7 };
    const std::string bytes = sent.encoded();
    EXPECT_EQ(ActivationMessage::check(bytes, bytes.size()), Completeness::complete);
    EXPECT_EQ(ActivationMessage::decode(bytes), sent);
    EXPECT_EQ(ActivationMessage::decode(ActivationMessage {}.encoded()), ActivationMessage {});
    const std::optional<ActivationMessage> read = ActivationMessage::decode(message(""));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->handOver, 0x0102030405060708u);
    EXPECT_EQ(read->part, 2u);
}

TEST(ActivationMessage, TellsAPartialMessageFromAWholeOne)
{
    const std::string bytes = ActivationMessage { { FileURL("/x.mp3") }, "" }.encoded();
    EXPECT_EQ(ActivationMessage::check(bytes.substr(0, 3), 3), Completeness::incomplete);
    EXPECT_EQ(ActivationMessage::check(bytes.substr(0, 16), 16), Completeness::incomplete);
    EXPECT_EQ(ActivationMessage::check(bytes.substr(0, 16), bytes.size() + 1), Completeness::invalid);
    EXPECT_EQ(ActivationMessage::check("LARKHVN1", 8), Completeness::invalid);
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
        { "no end", withLength(std::string("LARKHVN2") + std::string(4, '\0') + id + file) },
        { "no id", bare(file) },
        { "id after a file", bare(file + id) },
        { "two ids", message(id) },
        { "short id", bare(record('i', "12345678") + file) },
        { "declared size too large", withLength(message(file)).replace(8, 4, "\x7f\xff\xff\xff") },
    };
    for (const auto& c : cases)
        EXPECT_EQ(ActivationMessage::decode(c.bytes), std::nullopt) << c.what;
    EXPECT_TRUE(ActivationMessage::decode(message(file)).has_value());
}

// Small limits, so that every bound is met by a few short files.
constexpr ActivationMessage::Limits small { .size = 80, .files = 3, .pathLength = 16, .tokenLength = 8 };

std::vector<FileURL> numbered(int count, std::string_view stem = "/f")
{
    std::vector<FileURL> files;
    for (int i = 0; i < count; ++i)
        files.emplace_back(std::string(stem) + std::to_string(i));
    return files;
}

// Whatever a launch is given, each of its messages is one the reader takes, and the parts
// carry every file the reader can take, in order, under one id.
TEST(ActivationMessage, SplitsALaunchIntoMessagesTheReaderTakes)
{
    const struct {
        const char* what;
        std::vector<FileURL> files;
        std::string token;
        std::vector<std::size_t> partSizes;
        std::string sentToken;
        std::size_t leftOut = 0;
    } cases[] = {
        { "nothing: one part asks for the window", {}, "tok", { 0 }, "tok" },
        { "token with a space left out", numbered(2), "a b", { 2 }, "" },
        { "token over the limit left out", numbered(2), "123456789", { 2 }, "" },
        { "more files than one message holds", numbered(7), "tok", { 3, 3, 1 }, "tok" },
        { "more bytes than one message holds", numbered(3, "/0123456789abc"), "", { 2, 1 }, "" },
        { "unsendable paths left out", { FileURL("/a"), FileURL("/" + std::string(16, 'x')), FileURL(std::string("/n\0l", 4)),
                                            FileURL("/b") }, "", { 2 }, "", 2 },
    };
    for (const auto& c : cases) {
        const ActivationMessage::Parts parts = ActivationMessage::split(c.files, c.token, 42, small);
        std::vector<std::size_t> sizes;
        std::vector<FileURL> sent;
        for (std::size_t i = 0; i < parts.messages.size(); ++i) {
            const std::string bytes = parts.messages[i].encoded();
            const std::optional<ActivationMessage> read = ActivationMessage::decode(bytes, small);
            ASSERT_TRUE(read) << c.what << ", part " << i;
            EXPECT_EQ(read->handOver, 42u) << c.what;
            EXPECT_EQ(read->part, i) << c.what;
            EXPECT_EQ(ActivationMessage::split(c.files, c.token, 42, small, ActivationMessage::firstAddingPart).messages[i].part, i + 1)
                << c.what;
            EXPECT_EQ(read->activationToken, i == 0 ? c.sentToken : "") << c.what;
            sizes.push_back(read->files.size());
            sent.insert(sent.end(), read->files.begin(), read->files.end());
        }
        EXPECT_EQ(sizes, c.partSizes) << c.what;
        EXPECT_EQ(parts.leftOut.size(), c.leftOut) << c.what;
        for (const FileURL& file : c.files) {
            const bool isSent = std::find(sent.begin(), sent.end(), file) != sent.end();
            EXPECT_NE(isSent, std::find(parts.leftOut.begin(), parts.leftOut.end(), file) != parts.leftOut.end()) << c.what;
        }
    }
}

} // namespace
} // namespace lh
