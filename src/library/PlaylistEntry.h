#pragma once

#include "FileURL.h"
#include "PlaylistFile.h"

#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace lh {

// One entry of a playlist file turned into the local file it names. Lists travel between
// systems and players, so an entry may be a plain path, a file URL, a Windows path or a
// stream's URL; each is told apart here, without touching the disk.
class PlaylistEntry {
public:
    using Resolved = std::variant<FileURL, PlaylistFile::SkipReason>;

    // An M3U line or a PLS value: a path (absolute, relative to `folder`, or Windows-style) or
    // a URL. `folder` is the list's folder, absolute.
    static Resolved fromLine(std::string_view text, const std::string& folder);

    // An XSPF location: a URI reference, resolved against `base` (a local path whose last
    // component is dropped, as a URI base's is), or nothing when the base is not a local file.
    static Resolved fromURI(std::string_view text, const std::optional<std::string>& base);

    // An xml:base value resolved against the base in effect around it; nothing when it names
    // no local file.
    static std::optional<std::string> resolveBase(std::string_view text, const std::optional<std::string>& base);

    // Adds the entry to `contents`, or what the list wrote, when it names no file, to the
    // skipped ones.
    static void addTo(PlaylistFile::Contents& contents, std::string_view text, Resolved resolved);

    static std::string_view trimmed(std::string_view text);
    static bool isValidUtf8(std::string_view text);
};

} // namespace lh
