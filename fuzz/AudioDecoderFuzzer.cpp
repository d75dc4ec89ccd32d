#include "AudioDecoder.h"
#include "AudioPlaying.h"
#include "FilePlayer.h"
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
#include <memory>
#include <string>
#include <vector>

namespace {

// Enough for every seed (a fraction of a second each) to be decoded to its end, few enough
// that a file claiming hours of audio does not slow the run down.
constexpr int maxBlocks = 512;
constexpr int deviceFrames = 1024;

void play(const lh::FileURL& url)
{
    auto decoder = std::make_unique<lh::AudioDecoder>(url);
    decoder->setOutputChannels(2);
    for (int block = 0; block < maxBlocks && !decoder->decode().samples.empty(); ++block) { }
    decoder->seek(decoder->length() / 2);
    (void)decoder->decode();
    decoder->seek(0);
    // Loaded the way the engine loads it: the queue and the meter's history are sized from
    // the file's format, and the device's thread takes frames while the decoder fills them in.
    lh::FilePlayer player(std::move(decoder), deviceFrames, nullptr);
    player.setIsPlaying(true);
    std::vector<float> out(deviceFrames * 2);
    for (int i = 0; i < 4; ++i)
        player.render(out.data(), deviceFrames, 1.0f);
    player.seek(player.length() - 1);
    player.render(out.data(), deviceFrames, 1.0f);
}

} // namespace

// Audio files come from anywhere and are decoded with FFmpeg. The first byte picks the
// extension, as in the track information target, so the same seeds serve both.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto& extensions = lh::SupportedAudio::fileExtensions;
    if (size < 1)
        return 0;
    av_log_set_level(AV_LOG_QUIET);
    // libavformat allocates what a chunk header claims before reading the chunk (a WAV INFO
    // tag of 2 GB in a 200-byte file): address space in the player, but memory under ASan.
    av_max_alloc(64 * 1024 * 1024);
    const std::string path = "/tmp/fuzz_audio_decoder_" + std::to_string(::getpid()) + "." + std::string(extensions[data[0] % extensions.size()]);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return 0;
    std::fwrite(data + 1, 1, size - 1, file);
    std::fclose(file);
    try {
        play(lh::FileURL(path));
    } catch (const lh::AudioLoadError&) {
        // Refused: what the player does with such a file too.
    }
    ::unlink(path.c_str());
    return 0;
}
