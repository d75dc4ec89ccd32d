#pragma once

#include <QRectF>

class QPainter;

namespace lh {

// The look of a `LeopardSlider`: where its track lies and how its track and knob are drawn. The
// slider owns the value; a cell only draws what it is handed.
class SliderCell {
public:
    SliderCell(double knobSize, double trackHeight);
    virtual ~SliderCell() = default;

    double knobSize() const { return knobSize_; }
    double trackHeight() const { return trackHeight_; }

    // The track inside `bounds`: inset by half a knob at each end, so the knob's centre never
    // leaves the bounds, and vertically centred on a whole point.
    QRectF trackRect(const QRectF& bounds) const;

    // Draws the track and the knob at `fraction` (0…1) of the track inside `frame`.
    virtual void drawInterior(QPainter& painter, const QRectF& frame, double fraction) const = 0;

private:
    double knobSize_;
    double trackHeight_;
};

// How far `value` lies from `minimum` towards `maximum`; 0 when the range is empty.
double fraction(double value, double minimum, double maximum);

} // namespace lh
