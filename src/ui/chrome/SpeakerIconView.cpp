#include "SpeakerIconView.h"

#include "Glyphs.h"
#include "Theme.h"
#include "WindowMover.h"

#include <QPainter>

namespace lh {

SpeakerIconView::SpeakerIconView(int waves, QWidget* parent)
    : QWidget(parent)
    , waves_(waves)
{
    new WindowMover(*this);
}

void SpeakerIconView::paint(QPainter& painter, const QSizeF& size, int waves)
{
    Glyphs::drawSpeaker(painter, QRectF(0, 1, size.width(), size.height() - 2), waves, Theme::glyph(), true);
}

void SpeakerIconView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paint(painter, size(), waves_);
}

} // namespace lh
