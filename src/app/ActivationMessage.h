#pragma once

#include "FileURL.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lh {

// What a second launch of the player hands to the running one: the files it was asked to open
// and the desktop's activation token, so the running player may raise its window.
//
// Wire format (all lengths big-endian 32-bit):
//   "LARKHVN1"                       magic and version, 8 bytes
//   <length>                         of the whole message, these 12 bytes included
//   't' <length> <token bytes>       optional, at most once, printable ASCII, ≤ 1 KiB
//   'f' <length> <path bytes>        zero or more: an absolute path, no NUL, ≤ 4 KiB
//   'e' 0                            end
// A message is at most `maximumSize` bytes and names at most `maximumFiles` files. Anything
// else — a wrong magic, an unknown or repeated record, an over-long field, bytes after the end —
// makes the whole message invalid: a peer that writes it is not a launch of this player.
struct ActivationMessage {
    std::vector<FileURL> files;
    std::string activationToken;

    static constexpr std::size_t maximumSize = 64u << 20;
    static constexpr std::size_t maximumFiles = 100'000;
    static constexpr std::size_t maximumPathLength = 4096;
    static constexpr std::size_t maximumTokenLength = 1024;

    std::string encoded() const;

    enum class Completeness { incomplete, complete, invalid };
    // Whether `received` bytes, of which `start` are the first (at least 12 of them when there
    // are that many), are as long as the message says (then `decode` them), a beginning of one,
    // or can never become one. Reads only the first 12 bytes.
    static Completeness check(std::string_view start, std::size_t received);
    // The message in `bytes`; nothing unless `bytes` hold exactly one whole valid message.
    static std::optional<ActivationMessage> decode(std::string_view bytes);

    bool operator==(const ActivationMessage&) const = default;
};

} // namespace lh
