#pragma once

#include "SliderCell.h"

#include <QWidget>

#include <functional>
#include <memory>

namespace lh {

// A horizontal slider drawn by its cell. It holds a value between a minimum and a maximum (0…1
// when created). A left press anywhere on it jumps the value to the mouse, and every move of the
// drag and its release set the value again, clamped to the track's ends; each of these sends
// `action`. Setting the value from code never sends it. A disabled slider ignores the mouse.
// It never takes focus and never moves the window. Main thread only.
class LeopardSlider : public QWidget {
public:
    explicit LeopardSlider(std::unique_ptr<SliderCell> cell, QWidget* parent = nullptr);

    // Called after each value change made by the mouse; read `value()` inside it.
    std::function<void()> action;

    double value() const { return value_; }
    double minimum() const { return minimum_; }
    double maximum() const { return maximum_; }
    // Clamped to the range (not a number counts as the minimum); redraws only when the knob
    // moves by a device pixel or more.
    void setValue(double value);
    // Clamps the value into the new range. A `maximum` below `minimum` is taken as `minimum`.
    void setRange(double minimum, double maximum);

    // Where the value lies in the range, 0…1; 0 when the range is empty.
    double fraction() const;

    // True from a left press until its release: while it is, the owner leaves the value alone
    // so the knob follows the mouse only.
    bool isTracking() const { return isTracking_; }

    const SliderCell& cell() const { return *cell_; }

    // How assistive technology reads and moves the slider, which has no keys of its own: how far
    // one increment or decrement moves the value, the factor on the number it reports (100 reads
    // 0…1 as a percentage) and the text read for a value. The mouse ignores them.
    struct Spoken {
        double step = 0.1;
        double scale = 1;
        std::function<QString(double value)> text;
    };
    Spoken spoken;
    // Sets the value as a press would, sending `action`; nothing while disabled.
    void moveTo(double value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void track(double x);
    int knobPixel() const;

    std::unique_ptr<SliderCell> cell_;
    double value_ = 0;
    double minimum_ = 0;
    double maximum_ = 1;
    bool isTracking_ = false;
};

} // namespace lh
