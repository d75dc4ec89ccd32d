#pragma once

#include <QString>

namespace lh {

// Elapsed and remaining times as the display and the playlist show them: minutes and
// two-digit seconds, minutes never folded into hours ("62:05").
struct PlaybackTimeFormatter {
    // "0:00" for negative, NaN or infinite values; fractions of a second are cut off.
    static QString string(double seconds);
};

} // namespace lh
