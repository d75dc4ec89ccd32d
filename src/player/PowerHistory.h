#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lh {

// The power of the frames handed to the device over the last stretch of time, for the level
// meter. Only sums of squares per chunk of `chunkFrames` frames are kept, not the frames: the
// meter reads about 50 ms twenty times a second, while frames go by 44,100 or more a second,
// and writing each one out again into a history cost the device's thread more than the rest
// of its work. A window is read in whole chunks, so it may be up to a chunk short of the one
// asked for.
//
// Chunks are counted from the first frame of a run (the load, a seek): a run handed in
// blocks of any size gives the same chunks. Not thread-safe: its owner adds and reads under
// one lock.
class PowerHistory {
public:
    static constexpr std::int64_t chunkFrames = 64;

    // Keeps at least `frames` frames' worth of chunks.
    explicit PowerHistory(std::size_t frames);

    // Starts a new run at `frame`: nothing before it is remembered.
    void restart(std::int64_t frame);
    // Adds `frames` interleaved frames of `channels` channels, the first numbered `first`;
    // channel 0 is the left, channel 1 (or 0 when mono) the right. Frames that do not follow on
    // from the last ones added start a new run.
    void add(const float* samples, std::size_t frames, int channels, std::int64_t first);
    // The frame after the newest added.
    std::int64_t end() const noexcept { return end_; }

    // Mean square per channel of the chunks ending at or before `end` (the newest chunk also
    // while it is still being filled, when `end` is at the newest frame), about `frames` long;
    // the frames count is 0 when nothing that old is remembered.
    struct Power {
        double left = 0;
        double right = 0;
        std::int64_t frames = 0;
    };
    Power power(std::int64_t end, std::int64_t frames) const;

private:
    struct Chunk {
        double left = 0;
        double right = 0;
    };

    Chunk& chunk(std::int64_t index);
    const Chunk& chunk(std::int64_t index) const;

    std::vector<Chunk> chunks_; // a ring
    std::int64_t start_ = 0; // the run's first frame
    std::int64_t end_ = 0;
};

} // namespace lh
