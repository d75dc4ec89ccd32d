#include "SliderCell.h"

#include <cmath>

namespace lh {

SliderCell::SliderCell(double knobSize, double trackHeight)
    : knobSize_(knobSize)
    , trackHeight_(trackHeight)
{
}

QRectF SliderCell::trackRect(const QRectF& bounds) const
{
    return { bounds.left() + knobSize_ / 2, std::round(bounds.center().y() - trackHeight_ / 2),
        bounds.width() - knobSize_, trackHeight_ };
}

double fraction(double value, double minimum, double maximum)
{
    if (!(maximum > minimum))
        return 0;
    return (value - minimum) / (maximum - minimum);
}

} // namespace lh
