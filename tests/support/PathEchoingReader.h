#pragma once

// Header only: its users link the info library, which the support library does not.
#include "TrackInfoReading.h"

#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace lh::test {

// Answers with the length of the file's path as its duration and the path as its album, so
// every result names its file; the `unreadable` paths read as nothing, as the real reader's
// missing and non-audio files do.
class PathEchoingReader final : public TrackInfoReading {
public:
    TrackInfo readInfo(const FileURL& url, const FileURL& file) const override
    {
        record(file);
        TrackInfo info = TrackInfo::placeholder(url);
        info.isLoading = false;
        if (!unreadable.contains(file.path())) {
            info.album = QString::fromStdString(file.path());
            info.duration = static_cast<double>(file.path().size());
        }
        return info;
    }
    StreamInfo readStream(const FileURL& file) const override
    {
        record(file);
        if (unreadable.contains(file.path()))
            return {};
        return StreamInfo { static_cast<double>(file.path().size()), {}, {}, {} };
    }
    MediaTags readTags(const FileURL& url, const FileURL& file) const override
    {
        record(file);
        MediaTags tags;
        tags.url = url;
        if (!unreadable.contains(file.path())) {
            tags.album = QString::fromStdString(file.path());
            tags.artwork = QByteArray("picture");
        }
        return tags;
    }
    std::vector<std::string> filesRead() const
    {
        std::lock_guard lock(mutex_);
        return filesRead_;
    }
    std::set<std::string> unreadable; // paths

private:
    void record(const FileURL& file) const
    {
        std::lock_guard lock(mutex_);
        filesRead_.push_back(file.path());
    }
    mutable std::mutex mutex_;
    mutable std::vector<std::string> filesRead_;
};

} // namespace lh::test
