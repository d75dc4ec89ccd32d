#include "PowerHistory.h"

#include <algorithm>
#include <utility>

namespace lh {
namespace {

// Sums of squares of the left and right channels, in single precision over at most a chunk.
// Stereo, by far the most common, is summed in eight independent lanes the compiler turns into
// one vector operation.
std::pair<float, float> sumSquares(const float* samples, std::size_t frames, std::size_t channels)
{
    std::size_t frame = 0;
    float lanes[8] {};
    if (channels == 2) {
        for (; frame + 4 <= frames; frame += 4) {
            const float* block = samples + 2 * frame;
            for (std::size_t lane = 0; lane < 8; ++lane)
                lanes[lane] += block[lane] * block[lane];
        }
    }
    const std::size_t right = channels > 1 ? 1 : 0;
    for (; frame < frames; ++frame) {
        const float* at = samples + frame * channels;
        lanes[0] += at[0] * at[0];
        lanes[1] += at[right] * at[right];
    }
    return { lanes[0] + lanes[2] + lanes[4] + lanes[6], lanes[1] + lanes[3] + lanes[5] + lanes[7] };
}

} // namespace

PowerHistory::PowerHistory(std::size_t frames)
    : chunks_((frames + chunkFrames - 1) / chunkFrames + 1)
{
}

void PowerHistory::restart(std::int64_t frame)
{
    start_ = frame;
    end_ = frame;
}

PowerHistory::Chunk& PowerHistory::chunk(std::int64_t index)
{
    return chunks_[static_cast<std::size_t>(index) % chunks_.size()];
}

const PowerHistory::Chunk& PowerHistory::chunk(std::int64_t index) const
{
    return chunks_[static_cast<std::size_t>(index) % chunks_.size()];
}

void PowerHistory::add(const float* samples, std::size_t frames, int channels, std::int64_t first)
{
    if (first != end_)
        restart(first);
    const auto width = static_cast<std::size_t>(channels);
    std::size_t done = 0;
    while (done < frames) {
        const std::int64_t offset = end_ - start_;
        const std::int64_t within = offset % chunkFrames;
        Chunk& sums = chunk(offset / chunkFrames);
        if (within == 0)
            sums = {};
        const std::size_t count = std::min(frames - done, static_cast<std::size_t>(chunkFrames - within));
        const auto [left, right] = sumSquares(samples + done * width, count, width);
        sums.left += left;
        sums.right += right;
        done += count;
        end_ += static_cast<std::int64_t>(count);
    }
}

PowerHistory::Power PowerHistory::power(std::int64_t end, std::int64_t frames) const
{
    end = std::min(end, end_);
    if (end <= start_)
        return {};
    // Chunks [first, last) from the run's start; the newest one counts whole only once full,
    // or when it ends at `end`.
    const std::int64_t last = end == end_ ? (end - start_ + chunkFrames - 1) / chunkFrames : (end - start_) / chunkFrames;
    const std::int64_t newest = (end_ - start_ - 1) / chunkFrames;
    const std::int64_t oldest = std::max<std::int64_t>(newest - static_cast<std::int64_t>(chunks_.size()) + 1, 0);
    const std::int64_t wanted = std::max<std::int64_t>((frames + chunkFrames / 2) / chunkFrames, 1);
    const std::int64_t first = std::max(last - wanted, oldest);
    if (last <= first)
        return {};
    Power power;
    for (std::int64_t index = first; index < last; ++index) {
        power.left += chunk(index).left;
        power.right += chunk(index).right;
    }
    const std::int64_t to = std::min(start_ + last * chunkFrames, end_);
    power.frames = to - (start_ + first * chunkFrames);
    power.left /= static_cast<double>(power.frames);
    power.right /= static_cast<double>(power.frames);
    return power;
}

} // namespace lh
