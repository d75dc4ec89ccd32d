#pragma once

#include "FileURL.h"
#include "MediaTags.h"
#include "SharedValue.h"
#include "TagName.h"

#include <optional>
#include <unordered_map>

namespace lh {

// The playlist files' tag names while the user asks for tag titles. Two parts, like a row's
// duration: what the metadata cache knew, looked up in the background and set whole (a million
// rows' worth), and what this run's reads learned, few and edited as they arrive, which wins.
struct TagNames {
    using Map = std::unordered_map<FileURL, std::optional<TagName>>; // none: the tags hold no title

    SharedValue<Map> known;
    SharedValue<Map> read;

    // The name the file at `url` goes by, or null for its file name.
    const TagName* find(const FileURL& url) const;

    // What `tags` name a file: their title with their artists, or none without a title.
    static std::optional<TagName> of(const MediaTags& tags);

    bool operator==(const TagNames&) const = default;
};

} // namespace lh
