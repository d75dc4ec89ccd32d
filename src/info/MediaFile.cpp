#include "MediaFile.h"

#include "FileSystem.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/avstring.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
}

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace lh {
namespace {

std::string errorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// The length of an ID3v2 tag at the start of the file, header and footer included; 0 when the
// file does not start with one.
std::int64_t leadingTagLength(int file)
{
    std::array<unsigned char, 10> header {};
    if (::pread(file, header.data(), header.size(), 0) != static_cast<ssize_t>(header.size()))
        return 0;
    const bool isTag = header[0] == 'I' && header[1] == 'D' && header[2] == '3' && header[3] != 0xff
        && header[4] != 0xff && !((header[6] | header[7] | header[8] | header[9]) & 0x80);
    if (!isTag)
        return 0;
    const std::int64_t size = header[6] << 21 | header[7] << 14 | header[8] << 7 | header[9];
    const bool hasFooter = header[5] & 0x10;
    return 10 + size + (hasFooter ? 10 : 0);
}

// libavformat picks a demuxer by running every one it has over a buffer that doubles until it
// reaches past a leading ID3v2 tag: behind a large cover that costs tens of milliseconds. For
// such a file one probe over the bytes after the tag finds the same demuxer; null elsewhere,
// and whenever that probe is unsure or names a demuxer the player does not allow.
const AVInputFormat* demuxerBehindLargeTag(const std::string& path)
{
    constexpr std::int64_t largeTag = 32 * 1024;
    constexpr int probeBytes = 4096;
    const int file = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (file < 0)
        return nullptr;
    const std::int64_t tagLength = leadingTagLength(file);
    std::vector<unsigned char> buffer(probeBytes + AVPROBE_PADDING_SIZE, 0);
    const ssize_t count = tagLength >= largeTag ? ::pread(file, buffer.data(), probeBytes, tagLength) : 0;
    ::close(file);
    if (count <= 0)
        return nullptr;
    AVProbeData probe {};
    probe.filename = path.c_str();
    probe.buf = buffer.data();
    probe.buf_size = static_cast<int>(count);
    int score = 0;
    const AVInputFormat* format = av_probe_input_format3(&probe, 1, &score);
    if (!format || score <= AVPROBE_SCORE_RETRY || av_match_list(format->name, MediaFile::allowedDemuxers, ',') <= 0)
        return nullptr;
    return format;
}

int openInput(AVFormatContext** context, const std::string& location, const AVInputFormat* format)
{
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    av_dict_set(&options, "format_whitelist", MediaFile::allowedDemuxers, 0);
    const int result = avformat_open_input(context, location.c_str(), format, &options);
    av_dict_free(&options);
    if (result < 0)
        *context = nullptr; // freed by libavformat on failure
    return result;
}

} // namespace

MediaFile::MediaFile(const FileURL& url)
{
    // libavformat opens without O_NONBLOCK: a FIFO named like audio would hold the caller (the
    // main thread, when it plays) until something writes to it.
    if (!FileSystem::isRegularFile(url.path()))
        throw MediaOpenError("cannot open " + url.path() + ": not a regular file");
    // "file:" keeps a path with a colon from being read as another protocol.
    const std::string location = "file:" + url.path();
    int result = -1;
    if (const AVInputFormat* format = demuxerBehindLargeTag(url.path()))
        result = openInput(&context_, location, format);
    if (result < 0)
        result = openInput(&context_, location, nullptr);
    if (result < 0)
        throw MediaOpenError("cannot open " + url.path() + ": " + errorText(result));
}

MediaFile::~MediaFile()
{
    avformat_close_input(&context_);
}

} // namespace lh
