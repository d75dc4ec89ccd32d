#pragma once

#include <QAbstractButton>

class QPainter;

namespace lh {

// The base of the window's custom-drawn buttons. It shows its pressed look while the mouse is
// down inside it (`isDown()`), reports through `clicked` when released inside, keeps no checked
// state, never takes focus and never lets a press reach a parent that would move the window.
// Main thread only.
class LeopardButton : public QAbstractButton {
public:
    explicit LeopardButton(QWidget* parent = nullptr);

    // Draws the button as it looks now, in its own coordinates.
    virtual void paint(QPainter& painter) const = 0;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace lh
