#include "ActivationMessage.h"

#include <algorithm>
#include <cstdint>

namespace lh {

namespace {

constexpr std::string_view magic = "LARKHVN1";
constexpr std::size_t headerSize = 5; // kind and length
constexpr std::size_t prefixSize = 12; // magic and total length

void appendLength(std::string& out, std::uint32_t length)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((length >> shift) & 0xff));
}

void appendRecord(std::string& out, char kind, std::string_view payload)
{
    out.push_back(kind);
    appendLength(out, static_cast<std::uint32_t>(payload.size()));
    out.append(payload);
}

std::uint32_t readLength(std::string_view bytes, std::size_t at)
{
    std::uint32_t length = 0;
    for (std::size_t i = at; i < at + 4; ++i)
        length = (length << 8) | static_cast<unsigned char>(bytes[i]);
    return length;
}

bool isValidToken(std::string_view token)
{
    return !token.empty() && token.size() <= ActivationMessage::maximumTokenLength
        && std::all_of(token.begin(), token.end(), [](char c) { return c > 0x20 && c < 0x7f; });
}

bool isValidPath(std::string_view path)
{
    return !path.empty() && path.size() <= ActivationMessage::maximumPathLength && path.front() == '/'
        && path.find('\0') == std::string_view::npos;
}

// Walks the records of a message whose every byte has arrived; fills `message`.
bool parseRecords(std::string_view bytes, ActivationMessage& message)
{
    std::size_t offset = prefixSize;
    std::size_t files = 0;
    bool hasToken = false;
    while (true) {
        const std::string_view rest = bytes.substr(offset);
        if (rest.size() < headerSize)
            return false;
        const char kind = rest.front();
        const std::uint32_t length = readLength(rest, 1);
        if (kind == 'e')
            return length == 0 && rest.size() == headerSize;
        if (kind != 't' && kind != 'f')
            return false;
        const std::size_t limit = kind == 't' ? ActivationMessage::maximumTokenLength : ActivationMessage::maximumPathLength;
        if (length > limit || rest.size() < headerSize + length)
            return false;
        if ((kind == 't' && hasToken) || (kind == 'f' && ++files > ActivationMessage::maximumFiles))
            return false;
        const std::string_view payload = rest.substr(headerSize, length);
        if (kind == 't' ? !isValidToken(payload) : !isValidPath(payload))
            return false;
        if (kind == 't')
            message.activationToken.assign(payload);
        else
            message.files.emplace_back(std::string(payload));
        hasToken = hasToken || kind == 't';
        offset += headerSize + length;
    }
}

} // namespace

std::string ActivationMessage::encoded() const
{
    std::string out(magic);
    appendLength(out, 0); // filled in below
    if (!activationToken.empty())
        appendRecord(out, 't', activationToken);
    for (const FileURL& file : files)
        appendRecord(out, 'f', file.path());
    appendRecord(out, 'e', {});
    const std::string total = [&] {
        std::string length;
        appendLength(length, static_cast<std::uint32_t>(out.size()));
        return length;
    }();
    out.replace(magic.size(), 4, total);
    return out;
}

ActivationMessage::Completeness ActivationMessage::check(std::string_view start, std::size_t received)
{
    if (!magic.starts_with(start.substr(0, magic.size())))
        return Completeness::invalid;
    if (start.size() < prefixSize || received < prefixSize)
        return Completeness::incomplete;
    const std::size_t total = readLength(start, magic.size());
    if (total < prefixSize + headerSize || total > maximumSize || received > total)
        return Completeness::invalid;
    return received < total ? Completeness::incomplete : Completeness::complete;
}

std::optional<ActivationMessage> ActivationMessage::decode(std::string_view bytes)
{
    ActivationMessage message;
    if (check(bytes, bytes.size()) != Completeness::complete || !parseRecords(bytes, message))
        return std::nullopt;
    return message;
}

} // namespace lh
