#include "LCDView.h"

#include "Announce.h"
#include "LeopardSlider.h"
#include "ProgressSliderCell.h"
#include "StringDrawing.h"
#include "Theme.h"

#include <QAccessible>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>

namespace lh {

namespace {

const QFont& titleFont()
{
    static const QFont font = Theme::font(11, true);
    return font;
}

const QFont& artistFont()
{
    static const QFont font = Theme::font(11);
    return font;
}

const QFont& smallFont()
{
    static const QFont font = Theme::font(10);
    return font;
}

constexpr int segmentPitch = LCDView::segmentSize.width() + LCDView::segmentGap;
constexpr int meterWidth = segmentPitch * LCDView::segmentCount - LCDView::segmentGap;

// The number of segments a level shows on screen: what it lights, within the row.
int shownSegments(double level)
{
    return std::clamp(LCDView::litSegments(level), 0, LCDView::segmentCount);
}

// The bezel under everything: rounded body with its gradient, the shade under the top edge, the
// border and the light edge below it.
void paintBezel(QPainter& painter, QSize size)
{
    const QRectF r = QRectF(0, 0, size.width(), size.height() - 1).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath body;
    body.addRoundedRect(r, LCDView::cornerRadius, LCDView::cornerRadius);

    painter.strokePath(body.translated(0, 1), QPen(Theme::grey(1, 0.75), 1));
    painter.fillPath(body, Theme::vertical(r, Theme::lcdTop(), Theme::lcdBottom()));

    // The body filled again with a gradient that has faded out by y = 5, clipped to that band.
    const QRect shadeBand(0, 0, size.width(), 5);
    painter.save();
    painter.setClipRect(shadeBand, Qt::IntersectClip);
    painter.fillPath(body, Theme::vertical(shadeBand, Theme::grey(0, 0.22), Theme::grey(0, 0)));
    painter.restore();

    painter.strokePath(body, QPen(Theme::lcdBorder(), 1));
}

} // namespace

LCDView::LCDView(QWidget* parent)
    : QWidget(parent)
    , progressSlider_(new LeopardSlider(std::make_unique<ProgressSliderCell>(), this))
    , meterArea_(new ClickArea(this))
{
    setFocusPolicy(Qt::NoFocus);
    layOutChildren();
}

void LCDView::layOutChildren()
{
    progressSlider_->setGeometry(sliderRect(width()));
    meterArea_->setGeometry(formatRect(width()));
}

int LCDView::litSegments(double level)
{
    if (!std::isfinite(level))
        return 0;
    // Saturate instead of overflowing the int: a huge level lights everything, a huge negative
    // one nothing, like any other level beyond the ends.
    const double lit = std::round(level * segmentCount);
    return int(std::clamp(lit, double(INT_MIN), double(INT_MAX)));
}

QRect LCDView::meterRowRect(int width, int row)
{
    const int x = int(std::lround((width - meterWidth) / 2.0));
    return { x, 37 + 5 * row, meterWidth, segmentSize.height() };
}

void LCDView::setText(QString& stored, const QString& text, const QRect& rect)
{
    if (stored == text)
        return;
    stored = text;
    update(rect);
}

void LCDView::setTitle(const QString& text) { setText(title_, text, titleRect(width())); }
void LCDView::setArtist(const QString& text) { setText(artist_, text, artistRect(width())); }
void LCDView::setFormatText(const QString& text) { setText(formatText_, text, formatRect(width())); }
void LCDView::setElapsedText(const QString& text) { setText(elapsedText_, text, elapsedRect()); }
void LCDView::setRemainingText(const QString& text) { setText(remainingText_, text, remainingRect(width())); }

void LCDView::showTrack(const QString& title, const QString& artist)
{
    const QString oldName = spokenName();
    const QString oldText = spokenText();
    setTitle(title);
    setArtist(artist);
    if (spokenName() != oldName) {
        QAccessibleEvent renamed(this, QAccessible::NameChanged);
        announce(renamed);
    }
    if (const QString text = spokenText(); text != oldText) {
        QAccessibleTextUpdateEvent updated(this, 0, oldText, text);
        announce(updated);
    }
}

QString LCDView::spokenName() const
{
    if (artist_.isEmpty())
        return title_;
    return title_ + QStringLiteral(", ") + artist_;
}

QString LCDView::spokenText() const
{
    QStringList shown { title_, artist_ };
    if (!formatText_.isEmpty())
        shown << formatText_;
    shown << elapsedText_ + u' ' + remainingText_;
    return shown.join(u'\n');
}

void LCDView::setShowsMeter(bool shows)
{
    if (showsMeter_ == shows)
        return;
    showsMeter_ = shows;
    update(formatRect(width()));
}

void LCDView::setLevel(double& stored, double level, int row)
{
    const bool changesPicture = shownSegments(level) != shownSegments(stored);
    stored = level;
    if (changesPicture)
        update(meterRowRect(width(), row));
}

void LCDView::setLeftLevel(double level) { setLevel(leftLevel_, level, 0); }
void LCDView::setRightLevel(double level) { setLevel(rightLevel_, level, 1); }

void LCDView::paint(QPainter& painter, const QRegion& dirty) const
{
    const int w = width();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    drawBezel(painter);
    auto drawLine = [&](const QString& text, const QRect& rect, const TextStyle& style) {
        if (dirty.intersects(rect))
            drawString(painter, text, rect, style);
    };
    drawLine(title_, titleRect(w), { titleFont(), Theme::lcdText(), Qt::AlignHCenter });
    drawLine(artist_, artistRect(w), { artistFont(), Theme::lcdSecondaryText(), Qt::AlignHCenter });
    if (showsMeter_) {
        if (dirty.intersects(meterRowRect(w, 0)))
            drawMeterRow(painter, 0, leftLevel_);
        if (dirty.intersects(meterRowRect(w, 1)))
            drawMeterRow(painter, 1, rightLevel_);
    } else {
        drawLine(formatText_, formatRect(w), { smallFont(), Theme::lcdSecondaryText(), Qt::AlignHCenter });
    }
    drawLine(elapsedText_, elapsedRect(), { smallFont(), Theme::lcdSecondaryText(), Qt::AlignRight });
    drawLine(remainingText_, remainingRect(w), { smallFont(), Theme::lcdSecondaryText(), Qt::AlignLeft });
    painter.restore();
}

// Antialiased strokes around the whole view cost far more than copying their pixels, so the
// bezel is drawn once per size and pixel ratio and copied from there.
void LCDView::drawBezel(QPainter& painter) const
{
    const QTransform& toDevice = painter.deviceTransform();
    const double scale = toDevice.m11();
    if (toDevice.type() > QTransform::TxScale || scale != toDevice.m22() || scale <= 0) {
        paintBezel(painter, size());
        return;
    }
    const QSize pixels = (QSizeF(size()) * scale).toSize();
    if (pixels.isEmpty())
        return;
    if (bezel_.size() != pixels || bezel_.devicePixelRatio() != scale) {
        bezel_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        bezel_.setDevicePixelRatio(scale);
        bezel_.fill(Qt::transparent);
        QPainter imagePainter(&bezel_);
        imagePainter.setRenderHint(QPainter::Antialiasing);
        paintBezel(imagePainter, size());
    }
    painter.drawImage(QPointF(0, 0), bezel_);
}

void LCDView::drawMeterRow(QPainter& painter, int row, double level) const
{
    const QRect rect = meterRowRect(width(), row);
    const int lit = litSegments(level);
    painter.save();
    // Whole-point rectangles: without antialiasing they stay crisp at fractional pixel ratios.
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (int i = 0; i < segmentCount; ++i) {
        const QColor& color = i >= lit ? Theme::lcdSegmentGhost()
            : i >= segmentCount - peakSegments ? Theme::lcdSegmentPeak()
                                               : Theme::lcdSegment();
        painter.fillRect(QRect(rect.x() + segmentPitch * i, rect.y(), segmentSize.width(), segmentSize.height()), color);
    }
    painter.restore();
}

void LCDView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    paint(painter, event->region());
}

void LCDView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layOutChildren();
}

} // namespace lh
