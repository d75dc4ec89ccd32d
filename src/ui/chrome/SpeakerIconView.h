#pragma once

#include <QWidget>

namespace lh {

// A speaker beside the volume slider, with 0 or more sound waves. It has no mouse behaviour of
// its own; a left drag on it moves the window. Main thread only.
class SpeakerIconView : public QWidget {
public:
    explicit SpeakerIconView(int waves, QWidget* parent = nullptr);

    int waves() const { return waves_; }

    static void paint(QPainter& painter, const QSizeF& size, int waves);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int waves_;
};

} // namespace lh
