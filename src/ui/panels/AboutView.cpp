#include "AboutView.h"

#include "StringDrawing.h"
#include "Theme.h"
#include "Version.h"
#include "WindowButton.h"
#include "WindowMover.h"

#include <QDesktopServices>
#include <QFile>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>

namespace lh {

namespace {

constexpr double linksY = 236;
constexpr int closeButtonInset = 8; // where the main window's toolbar has its own
const QString separator = QStringLiteral("  \u00b7  ");

TextStyle lineStyle()
{
    return { Theme::font(11), Theme::grey(0.35), Qt::AlignHCenter, LineBreak::truncateTail, true };
}

QUrl documentURL(const QString& name)
{
    const QString installed = QString::fromUtf8(Version::installedDocFolder) + u'/' + name;
    if (QFile::exists(installed))
        return QUrl::fromLocalFile(installed);
    return QUrl::fromLocalFile(QString::fromUtf8(Version::sourceFolder) + u'/' + name);
}

QSvgRenderer& icon()
{
    static QSvgRenderer renderer(QStringLiteral(":/larkhaven/icon.svg"));
    return renderer;
}

} // namespace

AboutView::AboutView(QWidget* parent)
    : QWidget(parent)
    , openURL([](const QUrl& url) { QDesktopServices::openUrl(url); })
{
    setFixedSize(width, height);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    auto* close = new WindowButton(WindowButton::Kind::close, this);
    close->move(closeButtonInset, closeButtonInset);
    connect(close, &QAbstractButton::clicked, this, [this] {
        if (onClose)
            onClose();
    });
    // Links take their own presses, so only the background moves the panel.
    new WindowMover(*this, [this](QPointF at) { return !link(at); });
}

QString AboutView::versionLine(
    const std::optional<QString>& shortVersion, const std::optional<QString>& buildVersion, bool isDevBuild)
{
    QString version = shortVersion.value_or(QStringLiteral("dev"));
    if (isDevBuild)
        version += u'-' + buildVersion.value_or(QString());
    return QStringLiteral("Version ") + version;
}

QString AboutView::versionLine()
{
    const QString build = QString::fromUtf8(Version::build);
    return versionLine(QString::fromUtf8(Version::text), build.isEmpty() ? std::nullopt : std::optional(build),
        Version::isDevBuild);
}

const QString& AboutView::creditLine()
{
    static const QString line = QStringLiteral("Built with Qt, FFmpeg, SDL and TagLib");
    return line;
}

std::vector<AboutView::Link> AboutView::links()
{
    return { { QStringLiteral("Read Me"), documentURL(QStringLiteral("README.md")) },
        { QStringLiteral("License"), documentURL(QStringLiteral("LICENSE")) } };
}

std::optional<QUrl> AboutView::link(QPointF point) const
{
    for (const LinkRect& entry : linkRects_) {
        if (entry.rect.contains(point))
            return entry.url;
    }
    return std::nullopt;
}

void AboutView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double w = QWidget::width();
    painter.fillRect(rect(), Theme::vertical(rect(), Theme::panelBackground()));
    icon().render(&painter, QRectF((w - 96) * 0.5, 34, 96, 96));
    lockup_.draw(painter, { std::round((w - lockup_.width()) * 0.5), 162 });
    drawString(painter, versionLine(), QRectF(0, 172, w, 16), lineStyle());
    drawString(painter, creditLine(), QRectF(0, 216, w, 16), lineStyle());
    drawLinks(painter);
}

void AboutView::drawLinks(QPainter& painter)
{
    const std::vector<Link> targets = links();
    QFont linkFont = Theme::font(11);
    linkFont.setUnderline(true);
    const QFontMetricsF linkMetrics(linkFont);
    const QFontMetricsF baseMetrics(Theme::font(11));
    const double total = linkMetrics.horizontalAdvance(targets[0].title) + baseMetrics.horizontalAdvance(separator)
        + linkMetrics.horizontalAdvance(targets[1].title);

    linkRects_.clear();
    double x = std::round((QWidget::width() - total) * 0.5);
    const auto piece = [&](const QString& text, const QFont& font, const QColor& color, const QUrl* url) {
        const double pieceWidth = QFontMetricsF(font).horizontalAdvance(text);
        const QRectF rect(x, linksY, pieceWidth, QFontMetricsF(font).height());
        drawString(painter, text, rect.adjusted(0, 0, 1, 0), { font, color, Qt::AlignLeft, LineBreak::truncateTail, true });
        if (url)
            linkRects_.push_back({ rect, *url });
        x += pieceWidth;
    };
    piece(targets[0].title, linkFont, Theme::grey(0.15), &targets[0].url);
    piece(separator, Theme::font(11), Theme::grey(0.35), nullptr);
    piece(targets[1].title, linkFont, Theme::grey(0.15), &targets[1].url);
}

void AboutView::mousePressEvent(QMouseEvent* event)
{
    // A press on a link waits for its release; the rest is the mover's.
    event->accept();
}

void AboutView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && onClose) {
        onClose();
        return;
    }
    QWidget::keyPressEvent(event);
}

void AboutView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    if (const std::optional<QUrl> url = link(event->position()); url && openURL)
        openURL(*url);
}

void AboutView::mouseMoveEvent(QMouseEvent* event)
{
    setCursor(link(event->position()) ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

} // namespace lh
