#pragma once

#include "ClickArea.h"

#include <QImage>
#include <QRect>
#include <QString>
#include <QWidget>

class QPainter;
class QRegion;

namespace lh {

class LeopardSlider;

// The LCD-style display in the middle of the toolbar: title, artist, the format text or a
// two-row level meter, and the elapsed and remaining times around the seek slider.
//
// Main thread only. The owner sets the texts and levels; each setter repaints only the part of
// the view whose picture changes, so a tick that turns no segment on or off and changes no
// text repaints nothing of the display.
// It reports clicks on the third line through `meterArea().onClick`; the owner handles the seek
// slider (`progressSlider()`: its action, range, value and enabled state). A press anywhere else
// is left to the parent, which may move the window with it.
class LCDView : public QWidget {
public:
    explicit LCDView(QWidget* parent = nullptr);

    static constexpr double cornerRadius = 5;
    static constexpr int segmentCount = 32;
    static constexpr QSize segmentSize { 4, 3 };
    static constexpr int segmentGap = 2;
    static constexpr int peakSegments = 4;

    // Segments a level lights: level × 32 rounded half away from zero. Not clamped (a level above
    // 1 lights every segment, one of 0 or below none); a non-finite level lights none.
    static int litSegments(double level);

    const QString& title() const { return title_; }
    void setTitle(const QString& text);
    const QString& artist() const { return artist_; }
    void setArtist(const QString& text);
    // Another track's lines: assistive technology is told once, after both have changed.
    void showTrack(const QString& title, const QString& artist);
    // What a screen reader reads: the name, "Title, Artist" (the title alone when there is no
    // artist line), and the text, the lines shown one a line: title, artist, the format line
    // when there is one and the two times.
    QString spokenName() const;
    QString spokenText() const;
    const QString& formatText() const { return formatText_; }
    void setFormatText(const QString& text);
    bool showsMeter() const { return showsMeter_; }
    void setShowsMeter(bool shows);
    const QString& elapsedText() const { return elapsedText_; }
    void setElapsedText(const QString& text);
    const QString& remainingText() const { return remainingText_; }
    void setRemainingText(const QString& text);
    double leftLevel() const { return leftLevel_; }
    void setLeftLevel(double level);
    double rightLevel() const { return rightLevel_; }
    void setRightLevel(double level);

    LeopardSlider& progressSlider() { return *progressSlider_; }
    ClickArea& meterArea() { return *meterArea_; }

    // Where each part is drawn in a view of the given width.
    static QRect titleRect(int width) { return { 12, 6, width - 24, 15 }; }
    static QRect artistRect(int width) { return { 12, 20, width - 24, 14 }; }
    static QRect formatRect(int width) { return { 12, 36, width - 24, 13 }; }
    static QRect meterRowRect(int width, int row);
    static QRect elapsedRect() { return { 6, 51, 40, 13 }; }
    static QRect remainingRect(int width) { return { width - 46, 51, 40, 13 }; }
    static QRect sliderRect(int width) { return { 50, 50, width - 100, 15 }; }

    // Draws the parts of the view that meet `dirty`, in the view's own coordinates. The slider
    // is a child widget and draws itself on top.
    void paint(QPainter& painter, const QRegion& dirty) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void layOutChildren();
    void setText(QString& stored, const QString& text, const QRect& rect);
    void setLevel(double& stored, double level, int row);
    void drawBezel(QPainter& painter) const;
    void drawMeterRow(QPainter& painter, int row, double level) const;

    QString title_;
    QString artist_;
    QString formatText_;
    bool showsMeter_ = true;
    QString elapsedText_ = QStringLiteral("0:00");
    QString remainingText_ = QStringLiteral("-0:00");
    double leftLevel_ = 0;
    double rightLevel_ = 0;
    LeopardSlider* progressSlider_;
    ClickArea* meterArea_;
    mutable QImage bezel_;
};

} // namespace lh
