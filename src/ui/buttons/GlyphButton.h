#pragma once

#include "Glyph.h"
#include "LeopardButton.h"

namespace lh {

// A button that shows one of the window's glyphs.
class GlyphButton : public LeopardButton {
public:
    explicit GlyphButton(Glyph glyph, QWidget* parent = nullptr);

    Glyph glyph() const { return glyph_; }
    void setGlyph(Glyph glyph);

private:
    Glyph glyph_;
};

} // namespace lh
