#pragma once

#include <QWidget>

namespace lh {

// The playlist's column header: a glossy strip with "Name" and "Time" and the dividers of the
// list's three columns (playing indicator, name, time). It has no mouse behaviour of its own
// (no sorting, no resizing); a left drag on it moves the window. Main thread only.
class PlaylistHeaderView : public QWidget {
public:
    // Column widths shared with the list's rows.
    static constexpr int indicatorColumnWidth = 22;
    static constexpr int timeColumnWidth = 48;

    explicit PlaylistHeaderView(QWidget* parent = nullptr);

    static void paint(QPainter& painter, const QSizeF& size);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace lh
