#pragma once

#include "FileURL.h"
#include "SupportedAudio.h"

extern "C" {
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// A fuzzer's input as an audio file on disk, removed again at the end of the run. The first
// byte picks the extension, which decides how the file is opened: an index into the supported
// extensions (new ones go at the end, so the seeds keep theirs, and one seed serves every
// target that reads audio files).
class FuzzedAudioFile {
public:
    FuzzedAudioFile(const char* target, const std::uint8_t* data, std::size_t size)
    {
        const auto& extensions = lh::SupportedAudio::fileExtensions;
        if (size < 1)
            return;
        av_log_set_level(AV_LOG_QUIET);
        // libavformat allocates what a chunk header claims before it reads the chunk (a WAV
        // INFO tag of 2 GB in a 200-byte file). Untouched, that costs the player address space,
        // not memory, but under ASan it counts against the fuzzer's memory limit.
        av_max_alloc(64 * 1024 * 1024);
        const std::string path = "/tmp/" + std::string(target) + "_" + std::to_string(::getpid()) + "."
            + std::string(extensions[data[0] % extensions.size()]);
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (!file)
            return;
        std::fwrite(data + 1, 1, size - 1, file);
        std::fclose(file);
        path_ = path;
    }
    ~FuzzedAudioFile()
    {
        if (!path_.empty())
            ::unlink(path_.c_str());
    }
    FuzzedAudioFile(const FuzzedAudioFile&) = delete;
    FuzzedAudioFile& operator=(const FuzzedAudioFile&) = delete;

    // False for an empty input, or where the file could not be written: nothing to read then.
    bool exists() const { return !path_.empty(); }
    lh::FileURL url() const { return lh::FileURL(path_); }

private:
    std::string path_;
};
