#pragma once

#include "FileURL.h"

#include <QByteArray>

#include <cstdint>
#include <mutex>
#include <optional>

namespace lh {

// Cover pictures handed to the desktop by file URL, one file per distinct picture.
//
// A picture is named by the SHA-256 of its bytes plus an extension for its image type, so the
// tracks of one album share one file and no index is kept. Pictures live in a folder of their
// own inside the audio cache's folder, which the audio cache neither counts nor evicts; this
// cache keeps the same rules for it: written under "<name>.partial" and renamed when whole,
// least recently used first out once the count or size limit is passed, the one just handed
// out spared. Nothing is touched until the first picture is stored.
//
// Blocking: call off the main thread. Safe to call from several threads.
class CoverArtCache {
public:
    static constexpr int defaultMaximumCount = 64;
    static constexpr std::int64_t defaultMaximumBytes = 64 * 1024 * 1024;

    explicit CoverArtCache(FileURL folder, int maximumCount = defaultMaximumCount,
        std::int64_t maximumBytes = defaultMaximumBytes);

    // The file holding `image`, written when it is not there yet; nothing when the bytes are
    // not a picture type desktops can show (JPEG, PNG, GIF, WebP, BMP), are larger than the
    // size limit, or cannot be written.
    std::optional<FileURL> store(const QByteArray& image);

    const FileURL& folder() const noexcept { return folder_; }

private:
    std::optional<FileURL> write(const QByteArray& image, const std::string& name);
    void evict(const std::string& keeping) const;

    const FileURL folder_;
    const int maximumCount_;
    const std::int64_t maximumBytes_;
    std::mutex lock_; // one writer at a time, so eviction never sees another's partial file
};

} // namespace lh
