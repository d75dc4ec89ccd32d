#include "TrackInfoView.h"

#include "PlaybackTimeFormatter.h"
#include "PushButton.h"
#include "StringDrawing.h"
#include "Theme.h"
#include "ToolbarView.h"
#include "WindowButton.h"
#include "WindowMover.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLocale>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>
#include <utility>

namespace lh {

namespace {

constexpr double headerHeight = 28;
constexpr double summaryGap = 16;
// Where the rows end, above the OK button: the location takes what the rows above it leave,
// three lines, or two under a ReplayGain row.
constexpr double rowsBottom = TrackInfoView::rowsTop + 11 * TrackInfoView::rowHeight;
constexpr double valueGap = 8;
const QString separator = QStringLiteral("  \u00b7  ");

// The artwork square's drop shadow: black at alpha 0.35, two points below the square, blurred
// with a Gaussian of standard deviation 2 points (a blur radius of 4).
constexpr double shadowOffset = 2;
constexpr double shadowSigma = 2;
constexpr int shadowMargin = 8; // beyond 3 sigma, where the shadow has faded out
constexpr int shadowSamplesPerPoint = 2;

// How much of a blurred span [0, length] covers position t: a box convolved with a Gaussian.
double blurredSpan(double t, double length)
{
    const double scale = 1 / (shadowSigma * std::sqrt(2.0));
    return 0.5 * (std::erf(t * scale) - std::erf((t - length) * scale));
}

// The shadow of the artwork square, computed once; it covers the square grown by
// `shadowMargin` on every side.
const QImage& artworkShadow()
{
    static const QImage image = [] {
        const double side = TrackInfoView::artworkRect.width();
        const int pixels = int(side + 2 * shadowMargin) * shadowSamplesPerPoint;
        QImage shadow(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
        std::vector<double> coverage(pixels);
        for (int i = 0; i < pixels; ++i)
            coverage[i] = blurredSpan((i + 0.5) / shadowSamplesPerPoint - shadowMargin, side);
        for (int y = 0; y < pixels; ++y) {
            auto* line = reinterpret_cast<QRgb*>(shadow.scanLine(y));
            for (int x = 0; x < pixels; ++x)
                line[x] = qRgba(0, 0, 0, qRound(0.35 * 255 * coverage[x] * coverage[y]));
        }
        shadow.setDevicePixelRatio(shadowSamplesPerPoint);
        return shadow;
    }();
    return image;
}

QString optionalText(const std::optional<QString>& text)
{
    return text.value_or(QString());
}

template <typename T, typename Format>
QString formatted(const std::optional<T>& value, Format format)
{
    return value ? format(*value) : QString();
}

void drawArtwork(QPainter& painter, const std::optional<QImage>& artwork)
{
    const QRectF rect = TrackInfoView::artworkRect;
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect.topLeft() + QPointF(-shadowMargin, shadowOffset - shadowMargin), artworkShadow());
    painter.fillRect(rect, Qt::white);
    if (artwork) {
        painter.drawImage(rect, *artwork, TrackInfoView::centredSquare(artwork->size()));
    } else {
        painter.fillRect(rect, Theme::vertical(rect, Qt::white, Theme::grey(0.82)));
        drawString(painter, QStringLiteral("\u266b"), QRectF(rect.x(), rect.center().y() - 36, rect.width(), 72),
            { Theme::font(56), Theme::grey(0.62), Qt::AlignHCenter, LineBreak::truncateTail, true });
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Theme::grey(0.55), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect.adjusted(0.5, 0.5, -0.5, -0.5));
    painter.restore();
}

void drawSummary(QPainter& painter, const QSizeF& size, const TrackInfo& info)
{
    const double x = TrackInfoView::artworkRect.right() + summaryGap;
    const double width = size.width() - x - TrackInfoView::margin;
    const auto line = [&](const QString& text, double y, double height, const TextStyle& style) {
        drawString(painter, text, QRectF(x, y, width, height), style);
    };
    line(info.title, 46, 19, { Theme::font(14, true), Qt::black });
    line(optionalText(info.artist), 68, 16, { Theme::font(12), Theme::grey(0.15) });
    line(optionalText(info.album), 86, 16, { Theme::font(12), Theme::grey(0.15) });
    line(TrackInfoView::statusLine(info), 108, 15, { Theme::font(11), Theme::grey(0.4) });
}

void drawDivider(QPainter& painter, const QSizeF& size)
{
    const double width = size.width() - 2 * TrackInfoView::margin;
    painter.fillRect(QRectF(TrackInfoView::margin, TrackInfoView::dividerY, width, 1), Theme::grey(0.7));
    painter.fillRect(QRectF(TrackInfoView::margin, TrackInfoView::dividerY + 1, width, 1), Qt::white);
}

// The height of the lines of `font` that fit whole into `height`: the wrapped text is clipped
// to its rect, and a last line cut through the middle would read as a rendering fault.
double wholeLines(const QFont& font, double height)
{
    const double line = std::ceil(QFontMetricsF(font).height());
    return std::max(1.0, std::floor(height / line)) * line;
}

void drawRows(QPainter& painter, const QSizeF& size, const TrackInfo& info)
{
    const double valueX = TrackInfoView::margin + TrackInfoView::labelWidth + valueGap;
    const double valueWidth = size.width() - valueX - TrackInfoView::margin;
    const TextStyle labelStyle { Theme::font(11, true), Theme::grey(0.25), Qt::AlignRight };
    double y = TrackInfoView::rowsTop;
    for (const TrackInfoView::Row& row : TrackInfoView::rows(info)) {
        // The location is a path with no spaces to break at, so it wraps anywhere.
        const bool wraps = row.label == QStringLiteral("Where:");
        const double height = wraps ? rowsBottom - y : TrackInfoView::rowHeight;
        const QFont valueFont = Theme::font(11);
        drawString(painter, row.label, QRectF(TrackInfoView::margin, y, TrackInfoView::labelWidth, TrackInfoView::rowHeight),
            labelStyle);
        drawString(painter, row.value, QRectF(valueX, y, valueWidth, wraps ? wholeLines(valueFont, height) : height),
            { valueFont, Qt::black, Qt::AlignLeft, wraps ? LineBreak::wrapAnywhere : LineBreak::truncateTail });
        y += height;
    }
}

} // namespace

TrackInfoView::TrackInfoView(QWidget* parent)
    : QWidget(parent)
    , header_(new ToolbarView(this))
    , okButton_(new PushButton(QStringLiteral("OK"), this))
{
    setFixedSize(width, height);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    header_->setGeometry(0, 0, width, int(headerHeight));
    header_->setTitle(QStringLiteral("Get Info"));
    header_->onClose = [this] { requestClose(); };
    // A panel is neither minimised nor given the player's menu: only its close button stays.
    for (WindowButton* button : header_->findChildren<WindowButton*>()) {
        if (button->kind() != WindowButton::Kind::close)
            button->hide();
    }
    okButton_->setGeometry(int(width - margin - 82), height - 40, 82, 24);
    connect(okButton_, &QAbstractButton::clicked, this, [this] { requestClose(); });
    new WindowMover(*this);
}

void TrackInfoView::setInfo(std::optional<TrackInfo> info)
{
    info_ = std::move(info);
    artwork_.reset();
    scaledArtwork = QImage();
    if (info_ && info_->artwork) {
        QImage image = QImage::fromData(*info_->artwork);
        if (!image.isNull())
            artwork_ = std::move(image);
    }
    update();
}

std::vector<TrackInfoView::Row> TrackInfoView::rows(const TrackInfo& info)
{
    std::vector<Row> rows {
        { QStringLiteral("Kind:"), kind(info.url) },
        { QStringLiteral("Length:"), formatted(info.duration, PlaybackTimeFormatter::string) },
        { QStringLiteral("Bit Rate:"),
            formatted(info.bitRate, [](std::int64_t rate) { return QString::number(rate / 1000) + " kbps"; }) },
        { QStringLiteral("Sample Rate:"),
            formatted(info.sampleRate, [](double rate) { return QString::asprintf("%.3f kHz", rate / 1000); }) },
        { QStringLiteral("Channels:"), formatted(info.channels, channelsText) },
        { QStringLiteral("Size:"), formatted(info.fileSize, [](std::int64_t bytes) {
             return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
         }) },
        { QStringLiteral("Year:"), optionalText(info.year) },
        { QStringLiteral("Genre:"), optionalText(info.genre) },
    };
    if (!info.replayGain.isEmpty())
        rows.push_back({ QStringLiteral("ReplayGain:"), replayGainText(info.replayGain) });
    rows.push_back({ QStringLiteral("Where:"), info.cueSheetNote
                                                   ? info.url.toQString() + QStringLiteral(" (") + *info.cueSheetNote + u')'
                                                   : info.url.toQString() });
    return rows;
}

QString TrackInfoView::replayGainText(const ReplayGain& gain)
{
    const auto decibels = [](float value) {
        return QString::asprintf("%+.1f dB", static_cast<double>(value)).replace(u'-', QChar(0x2212));
    };
    QStringList parts;
    if (gain.trackGain)
        parts << QStringLiteral("Track ") + decibels(*gain.trackGain);
    if (gain.albumGain)
        parts << QStringLiteral("Album ") + decibels(*gain.albumGain);
    return parts.join(QStringLiteral(" \u00b7 "));
}

QString TrackInfoView::kind(const FileURL& url)
{
    static const std::array<std::pair<std::u16string_view, const char*>, 17> kinds { {
        { u"mp3", "MPEG audio file" },
        { u"flac", "FLAC audio file" },
        { u"m4a", "AAC audio file" },
        { u"aac", "AAC audio file" },
        { u"wav", "WAV audio file" },
        { u"aif", "AIFF audio file" },
        { u"aiff", "AIFF audio file" },
        { u"ogg", "Ogg Vorbis audio file" },
        { u"oga", "Ogg Vorbis audio file" },
        { u"opus", "Opus audio file" },
        { u"wv", "WavPack audio file" },
        { u"ape", "Monkey's Audio file" },
        { u"tak", "TAK audio file" },
        { u"tta", "True Audio file" },
        { u"mpc", "Musepack audio file" },
        { u"wma", "Windows Media audio file" },
        { u"mka", "Matroska audio file" },
    } };
    const QString extension = QString::fromStdString(url.pathExtension()).toLower();
    for (const auto& [name, text] : kinds) {
        if (extension == QStringView(name))
            return QString::fromLatin1(text);
    }
    return QStringLiteral("Audio file");
}

QString TrackInfoView::channelsText(std::int64_t count)
{
    if (count == 1)
        return QStringLiteral("Mono");
    if (count == 2)
        return QStringLiteral("Stereo");
    return QString::number(count) + QStringLiteral(" channels");
}

QString TrackInfoView::statusLine(const TrackInfo& info)
{
    if (info.isLoading)
        return QStringLiteral("Reading file\u2026");
    QStringList parts;
    if (info.duration)
        parts << PlaybackTimeFormatter::string(*info.duration);
    if (info.year)
        parts << *info.year;
    return parts.join(separator);
}

QRectF TrackInfoView::centredSquare(const QSizeF& size)
{
    const double side = std::min(size.width(), size.height());
    return QRectF((size.width() - side) / 2, (size.height() - side) / 2, side, side);
}

void TrackInfoView::paint(
    QPainter& painter, const QSizeF& size, const std::optional<TrackInfo>& info, const std::optional<QImage>& artwork)
{
    painter.fillRect(QRectF(QPointF(0, 0), size), Theme::grey(0.91));
    if (!info)
        return;
    drawArtwork(painter, artwork);
    drawSummary(painter, size, *info);
    drawDivider(painter, size);
    drawRows(painter, size, *info);
}

void TrackInfoView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const std::optional<QImage> shown
        = artwork_ ? std::optional(artworkForDrawing(painter.device()->devicePixelRatioF())) : std::nullopt;
    paint(painter, size(), info_, shown);
}

void TrackInfoView::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        // A held key asks once.
        if (!event->isAutoRepeat())
            requestClose();
        event->accept();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void TrackInfoView::requestClose()
{
    if (onClose)
        onClose();
}

const QImage& TrackInfoView::artworkForDrawing(double pixelRatio)
{
    const int side = int(std::ceil(artworkRect.width() * pixelRatio));
    if (scaledArtwork.width() != side) {
        const QImage square = artwork_->copy(centredSquare(artwork_->size()).toRect());
        scaledArtwork = square.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return scaledArtwork;
}

} // namespace lh
