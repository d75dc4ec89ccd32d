#include "Theme.h"

#include <QFontDatabase>
#include <QPainter>
#include <QPainterPath>

namespace lh::Theme {

namespace {

// DejaVu Sans is the closest installed match to the design's face by metrics; WenQuanYi Micro
// Hei covers Chinese, Japanese and Korean in a matching plain style.
constexpr const char* preferredFamily = "DejaVu Sans";
constexpr const char* cjkFamily = "WenQuanYi Micro Hei";

QColor srgb(double r, double g, double b)
{
    return QColor::fromRgbF(float(r), float(g), float(b));
}

QGradientStops fourStops(double a, double b, double c, double d)
{
    return { { 0.0, grey(a) }, { 0.49, grey(b) }, { 0.51, grey(c) }, { 1.0, grey(d) } };
}

} // namespace

QColor grey(double level, double alpha)
{
    return QColor::fromRgbF(float(level), float(level), float(level), float(alpha));
}

// Each colour is built on first use and kept for the life of the process.
#define LH_THEME_COLOR(name, value)     \
    const QColor& name()                \
    {                                   \
        static const QColor color = value; \
        return color;                   \
    }

LH_THEME_COLOR(selection, srgb(0.22, 0.46, 0.84))
LH_THEME_COLOR(selectionUnfocused, grey(0.8))
LH_THEME_COLOR(stripe, srgb(0.929, 0.953, 0.996))
LH_THEME_COLOR(lcdTop, srgb(0.925, 0.937, 0.949))
LH_THEME_COLOR(lcdBottom, srgb(0.835, 0.855, 0.875))
LH_THEME_COLOR(lcdBorder, grey(0.4))
LH_THEME_COLOR(lcdText, grey(0.1))
LH_THEME_COLOR(lcdSecondaryText, grey(0.33))
LH_THEME_COLOR(lcdSegment, grey(0.18, 0.9))
LH_THEME_COLOR(lcdSegmentGhost, grey(0, 0.07))
LH_THEME_COLOR(lcdSegmentPeak, srgb(0.72, 0.13, 0.1))
LH_THEME_COLOR(glyph, grey(0.18))
LH_THEME_COLOR(rowMark, grey(0.55))
LH_THEME_COLOR(controlBorder, grey(0.45))
LH_THEME_COLOR(wordmarkInk, srgb(94 / 255.0, 85 / 255.0, 72 / 255.0))

#undef LH_THEME_COLOR

const QGradientStops& panelBackground()
{
    static const QGradientStops stops { { 0.0, grey(0.93) }, { 1.0, grey(0.8) } };
    return stops;
}

const QGradientStops& gel(bool pressed)
{
    static const QGradientStops normal = fourStops(0.99, 0.92, 0.8, 0.9);
    static const QGradientStops down = fourStops(0.66, 0.62, 0.53, 0.64);
    return pressed ? down : normal;
}

QLinearGradient vertical(const QRectF& rect, const QGradientStops& stops)
{
    QLinearGradient gradient(rect.left(), rect.top(), rect.left(), rect.bottom());
    gradient.setStops(stops);
    return gradient;
}

QLinearGradient vertical(const QRectF& rect, const QColor& top, const QColor& bottom)
{
    return vertical(rect, QGradientStops { { 0.0, top }, { 1.0, bottom } });
}

const Emboss& emboss()
{
    static const Emboss value;
    return value;
}

void fillPath(QPainter& painter, const QPainterPath& path, const QBrush& brush, bool embossed)
{
    if (embossed)
        painter.fillPath(path.translated(emboss().offset), emboss().color);
    painter.fillPath(path, brush);
}

QString fontFamily()
{
    static const QString family = [] {
        const QStringList families = QFontDatabase::families();
        if (families.contains(QString::fromLatin1(preferredFamily)))
            return QString::fromLatin1(preferredFamily);
        return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    }();
    return family;
}

const QPalette& lightPalette()
{
    static const QPalette palette = [] {
        QPalette light(grey(0.94)); // every role derived from a light button colour
        light.setColor(QPalette::Base, Qt::white);
        light.setColor(QPalette::AlternateBase, stripe());
        light.setColor(QPalette::Highlight, selection());
        light.setColor(QPalette::HighlightedText, Qt::white);
        light.setColor(QPalette::ToolTipBase, QColor(255, 255, 220));
        light.setColor(QPalette::ToolTipText, Qt::black);
        return light;
    }();
    return palette;
}

QFont font(int points, bool bold)
{
    QFont result;
    result.setFamilies({ fontFamily(), QString::fromLatin1(cjkFamily) });
    result.setPixelSize(points);
    result.setBold(bold);
    result.setHintingPreference(QFont::PreferNoHinting);
    return result;
}

} // namespace lh::Theme
