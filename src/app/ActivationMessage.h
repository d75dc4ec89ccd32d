#pragma once

#include "FileURL.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lh {

// The bounds of one activation message, the one statement of them for the writer and the reader.
struct ActivationLimits {
    std::size_t size = 64u << 20; // bytes of one message
    std::size_t files = 100'000; // in one message
    std::size_t pathLength = 4096;
    std::size_t tokenLength = 1024;
};

// What a second launch of the player hands to the running one: the files it was asked to open
// and the desktop's activation token, so the running player may raise its window.
//
// Wire format (all numbers big-endian, lengths 32-bit):
//   "LARKHVN2"                       magic and version, 8 bytes
//   <length>                         of the whole message, these 12 bytes included
//   'i' 12 <hand-over 8> <part 4>    first and exactly once
//   't' <length> <token bytes>       optional, at most once, printable ASCII, ≤ 1 KiB
//   'f' <length> <path bytes>        zero or more: an absolute path, no NUL, ≤ 4 KiB
//   'e' 0                            end
// A message stays within `limits`. Anything else — a wrong magic, an unknown or repeated
// record, an over-long field, bytes after the end — makes the whole message invalid: a peer
// that writes it is not a launch of this player.
//
// One launch is one hand-over: a random id and its parts, numbered from 0, each a message of its
// own. The reader remembers what it has taken, so a part sent again is not opened twice.
// A launch that only adds its files (--enqueue) numbers its parts from 1: it has nothing to open,
// so the format needs no record for it, and a running player of an earlier version, which knows
// no such option, adds them all the same.
struct ActivationMessage {
    std::vector<FileURL> files;
    std::string activationToken;
    std::uint64_t handOver = 0;
    std::uint32_t part = 0; // 0 opens its files; a later part adds its files behind the earlier ones

    using Limits = ActivationLimits;
    static constexpr Limits limits {};
    static constexpr std::uint32_t openingPart = 0;
    static constexpr std::uint32_t firstAddingPart = 1;

    static bool isValidToken(std::string_view token, const Limits& within = limits);
    static bool isValidPath(std::string_view path, const Limits& within = limits);

    // A launch's files and token as the messages of hand-over `id`, each within the limits, the
    // files in order, the parts numbered from `firstPart` (openingPart or firstAddingPart). A
    // token the reader would refuse is left out (it only lets the window come to the front); a
    // file it would refuse goes to `leftOut`. At least one part, even without files: that one
    // asks the running player to show its window.
    struct Parts {
        std::vector<ActivationMessage> messages;
        std::vector<FileURL> leftOut;
    };
    static Parts split(std::vector<FileURL> files, const std::string& activationToken, std::uint64_t id,
        const Limits& within = limits, std::uint32_t firstPart = openingPart);

    // The bytes of this message; a token the reader would refuse is left out. The files must
    // be within the limits (`split` sees to that).
    std::string encoded() const;

    enum class Completeness { incomplete, complete, invalid };
    // Whether `received` bytes, of which `start` are the first (at least 12 of them when there
    // are that many), are as long as the message says (then `decode` them), a beginning of one,
    // or can never become one. Reads only the first 12 bytes.
    static Completeness check(std::string_view start, std::size_t received, const Limits& within = limits);
    // The message in `bytes`; nothing unless `bytes` hold exactly one whole valid message.
    static std::optional<ActivationMessage> decode(std::string_view bytes, const Limits& within = limits);

    bool operator==(const ActivationMessage&) const = default;
};

} // namespace lh
