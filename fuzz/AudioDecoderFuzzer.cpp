#include "AudioDecoder.h"
#include "AudioPlaying.h"
#include "FilePlayer.h"
#include "FuzzedAudioFile.h"

#include <cstddef>
#include <cstdint>
#include <memory>
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
    (void)player.levels(); // the meter reads what was handed, whatever the file held
    player.seek(player.length() - 1);
    player.render(out.data(), deviceFrames, 1.0f);
    (void)player.levels();
}

} // namespace

// Audio files come from anywhere and are decoded with FFmpeg.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const FuzzedAudioFile file("fuzz_audio_decoder", data, size);
    if (!file.exists())
        return 0;
    try {
        play(file.url());
    } catch (const lh::AudioLoadError&) {
        // Refused: what the player does with such a file too.
    }
    return 0;
}
