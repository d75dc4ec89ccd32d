#include "LeopardButton.h"

#include <QPainter>

namespace lh {

LeopardButton::LeopardButton(QWidget* parent)
    : QAbstractButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_NoMousePropagation);
}

void LeopardButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    paint(painter);
}

} // namespace lh
