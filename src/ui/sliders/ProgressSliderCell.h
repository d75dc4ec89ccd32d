#pragma once

#include "SliderCell.h"

namespace lh {

// The LCD's seek slider: a light rounded track whose played part is dark, and a diamond knob.
class ProgressSliderCell : public SliderCell {
public:
    ProgressSliderCell();
    void drawInterior(QPainter& painter, const QRectF& frame, double fraction) const override;
};

} // namespace lh
