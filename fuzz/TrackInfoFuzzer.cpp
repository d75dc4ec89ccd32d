#include "FuzzedAudioFile.h"
#include "MediaTrackInfoReader.h"

#include <cstddef>
#include <cstdint>

// Audio files come from anywhere; their tags and headers are read with TagLib and
// libavformat.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const FuzzedAudioFile file("fuzz_track_info", data, size);
    if (!file.exists())
        return 0;
    const lh::MediaTrackInfoReader reader;
    (void)reader.readStream(file.url());
    (void)reader.readInfo(file.url(), file.url());
    return 0;
}
