#pragma once

#include "FileURL.h"

#include <memory>
#include <stdexcept>

struct AVFormatContext;

namespace lh {

class MediaOpenError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An audio file opened by libavformat the only way the player opens one: through the "file"
// protocol alone and with the demuxers of the supported formats alone, so a crafted file that
// is really a playlist (hls, concat) can never make the player read other files or the network.
class MediaFile {
public:
    // Opens and reads the header; throws MediaOpenError with FFmpeg's reason, or when the path
    // is no regular file (a FIFO is never waited on). Blocking: call it off the main thread.
    explicit MediaFile(const FileURL& url);
    ~MediaFile();

    MediaFile(const MediaFile&) = delete;
    MediaFile& operator=(const MediaFile&) = delete;

    AVFormatContext* context() const noexcept { return context_; }

    // The demuxers allowed, as libavformat names them.
    static constexpr const char* allowedDemuxers = "mp3,wav,aiff,mov,aac,flac,ogg,matroska,wv,ape,tak,tta,mpc,mpc8,asf";

private:
    AVFormatContext* context_ = nullptr;
};

} // namespace lh
