#include "Gallery.h"

#include "LeopardSlider.h"
#include "ProgressSliderCell.h"
#include "PushButton.h"
#include "SquareButton.h"
#include "Theme.h"
#include "TransportButton.h"
#include "VolumeSliderCell.h"

#include <QPainter>

#include <memory>

namespace lh::gallery {

namespace {

// Each slider at 0, ½ and 1, enabled in the left column and disabled in the right, on the
// background it sits on in the window (the LCD for the seek slider, the toolbar for the volume).
template <typename Cell>
void drawSliderRows(QPainter& painter, QSize size, int top, const QColor& background)
{
    painter.fillRect(QRect(QPoint(0, top), QSize(painter.device()->width(), 3 * (size.height() + 8) + 8)), background);
    LeopardSlider slider(std::make_unique<Cell>());
    slider.resize(size);
    const double values[] = { 0, 0.5, 1 };
    for (int column = 0; column < 2; ++column) {
        slider.setEnabled(column == 0);
        for (int row = 0; row < 3; ++row) {
            slider.setValue(values[row]);
            const QPoint at(8 + column * (size.width() + 8), top + 8 + row * (size.height() + 8));
            slider.render(&painter, at, {}, QWidget::DrawChildren);
        }
    }
}

const Page sliders("sliders", [](const Camera& camera) {
    camera.shoot("sliders", QSize(2 * 160 + 24, 69 + 80), [](QPainter& painter) {
        drawSliderRows<ProgressSliderCell>(painter, QSize(160, 15), 0, Theme::lcdBottom());
        drawSliderRows<VolumeSliderCell>(painter, QSize(85, 16), 69, Theme::grey(0.835));
    });
});

// Draws `button` at `at`, pressed or not.
void drawButton(QPainter& painter, LeopardButton& button, QPoint at, bool pressed)
{
    button.setDown(pressed);
    button.render(&painter, at, {}, QWidget::DrawChildren);
}

// The transport buttons as the toolbar places them (26 wide, play 34), normal above and pressed
// below, on the toolbar's background.
void drawTransportRows(QPainter& painter, int top)
{
    const QRect area(0, top, 300, 92);
    const QGradientStops toolbar { { 0, Theme::grey(0.91) }, { 0.55, Theme::grey(0.835) }, { 1, Theme::grey(0.725) } };
    painter.fillRect(area, Theme::vertical(area, toolbar));
    const Glyph glyphs[] = { Glyph::previous, Glyph::play, Glyph::pause, Glyph::next, Glyph::stop, Glyph::list };
    int x = 8;
    for (Glyph glyph : glyphs) {
        TransportButton button(glyph);
        const int diameter = glyph == Glyph::play || glyph == Glyph::pause ? 34 : 26;
        button.resize(diameter, diameter + 1);
        for (int row = 0; row < 2; ++row)
            drawButton(painter, button, QPoint(x, top + 8 + row * 42 + (34 - diameter) / 2), row == 1);
        x += diameter + 10;
    }
}

// The bottom bar's square buttons: normal, pressed, on, and on while pressed, one row each.
void drawSquareRows(QPainter& painter, int top)
{
    const QRect area(0, top, 300, 4 * 24 + 8);
    painter.fillRect(area, Theme::vertical(area, Theme::grey(0.89), Theme::grey(0.74)));
    const Glyph glyphs[] = { Glyph::plus, Glyph::minus, Glyph::info, Glyph::shuffle, Glyph::repeat };
    for (int column = 0; column < 5; ++column) {
        SquareButton button(glyphs[column]);
        button.resize(24, 18);
        for (int row = 0; row < 4; ++row) {
            button.setOn(row >= 2);
            drawButton(painter, button, QPoint(8 + column * 30, top + 6 + row * 24), row % 2 == 1);
        }
    }
}

void drawPushButtons(QPainter& painter, int top)
{
    const QRect area(0, top, 300, 40);
    painter.fillRect(area, Theme::vertical(area, Theme::panelBackground()));
    PushButton button(QStringLiteral("OK"));
    button.resize(82, 24);
    drawButton(painter, button, QPoint(8, top + 8), false);
    drawButton(painter, button, QPoint(100, top + 8), true);
    PushButton longLabel(QStringLiteral("A label too long for the button"));
    longLabel.resize(82, 24);
    drawButton(painter, longLabel, QPoint(192, top + 8), false);
}

const Page buttons("buttons", [](const Camera& camera) {
    camera.shoot("buttons", QSize(300, 92 + 104 + 40), [](QPainter& painter) {
        drawTransportRows(painter, 0);
        drawSquareRows(painter, 92);
        drawPushButtons(painter, 196);
    });
});

} // namespace

} // namespace lh::gallery
