#include "GlyphButton.h"

namespace lh {

GlyphButton::GlyphButton(Glyph glyph, QWidget* parent)
    : LeopardButton(parent)
    , glyph_(glyph)
{
}

void GlyphButton::setGlyph(Glyph glyph)
{
    glyph_ = glyph;
    update();
}

} // namespace lh
