#pragma once

#include <QPoint>
#include <QRectF>
#include <QString>
#include <QRegion>
#include <QWidget>

#include <functional>

namespace lh {

class WindowButton;

// The strip behind the window's upper part: its grey gradient, the window title, and (the
// window having no frame) the close and minimise buttons at the top-left and the menu button
// at the top-right. A left drag on the strip moves the window.
//
// Reports, on the main thread, from the user's clicks: `onClose` and `onMinimise` from their
// buttons; `onContextMenu` with a point in screen coordinates where the menu should open, from
// a right-click on the strip (at the pointer) and from the menu button (below it). Unset
// callbacks are skipped. Main thread only.
class ToolbarView : public QWidget {
public:
    explicit ToolbarView(QWidget* parent = nullptr);

    const QString& title() const { return title_; }
    // Repaints the title when it changes.
    void setTitle(const QString& title);

    std::function<void()> onClose;
    std::function<void()> onMinimise;
    std::function<void(QPoint globalPos)> onContextMenu;
    // Where the menu button opens the menu: just below the button, in screen coordinates.
    QPoint menuPosition() const;

    // Background, bottom edge and title over (0, 0, size); the buttons are child widgets.
    static void paint(QPainter& painter, const QSizeF& size, const QString& title);
    // Only what `dirty` touches: the display in front repaints twenty times a second, and
    // laying out the title each time would cost more than all the rest.
    static void paint(QPainter& painter, const QSizeF& size, const QString& title, const QRegion& dirty);
    static QRectF titleRect(double width);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QString title_;
    WindowButton* menuButton;
};

} // namespace lh
