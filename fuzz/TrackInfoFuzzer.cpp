#include "MediaTrackInfoReader.h"
#include "SupportedAudio.h"

extern "C" {
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Audio files come from anywhere; their tags and headers are read with TagLib and
// libavformat. The first byte picks the extension, which decides how the tags are read (an
// index into the supported extensions: new ones go at the end, so the seeds keep theirs).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto& extensions = lh::SupportedAudio::fileExtensions;
    if (size < 1)
        return 0;
    av_log_set_level(AV_LOG_QUIET);
    // libavformat allocates what a chunk header claims before it reads the chunk (an AIFF
    // NAME of 750 MB in a 50-byte file). Untouched, that costs the player address space, not
    // memory, but under ASan it counts against the fuzzer's memory limit.
    av_max_alloc(64 * 1024 * 1024);
    const std::string path = "/tmp/fuzz_track_info_" + std::to_string(::getpid()) + "." + std::string(extensions[data[0] % extensions.size()]);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return 0;
    std::fwrite(data + 1, 1, size - 1, file);
    std::fclose(file);

    const lh::FileURL url(path);
    const lh::MediaTrackInfoReader reader;
    (void)reader.readStream(url);
    (void)reader.readInfo(url, url);
    ::unlink(path.c_str());
    return 0;
}
