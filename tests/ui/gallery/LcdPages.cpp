#include "Gallery.h"

#include "LCDView.h"
#include "LeopardSlider.h"
#include "Theme.h"

#include <QPalette>
#include <QWidget>

#include <functional>

namespace lh::gallery {

namespace {

constexpr int margin = 8;
constexpr QSize lcdSize { 336, 72 };

void playing(LCDView& lcd)
{
    lcd.setTitle(QStringLiteral("So What"));
    lcd.setArtist(QStringLiteral("Miles Davis"));
    lcd.setFormatText(QStringLiteral("FLAC · 912 kbps · 44.1 kHz · Stereo"));
    lcd.setElapsedText(QStringLiteral("3:07"));
    lcd.setRemainingText(QStringLiteral("-6:15"));
    lcd.progressSlider().setRange(0, 562);
    lcd.progressSlider().setValue(187);
}

// Each state of the display, one below the other on the toolbar's grey.
const std::function<void(LCDView&)> states[] = {
    [](LCDView& lcd) {
        playing(lcd);
        lcd.setTitle(QStringLiteral("Concerto for Two Violins, Strings and Continuo in D minor, BWV 1043: I. Vivace"));
        lcd.setArtist(QStringLiteral("Academy of St Martin in the Fields, Sir Neville Marriner, conductor"));
    },
    [](LCDView& lcd) {
        playing(lcd);
        lcd.setShowsMeter(false);
    },
    [](LCDView& lcd) { playing(lcd); },
    [](LCDView& lcd) {
        playing(lcd);
        lcd.setLeftLevel(0.5);
        lcd.setRightLevel(0.47);
    },
    [](LCDView& lcd) {
        playing(lcd);
        lcd.setLeftLevel(1.0);
        lcd.setRightLevel(0.97);
    },
    [](LCDView& lcd) {
        playing(lcd);
        lcd.setLeftLevel(1.2);
        lcd.setRightLevel(1.2);
    },
    [](LCDView& lcd) {
        playing(lcd);
        lcd.setTitle(QStringLiteral("夜に駆ける"));
        lcd.setArtist(QStringLiteral("아이유 (IU)"));
        lcd.setElapsedText(QStringLiteral("12:40"));
        lcd.setRemainingText(QStringLiteral("-62:33"));
        lcd.progressSlider().setRange(0, 4513);
        lcd.progressSlider().setValue(760);
    },
};

const Page lcd("lcd", [](const Camera& camera) {
    const int count = int(std::size(states));
    QWidget sheet;
    sheet.resize(lcdSize.width() + 2 * margin, count * (lcdSize.height() + margin) + margin);
    QPalette palette;
    palette.setColor(QPalette::Window, Theme::grey(0.835));
    sheet.setPalette(palette);
    sheet.setAutoFillBackground(true);
    for (int i = 0; i < count; ++i) {
        auto* view = new LCDView(&sheet);
        view->setGeometry(QRect(QPoint(margin, margin + i * (lcdSize.height() + margin)), lcdSize));
        states[i](*view);
    }
    camera.shoot("lcd", sheet);
});

} // namespace

} // namespace lh::gallery
