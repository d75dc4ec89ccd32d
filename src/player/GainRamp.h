#pragma once

#include <cstddef>

namespace lh {

// A loudness correction applied to interleaved float frames on their way to the device. A
// new factor is either taken at once (a new file, a join: the music itself changes there) or
// reached over a short ramp, so a change in the middle of a file is not heard as a click.
// Not thread-safe: its owner applies and changes it under one lock.
class GainRamp {
public:
    explicit GainRamp(float factor = 1)
        : current_(factor)
        , target_(factor)
    {
    }

    float target() const noexcept { return target_; }

    void jumpTo(float factor) noexcept;
    // Reaches `factor` after `frames` frames have been applied.
    void rampTo(float factor, int frames) noexcept;
    void apply(float* samples, std::size_t frames, int channels) noexcept;

private:
    float current_;
    float target_;
    float step_ = 0; // per frame, while ramping
    int rampLeft_ = 0; // frames
};

} // namespace lh
