#include "MediaFile.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
}

#include <string>

namespace lh {
namespace {

std::string errorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

} // namespace

MediaFile::MediaFile(const FileURL& url)
{
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    av_dict_set(&options, "format_whitelist", allowedDemuxers, 0);
    // "file:" keeps a path with a colon from being read as another protocol.
    const std::string location = "file:" + url.path();
    const int result = avformat_open_input(&context_, location.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (result < 0) {
        context_ = nullptr; // freed by libavformat on failure
        throw MediaOpenError("cannot open " + url.path() + ": " + errorText(result));
    }
}

MediaFile::~MediaFile()
{
    avformat_close_input(&context_);
}

} // namespace lh
