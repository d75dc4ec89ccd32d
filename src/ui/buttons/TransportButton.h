#pragma once

#include "GlyphButton.h"

namespace lh {

// A round transport button: a dark bezel ring around a gel cap, with a light edge below it.
// Made one point taller than wide; the extra point holds that edge.
class TransportButton : public GlyphButton {
public:
    using GlyphButton::GlyphButton;

    // The button's circle: as wide as fits both the width and the height less one point,
    // centred horizontally, at the top.
    QRectF circle() const;

    // Where the glyph is drawn in `circle`, on whole points; one point lower while pressed.
    QRectF glyphRect(const QRectF& circle) const;

    void paint(QPainter& painter) const override;
};

} // namespace lh
