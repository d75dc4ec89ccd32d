#include "LevelMeter.h"

#include <algorithm>

namespace lh {

double LevelMeter::target(float power) noexcept
{
    if (power < floorDecibels) // also −∞; NaN falls through to the full meter below
        return 0;
    if (!(power < 0.0f))
        return 1;
    return static_cast<double>((power - floorDecibels) / -floorDecibels);
}

double LevelMeter::next(double previous, float power) noexcept
{
    return std::max(target(power), previous - fallPerTick);
}

} // namespace lh
