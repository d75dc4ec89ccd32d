#pragma once

#include <QPoint>
#include <QRectF>
#include <QString>
#include <QWidget>

#include <functional>

namespace lh {

// The strip under the playlist: a grey gradient with an engraved top edge and the centred
// status text ("12 songs"). The square buttons and the resize grip are child widgets placed by
// the owner; they draw on top of it. A left drag on the strip moves the window.
//
// Reports `onContextMenu` with the pointer's screen position on a right-click on the strip (or
// on a child that leaves it unhandled). Main thread only.
class BottomBarView : public QWidget {
public:
    explicit BottomBarView(QWidget* parent = nullptr);

    const QString& statusText() const { return statusText_; }
    // Repaints the text's rect, and only when the text changes.
    void setStatusText(const QString& text);
    // The status text as it is drawn: cut at the tail with an ellipsis where it does not fit.
    QString shownStatusText() const;

    std::function<void(QPoint globalPos)> onContextMenu;

    // Background, top edge and status text over (0, 0, size).
    static void paint(QPainter& painter, const QSizeF& size, const QString& statusText);
    static QRectF statusTextRect(double width);

protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QString statusText_;
};

} // namespace lh
