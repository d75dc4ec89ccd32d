#pragma once

#include <QWidget>

#include <functional>

namespace lh {

// An invisible click target. It draws nothing and calls `onClick` on every left press (a double
// click presses twice). It keeps left presses to itself, so they never move the window; other
// buttons go on to the parent. Main thread only.
class ClickArea : public QWidget {
public:
    explicit ClickArea(QWidget* parent = nullptr);

    std::function<void()> onClick;

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

} // namespace lh
