#include "ActivationMessage.h"

#include <algorithm>

namespace lh {

namespace {

using Limits = ActivationMessage::Limits;

constexpr std::string_view magic = "LARKHVN2";
constexpr std::size_t headerSize = 5; // kind and length
constexpr std::size_t prefixSize = 12; // magic and total length
constexpr std::size_t idSize = 12; // hand-over and part

void appendNumber(std::string& out, std::uint64_t value, int bytes)
{
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((value >> shift) & 0xff));
}

std::uint64_t readNumber(std::string_view bytes, std::size_t at, std::size_t count)
{
    std::uint64_t value = 0;
    for (std::size_t i = at; i < at + count; ++i)
        value = (value << 8) | static_cast<unsigned char>(bytes[i]);
    return value;
}

void appendRecord(std::string& out, char kind, std::string_view payload)
{
    out.push_back(kind);
    appendNumber(out, payload.size(), 4);
    out.append(payload);
}

// The bytes of a message before its first file and after its last.
std::size_t fixedSize(const ActivationMessage& message)
{
    const std::size_t token = message.activationToken.empty() ? 0 : headerSize + message.activationToken.size();
    return prefixSize + headerSize + idSize + token + headerSize;
}

// One record's payload into `message`; false when a valid message cannot hold it.
bool takeRecord(char kind, std::string_view payload, const Limits& limits, ActivationMessage& message)
{
    switch (kind) {
    case 'i':
        if (payload.size() != idSize)
            return false;
        message.handOver = readNumber(payload, 0, 8);
        message.part = static_cast<std::uint32_t>(readNumber(payload, 8, 4));
        return true;
    case 't':
        // A valid token is never empty, so an empty one means none was read yet.
        if (!message.activationToken.empty() || !ActivationMessage::isValidToken(payload, limits))
            return false;
        message.activationToken.assign(payload);
        return true;
    case 'f':
        if (message.files.size() >= limits.files || !ActivationMessage::isValidPath(payload, limits))
            return false;
        message.files.emplace_back(std::string(payload));
        return true;
    default:
        return false;
    }
}

// Walks the records of a message whose every byte has arrived; fills `message`.
bool parseRecords(std::string_view bytes, const Limits& limits, ActivationMessage& message)
{
    std::size_t offset = prefixSize;
    while (true) {
        const std::string_view rest = bytes.substr(offset);
        if (rest.size() < headerSize)
            return false;
        const char kind = rest.front();
        const std::uint64_t length = readNumber(rest, 1, 4);
        const bool isFirst = offset == prefixSize;
        if (kind == 'e')
            return !isFirst && length == 0 && rest.size() == headerSize;
        if (isFirst != (kind == 'i') || rest.size() - headerSize < length)
            return false;
        if (!takeRecord(kind, rest.substr(headerSize, length), limits, message))
            return false;
        offset += headerSize + length;
    }
}

} // namespace

bool ActivationMessage::isValidToken(std::string_view token, const Limits& within)
{
    return !token.empty() && token.size() <= within.tokenLength
        && std::all_of(token.begin(), token.end(), [](char c) { return c > 0x20 && c < 0x7f; });
}

bool ActivationMessage::isValidPath(std::string_view path, const Limits& within)
{
    return !path.empty() && path.size() <= within.pathLength && path.front() == '/'
        && path.find('\0') == std::string_view::npos;
}

ActivationMessage::Parts ActivationMessage::split(std::vector<FileURL> files, const std::string& activationToken,
    std::uint64_t id, const Limits& within, std::uint32_t firstPart)
{
    Parts parts;
    ActivationMessage current { {}, isValidToken(activationToken, within) ? activationToken : std::string(), id, firstPart };
    std::size_t size = fixedSize(current);
    for (FileURL& file : files) {
        const std::size_t record = headerSize + file.path().size();
        if (!isValidPath(file.path(), within)) {
            parts.leftOut.push_back(std::move(file));
            continue;
        }
        if (!current.files.empty() && (current.files.size() == within.files || size + record > within.size)) {
            const std::uint32_t next = current.part + 1;
            parts.messages.push_back(std::move(current));
            current = ActivationMessage { {}, {}, id, next };
            size = fixedSize(current);
        }
        size += record;
        current.files.push_back(std::move(file));
    }
    parts.messages.push_back(std::move(current));
    return parts;
}

std::string ActivationMessage::encoded() const
{
    std::string out(magic);
    appendNumber(out, 0, 4); // the total, filled in below
    std::string id;
    appendNumber(id, handOver, 8);
    appendNumber(id, part, 4);
    appendRecord(out, 'i', id);
    if (isValidToken(activationToken))
        appendRecord(out, 't', activationToken);
    for (const FileURL& file : files)
        appendRecord(out, 'f', file.path());
    appendRecord(out, 'e', {});
    std::string total;
    appendNumber(total, out.size(), 4);
    out.replace(magic.size(), 4, total);
    return out;
}

ActivationMessage::Completeness ActivationMessage::check(std::string_view start, std::size_t received, const Limits& within)
{
    if (!magic.starts_with(start.substr(0, magic.size())))
        return Completeness::invalid;
    if (start.size() < prefixSize || received < prefixSize)
        return Completeness::incomplete;
    const std::size_t total = readNumber(start, magic.size(), 4);
    if (total < prefixSize + headerSize || total > within.size || received > total)
        return Completeness::invalid;
    return received < total ? Completeness::incomplete : Completeness::complete;
}

std::optional<ActivationMessage> ActivationMessage::decode(std::string_view bytes, const Limits& within)
{
    ActivationMessage message;
    if (check(bytes, bytes.size(), within) != Completeness::complete || !parseRecords(bytes, within, message))
        return std::nullopt;
    return message;
}

} // namespace lh
