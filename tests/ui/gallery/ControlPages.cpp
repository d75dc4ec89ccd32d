#include "Gallery.h"

#include "LeopardSlider.h"
#include "ProgressSliderCell.h"
#include "Theme.h"
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

} // namespace

} // namespace lh::gallery
