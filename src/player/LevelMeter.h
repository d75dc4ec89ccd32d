#pragma once

namespace lh {

// The meter rule for one channel: −50 dB and below show nothing, 0 dB and above fill the
// meter, linear in between. A level rises at once and falls by at most `fallPerTick` per
// tick, so at twenty ticks a second a full meter empties in 1.25 seconds.
struct LevelMeter {
    static constexpr float floorDecibels = -50.0f;
    static constexpr double fallPerTick = 0.04;

    // The level that `power` (dBFS; −∞ for silence or no file) asks for, 0…1.
    static double target(float power) noexcept;

    // The level to show after `previous`, given this tick's `power`.
    static double next(double previous, float power) noexcept;
};

} // namespace lh
