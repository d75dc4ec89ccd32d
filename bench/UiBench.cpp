#include "LCDView.h"
#include "LeopardSlider.h"

#include <QApplication>
#include <QImage>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

// CPU time is counted over the whole process: Qt's raster engine hands long runs of spans to a
// thread pool, and that work is part of the cost.

// What the display shows while a track plays, with both meter rows partly lit.
void playing(lh::LCDView& lcd)
{
    lcd.resize(336, 72);
    lcd.setTitle(QStringLiteral("Concerto for Two Violins in D minor, BWV 1043: I. Vivace"));
    lcd.setArtist(QStringLiteral("Academy of St Martin in the Fields"));
    lcd.setFormatText(QStringLiteral("FLAC · 912 kbps · 44.1 kHz · Stereo"));
    lcd.setElapsedText(QStringLiteral("3:07"));
    lcd.setRemainingText(QStringLiteral("-6:15"));
    lcd.setLeftLevel(0.6);
    lcd.setRightLevel(0.55);
}

// An image of the display's size at the device pixel ratio given as the argument in tenths.
QImage canvas(const benchmark::State& state, QSize size)
{
    const double ratio = state.range(0) / 10.0;
    QImage image(size * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    return image;
}

// A whole repaint of the display and its slider, as after a resize or an expose.
void lcdFullPaint(benchmark::State& state)
{
    lh::LCDView lcd;
    playing(lcd);
    QImage image = canvas(state, lcd.size());
    for (auto _ : state)
        lcd.render(&image, {}, QRegion(lcd.rect()), QWidget::DrawChildren);
}
BENCHMARK(lcdFullPaint)->Arg(10)->Arg(20)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

// The repaint a level change costs when a segment turns on or off: one meter row.
void lcdMeterRowPaint(benchmark::State& state)
{
    lh::LCDView lcd;
    playing(lcd);
    QImage image = canvas(state, lcd.size());
    const QRegion row(lh::LCDView::meterRowRect(lcd.width(), 0));
    for (auto _ : state)
        lcd.render(&image, row.boundingRect().topLeft(), row, QWidget::DrawChildren);
}
BENCHMARK(lcdMeterRowPaint)->Arg(10)->Arg(20)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

// The repaint every tick of a playing track causes: the slider's knob moves, and the display
// behind the slider is painted again under it.
void lcdSliderStepPaint(benchmark::State& state)
{
    lh::LCDView lcd;
    playing(lcd);
    QImage image = canvas(state, lcd.size());
    const QRect slider = lh::LCDView::sliderRect(lcd.width());
    double value = 0;
    for (auto _ : state) {
        value = value < 0.9 ? value + 0.001 : 0;
        lcd.progressSlider().setValue(value);
        lcd.render(&image, slider.topLeft(), QRegion(slider), QWidget::DrawChildren);
    }
}
BENCHMARK(lcdSliderStepPaint)->Arg(10)->Arg(20)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

// A tick whose level lights the same segments as before: the check only, no repaint (so the
// pixel ratio plays no part).
void lcdLevelUpdateWithoutChange(benchmark::State& state)
{
    lh::LCDView lcd;
    playing(lcd);
    const double levels[] = { 0.50, 0.51 };
    int i = 0;
    for (auto _ : state) {
        lcd.setLeftLevel(levels[i]);
        lcd.setRightLevel(levels[i]);
        i ^= 1;
    }
}
BENCHMARK(lcdLevelUpdateWithoutChange)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

} // namespace
