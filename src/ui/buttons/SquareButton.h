#pragma once

#include "GlyphButton.h"

namespace lh {

// A small square button of the bottom bar. `isOn` shows a switched-on setting (shuffle, repeat)
// by drawing the glyph in the accent colour; a click does not change it, the owner does.
class SquareButton : public GlyphButton {
public:
    using GlyphButton::GlyphButton;

    bool isOn() const { return isOn_; }
    // Redraws only when the value changes.
    void setOn(bool on);

    // The glyph's rect: 12 × 8 for shuffle and repeat, 8 × 8 for the others, centred on whole
    // points. It stays put while pressed.
    QRectF glyphRect() const;

    void paint(QPainter& painter) const override;

private:
    bool isOn_ = false;
};

} // namespace lh
