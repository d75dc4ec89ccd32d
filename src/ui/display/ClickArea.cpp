#include "ClickArea.h"

#include <QMouseEvent>

namespace lh {

ClickArea::ClickArea(QWidget* parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
}

void ClickArea::mousePressEvent(QMouseEvent* event)
{
    // Other buttons go on to the parent (the toolbar's menu lives on the right button).
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    event->accept();
    if (onClick)
        onClick();
}

} // namespace lh
