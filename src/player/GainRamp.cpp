#include "GainRamp.h"

#include <span>

namespace lh {

void GainRamp::jumpTo(float factor) noexcept
{
    current_ = factor;
    target_ = factor;
    rampLeft_ = 0;
}

void GainRamp::rampTo(float factor, int frames) noexcept
{
    if (frames <= 0 || factor == current_) {
        jumpTo(factor);
        return;
    }
    target_ = factor;
    rampLeft_ = frames;
    step_ = (factor - current_) / static_cast<float>(frames);
}

void GainRamp::apply(float* samples, std::size_t frames, int channels) noexcept
{
    const auto width = static_cast<std::size_t>(channels);
    std::size_t frame = 0;
    for (; rampLeft_ > 0 && frame < frames; ++frame, --rampLeft_) {
        current_ += step_;
        for (float& sample : std::span(samples + frame * width, width))
            sample *= current_;
    }
    if (rampLeft_ == 0)
        current_ = target_; // no rounding left over from the steps
    if (current_ == 1.0f)
        return; // Off, and every untagged file: nothing to do
    for (float& sample : std::span(samples + frame * width, (frames - frame) * width))
        sample *= current_;
}

} // namespace lh
