#include "Lockup.h"

#include "Theme.h"
#include "Wordmark.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace lh {

namespace {

const QString name = QStringLiteral("Larkhaven");
const QString by = QStringLiteral("by");

void drawEmbossed(QPainter& painter, QPointF baseline, const QString& text, const QFont& font, const QColor& color)
{
    painter.setFont(font);
    painter.setPen(Theme::emboss().color);
    painter.drawText(baseline + Theme::emboss().offset, text);
    painter.setPen(color);
    painter.drawText(baseline, text);
}

} // namespace

double Lockup::width() const
{
    const double u = nameSize / 40;
    const double nameWidth = QFontMetricsF(Theme::font(int(std::lround(nameSize)), true)).horizontalAdvance(name);
    const double byWidth = QFontMetricsF(Theme::font(int(std::lround(16 * u)))).horizontalAdvance(by);
    const QRectF box = Wordmark::viewBox;
    return std::ceil(nameWidth + 10 * u + byWidth + 8 * u + 23 * u * box.width() / box.height());
}

void Lockup::draw(QPainter& painter, QPointF baseline) const
{
    const double u = nameSize / 40;
    const QFont nameFont = Theme::font(int(std::lround(nameSize)), true);
    const QFont byFont = Theme::font(int(std::lround(16 * u)));
    painter.save();
    drawEmbossed(painter, baseline, name, nameFont, Theme::grey(0.1));
    const double x1 = baseline.x() + QFontMetricsF(nameFont).horizontalAdvance(name) + 10 * u;
    drawEmbossed(painter, { x1, baseline.y() }, by, byFont, Theme::grey(0.3));
    const double x2 = x1 + QFontMetricsF(byFont).horizontalAdvance(by) + 8 * u;

    const QRectF box = Wordmark::viewBox;
    painter.translate(x2, baseline.y() + 4 * u - 23 * u);
    painter.scale(23 * u / box.height(), 23 * u / box.height());
    painter.translate(-box.left(), -box.top());
    Wordmark::draw(painter, Theme::wordmarkInk());
    painter.restore();
}

} // namespace lh
