#pragma once

#include <QAbstractButton>

namespace lh {

// The small round buttons on the toolbar that stand in for the window manager's title bar
// (the window has no frame): close, minimise, and the menu button at the other end. Drawn as a
// miniature transport button. Highlights while pressed and reports `clicked` on release inside;
// never takes focus. Main thread only.
class WindowButton : public QAbstractButton {
public:
    enum class Kind { close, minimise, menu };

    // The button's size: a 12-point circle and one point below it for the bottom highlight.
    static constexpr int diameter = 12;

    explicit WindowButton(Kind kind, QWidget* parent = nullptr);

    Kind kind() const { return kind_; }

    QSize sizeHint() const override;

    // Draws the button in (0, 0, 12, 13) of the painter's coordinates.
    static void paint(QPainter& painter, Kind kind, bool pressed);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Kind kind_;
};

} // namespace lh
