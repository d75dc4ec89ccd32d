#pragma once

#include "SliderCell.h"

namespace lh {

// The volume slider: a thin grey groove with a highlight under it, and a round gel knob.
class VolumeSliderCell : public SliderCell {
public:
    VolumeSliderCell();
    void drawInterior(QPainter& painter, const QRectF& frame, double fraction) const override;
};

} // namespace lh
