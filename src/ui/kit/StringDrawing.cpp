#include "StringDrawing.h"

#include "Theme.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>
#include <QTextOption>

namespace lh {

namespace {

void drawLine(QPainter& painter, const QString& text, const QRectF& rect, const TextStyle& style)
{
    const QString shown = elided(text, style.font, rect.width());
    const int flags = int(style.alignment & Qt::AlignHorizontal_Mask) | Qt::AlignTop | Qt::TextSingleLine;
    if (style.embossed) {
        painter.setPen(Theme::emboss().color);
        painter.drawText(rect.translated(Theme::emboss().offset), flags, shown);
    }
    painter.setPen(style.color);
    painter.drawText(rect, flags, shown);
}

void drawWrapped(QPainter& painter, const QString& text, const QRectF& rect, const TextStyle& style)
{
    QTextOption option(style.alignment & Qt::AlignHorizontal_Mask);
    option.setWrapMode(QTextOption::WrapAnywhere);
    QTextLayout layout(text, style.font);
    layout.setTextOption(option);
    layout.beginLayout();
    double y = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(rect.width());
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();

    painter.save();
    painter.setClipRect(rect);
    if (style.embossed) {
        painter.setPen(Theme::emboss().color);
        layout.draw(&painter, rect.topLeft() + Theme::emboss().offset);
    }
    painter.setPen(style.color);
    layout.draw(&painter, rect.topLeft());
    painter.restore();
}

} // namespace

void drawString(QPainter& painter, const QString& text, const QRectF& rect, const TextStyle& style)
{
    painter.save();
    painter.setFont(style.font);
    if (style.lineBreak == LineBreak::truncateTail)
        drawLine(painter, text, rect, style);
    else
        drawWrapped(painter, text, rect, style);
    painter.restore();
}

QRect textRepaintRect(const QRectF& rect, bool embossed)
{
    const QRectF touched = embossed ? rect.united(rect.translated(Theme::emboss().offset)) : rect;
    return touched.toAlignedRect();
}

QString elided(const QString& text, const QFont& font, double width)
{
    return QFontMetricsF(font).elidedText(text, Qt::ElideRight, width);
}

} // namespace lh
