#include "BottomBarView.h"
#include "PlaylistHeaderView.h"
#include "ResizeGripView.h"
#include "SpeakerIconView.h"
#include "StringDrawing.h"
#include "Theme.h"
#include "ToolbarView.h"
#include "WindowButton.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace lh {
namespace {

constexpr int width = 360;

QImage render(QSize size, double ratio, const std::function<void(QPainter&)>& paint)
{
    QImage image(size * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    QPainter painter(&image);
    paint(painter);
    return image;
}

// The grey level of a device pixel, 0–255.
int grey(const QImage& image, int x, int y)
{
    return qGreen(image.pixel(x, y));
}

int level(double value)
{
    return qRound(value * 255);
}

// Records the rects of the paint events a widget receives.
class PaintRecorder : public QObject {
public:
    explicit PaintRecorder(QWidget& widget)
        : QObject(&widget)
    {
        widget.installEventFilter(this);
    }
    std::vector<QRect> rects;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            rects.push_back(static_cast<QPaintEvent*>(event)->rect());
        return false;
    }
};

void showAndSettle(QWidget& widget)
{
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    QCoreApplication::processEvents();
}

TEST(Chrome, ToolbarGradientEndsAndBottomEdge)
{
    for (const double ratio : { 1.0, 2.0 }) {
        const QImage image = render({ width, 158 }, ratio, [](QPainter& painter) {
            ToolbarView::paint(painter, QSizeF(width, 158), QString());
        });
        const int r = int(ratio);
        EXPECT_NEAR(grey(image, 200 * r, 0), level(0.91), 1) << ratio;
        EXPECT_NEAR(grey(image, 200 * r, 87 * r), level(0.835), 2) << ratio;
        EXPECT_NEAR(grey(image, 200 * r, 157 * r - 1), level(0.725), 2) << ratio;
        for (int row = 157 * r; row < 158 * r; ++row)
            EXPECT_EQ(grey(image, 200 * r, row), level(0.33)) << ratio;
    }
}

TEST(Chrome, WindowButtonCapDarkensWhilePressed)
{
    for (const bool pressed : { false, true }) {
        const QImage image = render({ 12, 13 }, 2, [&](QPainter& painter) {
            WindowButton::paint(painter, WindowButton::Kind::minimise, pressed);
        });
        // The cap's upper half, beside the symbol, and the bezel ring at the top.
        EXPECT_NEAR(grey(image, 2 * 6, 2 * 2), level(pressed ? 0.65 : 0.97), 10) << pressed;
        EXPECT_LT(grey(image, 2 * 6, 1), level(0.45)) << pressed;
    }
}

TEST(Chrome, HeaderDividersBottomEdgeAndBackground)
{
    const QImage image = render({ width, 17 }, 1, [](QPainter& painter) {
        PlaylistHeaderView::paint(painter, QSizeF(width, 17));
    });
    const int dark = level(0.7);
    for (const int x : { 22, width - 48 }) {
        EXPECT_EQ(grey(image, x, 3), dark) << x;
        EXPECT_EQ(grey(image, x, 13), dark) << x;
        EXPECT_EQ(grey(image, x + 1, 8), 255) << x;
        EXPECT_GT(grey(image, x, 2), dark + 40) << "divider starts at y = 3";
        EXPECT_GT(grey(image, x, 14), dark + 40) << "divider is H − 6 tall";
        EXPECT_GT(grey(image, x - 1, 8), dark + 40);
    }
    EXPECT_EQ(grey(image, 100, 16), level(0.62));
    EXPECT_NEAR(grey(image, 100, 0), 255, 1);
}

TEST(Chrome, BottomBarTopEdgeAndEmbossUnderTheStatus)
{
    const QImage image = render({ width, 24 }, 1, [](QPainter& painter) {
        BottomBarView::paint(painter, QSizeF(width, 24), QStringLiteral("l"));
    });
    EXPECT_EQ(grey(image, 20, 0), level(0.38));
    const double background = 0.89 - 0.15 * 1.5 / 24;
    EXPECT_NEAR(grey(image, 20, 1), level(0.5 + 0.5 * background), 2);
    EXPECT_NEAR(grey(image, 20, 23), level(0.74), 2);

    // The "l" is one dark column; the pixel under its foot is lighter than the bar there.
    int stemX = -1;
    int foot = -1;
    for (int x = 124; x < width - 24 && stemX < 0; ++x)
        for (int y = 5; y < 20; ++y)
            if (grey(image, x, y) < level(0.4)) {
                stemX = x;
                foot = y;
            }
    ASSERT_GE(stemX, 0) << "status text not drawn";
    EXPECT_NEAR(stemX, 124 + (width - 148) / 2, 2) << "centred in its rect";
    EXPECT_GT(grey(image, stemX, foot + 1), grey(image, 20, foot + 1) + 10) << "emboss below the text";
}

TEST(Chrome, StatusTextIsElidedPastItsWidth)
{
    BottomBarView bar;
    bar.resize(width, 24);
    bar.setStatusText(QStringLiteral("12 songs — stops in 45 min"));
    EXPECT_EQ(bar.shownStatusText(), bar.statusText());

    bar.setStatusText(QStringLiteral("12,345 songs — stops in 90 min, and a text far too long for the bar"));
    const QString shown = bar.shownStatusText();
    EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
    EXPECT_LE(QFontMetricsF(Theme::font(11)).horizontalAdvance(shown), width - 148);
}

TEST(Chrome, SameStatusTextRepaintsNothingAndANewOneOnlyItsRect)
{
    BottomBarView bar;
    bar.resize(width, 24);
    bar.setStatusText(QStringLiteral("3 songs"));
    showAndSettle(bar);
    const PaintRecorder* paints = new PaintRecorder(bar);

    bar.setStatusText(QStringLiteral("3 songs"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(paints->rects.empty());

    bar.setStatusText(QStringLiteral("4 songs"));
    QCoreApplication::processEvents();
    ASSERT_EQ(paints->rects.size(), 1u);
    EXPECT_EQ(paints->rects[0], QRect(124, 5, width - 148, 16)) << "the text's rect and its emboss";
}

TEST(Chrome, GripHeightFollowsThePointerWithinTheLimits)
{
    struct Case {
        int start, pointerFrom, pointerTo, minimum, maximum, expected;
    };
    const Case cases[] = {
        { 540, 500, 530, 294, QWIDGETSIZE_MAX, 570 }, // down grows
        { 540, 500, 400, 294, QWIDGETSIZE_MAX, 440 }, // up shrinks
        { 540, 500, 100, 294, QWIDGETSIZE_MAX, 294 }, // stops at the minimum
        { 540, 0, 100000, 294, QWIDGETSIZE_MAX, 100540 }, // unbounded downwards
        { 540, -2000000000, 2000000000, 294, QWIDGETSIZE_MAX, QWIDGETSIZE_MAX }, // no overflow
        { 158, 500, 700, 158, 158, 158 }, // playlist hidden: fixed
        { 300, 500, 600, 300, 200, 200 }, // the maximum wins a conflict
    };
    for (const Case& c : cases)
        EXPECT_EQ(ResizeGripView::draggedHeight(c.start, c.pointerFrom, c.pointerTo, c.minimum, c.maximum), c.expected)
            << c.start << " " << c.pointerFrom << "→" << c.pointerTo;
}

TEST(Chrome, GripDragResizesTheWindowWithItsTopEdgeFixed)
{
    QWidget window;
    window.setGeometry(40, 30, width, 540);
    window.setMinimumSize(width, 294);
    window.setMaximumWidth(width);
    auto* grip = new ResizeGripView(&window);
    grip->move(width - 18, 300);
    showAndSettle(window);
    const QRect start = window.geometry();

    QTest::mousePress(grip, Qt::LeftButton, {}, QPoint(7, 7));
    QTest::mouseMove(grip, QPoint(7, 7 - 100));
    EXPECT_EQ(window.geometry(), QRect(start.topLeft(), QSize(width, 440)));
    QTest::mouseMove(grip, QPoint(7, 7 - 1000));
    EXPECT_EQ(window.geometry(), QRect(start.topLeft(), QSize(width, 294)));
    QTest::mouseMove(grip, QPoint(7, 7 + 2000));
    EXPECT_EQ(window.geometry(), QRect(start.topLeft(), QSize(width, 2540)));
    QTest::mouseRelease(grip, Qt::LeftButton, {}, QPoint(7, 7 + 2000));
    QTest::mouseMove(grip, QPoint(7, 7));
    EXPECT_EQ(window.height(), 2540) << "the drag ends with the release";
}

TEST(Chrome, DraggingTheToolbarMovesTheWindowButItsButtonsDoNot)
{
    ToolbarView toolbar;
    toolbar.setGeometry(100, 100, width, 158);
    int closes = 0;
    int minimises = 0;
    std::vector<QPoint> menus;
    toolbar.onClose = [&] { ++closes; };
    toolbar.onMinimise = [&] { ++minimises; };
    toolbar.onContextMenu = [&](QPoint at) { menus.push_back(at); };
    showAndSettle(toolbar);
    const QPoint start = toolbar.pos();

    QTest::mousePress(&toolbar, Qt::LeftButton, {}, QPoint(200, 100));
    QTest::mouseMove(&toolbar, QPoint(230, 120));
    QTest::mouseRelease(&toolbar, Qt::LeftButton, {}, QPoint(230, 120));
    EXPECT_EQ(toolbar.pos(), start + QPoint(30, 20));

    const QPoint moved = toolbar.pos();
    const auto buttons = toolbar.findChildren<WindowButton*>();
    ASSERT_EQ(buttons.size(), 3);
    for (WindowButton* button : buttons) {
        EXPECT_EQ(button->focusPolicy(), Qt::NoFocus);
        QTest::mousePress(button, Qt::LeftButton, {}, QPoint(6, 6));
        QTest::mouseMove(button, QPoint(8, 8));
        QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(8, 8));
    }
    EXPECT_EQ(toolbar.pos(), moved);
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(minimises, 1);
    ASSERT_EQ(menus.size(), 1u);
    EXPECT_GT(menus[0].x(), toolbar.mapToGlobal(QPoint(width / 2, 0)).x()) << "the menu button is at the right";
    EXPECT_LT(menus[0].y(), toolbar.mapToGlobal(QPoint(0, 40)).y());
}

TEST(Chrome, EveryPlainSurfaceMovesTheWindow)
{
    QWidget window;
    window.setGeometry(50, 60, width, 300);
    auto* header = new PlaylistHeaderView(&window);
    header->setGeometry(0, 0, width, 17);
    auto* speaker = new SpeakerIconView(2, &window);
    speaker->setGeometry(20, 40, 18, 12);
    auto* bar = new BottomBarView(&window);
    bar->setGeometry(0, 276, width, 24);
    showAndSettle(window);

    const std::pair<const char*, QWidget*> surfaces[] = { { "header", header }, { "speaker", speaker }, { "bottom bar", bar } };
    for (const auto& [name, surface] : surfaces) {
        const QPoint start = window.pos();
        QTest::mousePress(surface, Qt::RightButton, {}, QPoint(5, 5));
        QTest::mouseMove(surface, QPoint(25, 5));
        QTest::mouseRelease(surface, Qt::RightButton, {}, QPoint(25, 5));
        EXPECT_EQ(window.pos(), start) << name << ": only the left button drags";
        QTest::mousePress(surface, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseMove(surface, QPoint(15, 8));
        QTest::mouseRelease(surface, Qt::LeftButton, {}, QPoint(15, 8));
        EXPECT_EQ(window.pos(), start + QPoint(10, 3)) << name;
    }
}

TEST(Chrome, RightClickOnTheBarsAsksForTheMenuAtThePointer)
{
    ToolbarView toolbar;
    BottomBarView bar;
    std::vector<QPoint> menus;
    toolbar.onContextMenu = [&](QPoint at) { menus.push_back(at); };
    bar.onContextMenu = [&](QPoint at) { menus.push_back(at); };
    for (QWidget* view : std::initializer_list<QWidget*> { &toolbar, &bar }) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), QPoint(321, 654));
        QCoreApplication::sendEvent(view, &event);
    }
    EXPECT_EQ(menus, (std::vector<QPoint> { QPoint(321, 654), QPoint(321, 654) }));
}

TEST(Chrome, SettingTheTitleRepaintsOnlyTheTitle)
{
    ToolbarView toolbar;
    toolbar.resize(width, 158);
    showAndSettle(toolbar);
    const PaintRecorder* paints = new PaintRecorder(toolbar);
    toolbar.setTitle(QStringLiteral("Larkhaven"));
    QCoreApplication::processEvents();
    ASSERT_EQ(paints->rects.size(), 1u);
    EXPECT_EQ(paints->rects[0], QRect(80, 6, width - 160, 18));
    toolbar.setTitle(QStringLiteral("Larkhaven"));
    QCoreApplication::processEvents();
    EXPECT_EQ(paints->rects.size(), 1u);
}

} // namespace
} // namespace lh
