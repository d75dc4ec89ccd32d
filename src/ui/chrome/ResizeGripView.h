#pragma once

#include <QPoint>
#include <QRect>
#include <QWidget>

#include <optional>

namespace lh {

// The three ridges at the bottom bar's right end, the one way to change the window's height.
// A left press hands the resize to the window manager on the bottom edge
// (QWindow::startSystemResize); where that is refused (no window manager), dragging resizes the
// window by hand: the height follows the pointer within the window's minimum and maximum
// height, and the top edge, left edge and width stay where they were. It never moves the
// window. Main thread only.
class ResizeGripView : public QWidget {
public:
    static constexpr int side = 15;

    explicit ResizeGripView(QWidget* parent = nullptr);

    QSize sizeHint() const override;

    // The height a drag gives: the starting height plus how far the pointer went down, within
    // the limits; the maximum wins when the limits conflict.
    static int draggedHeight(int startHeight, int startPointerY, int pointerY, int minimum, int maximum);

    static void paint(QPainter& painter, const QSizeF& size);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    struct Drag {
        QPoint startPointer; // screen coordinates
        QRect startGeometry; // the window's, at the press
        bool isResizingByHand = false;
    };
    std::optional<Drag> drag;
};

} // namespace lh
