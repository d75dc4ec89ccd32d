#include "LeopardSlider.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace lh {

LeopardSlider::LeopardSlider(std::unique_ptr<SliderCell> cell, QWidget* parent)
    : QWidget(parent)
    , cell_(std::move(cell))
{
    setFocusPolicy(Qt::NoFocus);
    // Presses the slider ignores (disabled, other buttons) must not reach a parent that would
    // move the window.
    setAttribute(Qt::WA_NoMousePropagation);
}

void LeopardSlider::setValue(double value)
{
    // A time or level that is not a number must not end up in the drawing's coordinates.
    value = std::isnan(value) ? minimum_ : std::clamp(value, minimum_, maximum_);
    if (value == value_)
        return;
    const int shown = knobPixel();
    value_ = value;
    if (knobPixel() != shown)
        update();
}

void LeopardSlider::setRange(double minimum, double maximum)
{
    const int shown = knobPixel();
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
    value_ = std::clamp(value_, minimum_, maximum_);
    if (knobPixel() != shown)
        update();
}

// A playing track's time changes twenty times a second, but moves the knob by a whole device
// pixel only every second or so: only then is there anything new to draw.
int LeopardSlider::knobPixel() const
{
    const QRectF track = cell_->trackRect(rect());
    return int(std::lround((track.left() + track.width() * fraction()) * devicePixelRatioF()));
}

double LeopardSlider::fraction() const
{
    return lh::fraction(value_, minimum_, maximum_);
}

void LeopardSlider::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    cell_->drawInterior(painter, rect(), fraction());
}

void LeopardSlider::mousePressEvent(QMouseEvent* event)
{
    if (!isEnabled() || event->button() != Qt::LeftButton || isTracking_)
        return;
    isTracking_ = true;
    track(event->position().x());
}

void LeopardSlider::mouseMoveEvent(QMouseEvent* event)
{
    if (isTracking_ && (event->buttons() & Qt::LeftButton))
        track(event->position().x());
}

void LeopardSlider::mouseReleaseEvent(QMouseEvent* event)
{
    if (!isTracking_ || event->button() != Qt::LeftButton)
        return;
    track(event->position().x());
    isTracking_ = false;
}

// A drag that loses its window or its enabled state ends there, without a last update.
void LeopardSlider::hideEvent(QHideEvent* event)
{
    isTracking_ = false;
    QWidget::hideEvent(event);
}

void LeopardSlider::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange && !isEnabled())
        isTracking_ = false;
    QWidget::changeEvent(event);
}

void LeopardSlider::track(double x)
{
    const QRectF track = cell_->trackRect(rect());
    const double along = track.width() > 0 ? std::clamp((x - track.left()) / track.width(), 0.0, 1.0) : 0.0;
    const double value = minimum_ + along * (maximum_ - minimum_);
    if (value != value_) {
        value_ = value;
        update();
    }
    if (action)
        action();
}

void LeopardSlider::moveTo(double value)
{
    if (!isEnabled())
        return;
    setValue(value);
    if (action)
        action();
}

} // namespace lh
