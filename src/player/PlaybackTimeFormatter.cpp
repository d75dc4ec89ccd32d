#include "PlaybackTimeFormatter.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace lh {

QString PlaybackTimeFormatter::string(double seconds)
{
    // Values beyond the 64-bit range cannot be truncated into it; they are no real time either.
    constexpr double limit = 9.2e18;
    if (!std::isfinite(seconds) || seconds < 0 || seconds >= limit)
        return QStringLiteral("0:00");
    const auto whole = static_cast<std::int64_t>(seconds);
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

} // namespace lh
