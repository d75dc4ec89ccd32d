#include "GlyphButton.h"

#include "Announce.h"

#include <QAccessible>

namespace lh {

GlyphButton::GlyphButton(Glyph glyph, QWidget* parent)
    : LeopardButton(parent)
    , glyph_(glyph)
{
}

// The glyph names the button for assistive technology (play becomes pause).
void GlyphButton::setGlyph(Glyph glyph)
{
    const bool renamed = glyph != glyph_;
    glyph_ = glyph;
    update();
    if (renamed) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        announce(event);
    }
}

} // namespace lh
