#include "LCDView.h"

#include "LeopardSlider.h"
#include "StringDrawing.h"
#include "Theme.h"

#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <vector>

namespace lh {
namespace {

constexpr int viewWidth = 336;
constexpr int viewHeight = 72;

TEST(LCDView, LitSegmentsRoundsHalvesUpAndIgnoresNonFiniteLevels)
{
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double level;
        int lit;
    } cases[] = {
        { 0, 0 },
        { 0.5, 16 },
        { 1.0 / 64, 1 },
        { 0.99, 32 },
        { 1.2, 38 },
        { -0.1, -3 },
        { std::nan(""), 0 },
        { inf, 0 },
        { -inf, 0 },
        { 1e300, std::numeric_limits<int>::max() },
        { -1e300, std::numeric_limits<int>::min() },
    };
    for (const auto& c : cases)
        EXPECT_EQ(LCDView::litSegments(c.level), c.lit) << "level " << c.level;
}

QImage render(const LCDView& view, double ratio = 1)
{
    QImage image(view.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Theme::grey(0.5)); // the toolbar's mid grey, so the light edge below shows
    QPainter painter(&image);
    view.paint(painter, QRegion(view.rect()));
    return image;
}

// The colour `over` gives when painted on `under`.
QColor composed(const QColor& over, const QColor& under)
{
    const double a = over.alphaF();
    auto mix = [a](double top, double bottom) { return top * a + bottom * (1 - a); };
    return QColor::fromRgbF(float(mix(over.redF(), under.redF())), float(mix(over.greenF(), under.greenF())),
        float(mix(over.blueF(), under.blueF())));
}

void expectColor(const QImage& image, int x, int y, const QColor& expected, int tolerance = 2)
{
    const QColor actual = image.pixelColor(x, y);
    EXPECT_NEAR(actual.red(), expected.red(), tolerance) << "at " << x << "," << y;
    EXPECT_NEAR(actual.green(), expected.green(), tolerance) << "at " << x << "," << y;
    EXPECT_NEAR(actual.blue(), expected.blue(), tolerance) << "at " << x << "," << y;
}

// The body gradient at pixel row y: it runs over the bezel from y 0.5 to 70.5.
QColor bezelAt(int y)
{
    const double t = (y + 0.5 - 0.5) / (viewHeight - 2);
    const QColor top = Theme::lcdTop();
    const QColor bottom = Theme::lcdBottom();
    auto mix = [t](double a, double b) { return a + (b - a) * t; };
    return QColor::fromRgbF(float(mix(top.redF(), bottom.redF())), float(mix(top.greenF(), bottom.greenF())),
        float(mix(top.blueF(), bottom.blueF())));
}

struct LCDViewPicture : testing::Test {
    LCDView view;
    LCDViewPicture() { view.resize(viewWidth, viewHeight); }
};

TEST_F(LCDViewPicture, BezelRunsFromTheTopColourToTheBottomColourAtEachPixelRatio)
{
    // One view, so the second and third pictures must not reuse the first one's pixels.
    for (double ratio : { 1.0, 2.0, 1.0 }) {
        const QImage image = render(view, ratio);
        const int device = int(ratio);
        expectColor(image, 6 * device, 8 * device, bezelAt(8), 3);
        expectColor(image, 6 * device, 67 * device, bezelAt(67), 3);
        EXPECT_GT(image.pixelColor(6 * device, 8 * device).lightness(), image.pixelColor(6 * device, 67 * device).lightness() + 15);
        // The border's lowest device pixel row, then the light edge below it.
        expectColor(image, 100 * device, 71 * device - 1, Theme::lcdBorder(), 40);
        EXPECT_GT(image.pixelColor(100 * device, 72 * device - 1).lightness(), 200);
    }
}

TEST_F(LCDViewPicture, MeterRowsSitCentredWithPeakAndGhostSegments)
{
    view.setLeftLevel(1.0);
    view.setRightLevel(0.5);
    const QImage image = render(view);
    const QColor lit = composed(Theme::lcdSegment(), bezelAt(38));
    expectColor(image, 74, 38, lit, 3); // first segment of row 0
    expectColor(image, 73 + 6 * 27 + 1, 38, lit, 3); // last normal segment
    expectColor(image, 73 + 6 * 28 + 1, 38, Theme::lcdSegmentPeak(), 1); // first peak segment
    expectColor(image, 262, 37, Theme::lcdSegmentPeak(), 1); // last pixel of the 190-point row
    expectColor(image, 263, 38, bezelAt(38)); // right of the row
    expectColor(image, 72, 38, bezelAt(38)); // left of the row
    expectColor(image, 77, 38, bezelAt(38)); // the gap after the first segment
    expectColor(image, 74, 36, bezelAt(36)); // above row 0

    // Row 1 at y 42: 16 lit, then faint ghosts.
    expectColor(image, 74, 41, bezelAt(41));
    expectColor(image, 73 + 6 * 15 + 1, 42, composed(Theme::lcdSegment(), bezelAt(42)), 3);
    expectColor(image, 73 + 6 * 16 + 1, 44, composed(Theme::lcdSegmentGhost(), bezelAt(44)), 1);
    EXPECT_LT(image.pixelColor(73 + 6 * 16 + 1, 44).lightness(), bezelAt(44).lightness());
    expectColor(image, 74, 45, bezelAt(45));
}

TEST(LCDView, EmptyViewPaintsNothing)
{
    LCDView view;
    view.resize(0, 0);
    QImage image(4, 4, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    view.paint(painter, QRegion(0, 0, 4, 4));
    EXPECT_EQ(image.pixelColor(1, 1), QColor(Qt::white));
}

TEST_F(LCDViewPicture, FormatTextReplacesTheMeterWhenItIsOff)
{
    view.setLeftLevel(1.0);
    view.setShowsMeter(false);
    expectColor(render(view), 74, 38, bezelAt(38));
}

TEST_F(LCDViewPicture, LongTitleEndsInAnEllipsis)
{
    const QString longTitle = QStringLiteral("A Very Long Title That Cannot Possibly Fit Into The Display Line Of The LCD");
    const QString shown = elided(longTitle, Theme::font(11, true), LCDView::titleRect(viewWidth).width());
    ASSERT_TRUE(shown.endsWith(QChar(0x2026)));
    ASSERT_LT(shown.size(), longTitle.size());

    // The view draws exactly the elided text: the same picture as being given it.
    view.setTitle(longTitle);
    const QImage drawn = render(view);
    view.setTitle(shown);
    EXPECT_EQ(drawn, render(view));
    view.setTitle(QString());
    EXPECT_NE(drawn, render(view));
}

// The view, shown, recording the regions of its paint events.
class RecordingLCDView : public LCDView {
public:
    QRegion painted;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        painted += event->region();
        LCDView::paintEvent(event);
    }
};

struct LCDViewRepaint : testing::Test {
    RecordingLCDView view;

    LCDViewRepaint()
    {
        view.resize(viewWidth, viewHeight);
        view.setLeftLevel(0.5);
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
        EXPECT_TRUE(QTest::qWaitFor([this] { return !view.painted.isEmpty(); }));
        view.painted = {};
    }

    // Waits for the next repaint, which a change of the elapsed text forces, and returns what
    // was painted apart from that text: so a test of "nothing" cannot pass by not waiting.
    QRegion repaintedBesidesElapsedText()
    {
        view.setElapsedText(view.elapsedText() + QLatin1Char('0'));
        EXPECT_TRUE(QTest::qWaitFor([this] { return view.painted.intersects(LCDView::elapsedRect()); }));
        return view.painted - LCDView::elapsedRect();
    }
};

TEST_F(LCDViewRepaint, SameTextsRepaintNothing)
{
    view.setTitle(QString());
    view.setRemainingText(QStringLiteral("-0:00"));
    view.setShowsMeter(true);
    EXPECT_TRUE(repaintedBesidesElapsedText().isEmpty());
}

TEST_F(LCDViewRepaint, ChangeRepaintsItsOwnLineOnly)
{
    const struct {
        const char* what;
        std::function<void(LCDView&)> change;
        QRect rect;
    } cases[] = {
        { "title", [](LCDView& v) { v.setTitle(QStringLiteral("Night Train")); }, LCDView::titleRect(viewWidth) },
        { "artist", [](LCDView& v) { v.setArtist(QStringLiteral("Oscar Peterson")); }, LCDView::artistRect(viewWidth) },
        { "format", [](LCDView& v) { v.setFormatText(QStringLiteral("MP3")); }, LCDView::formatRect(viewWidth) },
        { "meter", [](LCDView& v) { v.setShowsMeter(false); }, LCDView::formatRect(viewWidth) },
        { "remaining", [](LCDView& v) { v.setRemainingText(QStringLiteral("-4:40")); }, QRect(290, 51, 40, 13) },
        { "right level", [](LCDView& v) { v.setRightLevel(0.1); }, QRect(73, 42, 190, 3) },
    };
    for (const auto& c : cases) {
        view.painted = {};
        c.change(view);
        EXPECT_EQ(repaintedBesidesElapsedText(), QRegion(c.rect)) << c.what;
    }
}

TEST_F(LCDViewRepaint, LevelRepaintsItsRowOnlyWhenASegmentTurns)
{
    view.setLeftLevel(0.51); // 16 segments, as for 0.50
    EXPECT_TRUE(repaintedBesidesElapsedText().isEmpty());
    view.painted = {};
    view.setLeftLevel(0.52); // 17
    EXPECT_EQ(repaintedBesidesElapsedText(), QRegion(LCDView::meterRowRect(viewWidth, 0)));
}

// Counts the paint events an object receives.
struct PaintCounter : QObject {
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        count += event->type() == QEvent::Paint;
        return false;
    }
};

// Playing moves the time twenty times a second, the knob of a four-minute track a pixel about
// every second: only that is worth a repaint.
TEST_F(LCDViewRepaint, TheSliderRepaintsOnlyWhenItsKnobMovesAPixel)
{
    LeopardSlider& slider = view.progressSlider();
    PaintCounter paints;
    slider.installEventFilter(&paints);
    slider.setRange(0, 240);
    slider.setValue(0);
    repaintedBesidesElapsedText();
    paints.count = 0;
    for (const double seconds : { 0.05, 0.1, 10.0 }) {
        view.painted = {};
        slider.setValue(seconds);
        repaintedBesidesElapsedText();
    }
    EXPECT_EQ(paints.count, 1);
}

TEST_F(LCDViewRepaint, LevelsBeyondTheRowRepaintNothing)
{
    view.setRightLevel(-0.1);
    view.setRightLevel(std::nan(""));
    view.setLeftLevel(1.0);
    repaintedBesidesElapsedText();
    view.painted = {};
    view.setLeftLevel(1.2);
    EXPECT_TRUE(repaintedBesidesElapsedText().isEmpty());
}

TEST(LCDViewMouse, MeterAreaAndSliderKeepLeftPressesTheBezelLeavesThemToTheParent)
{
    struct Parent : QWidget {
        int presses = 0;
        void mousePressEvent(QMouseEvent*) override { ++presses; }
    } parent;
    LCDView* view = new LCDView(&parent);
    view->resize(viewWidth, viewHeight);
    parent.resize(400, 100);
    parent.show();
    EXPECT_EQ(view->meterArea().geometry(), LCDView::formatRect(viewWidth));
    EXPECT_EQ(view->progressSlider().geometry(), QRect(50, 50, viewWidth - 100, 15));
    int clicks = 0;
    view->meterArea().onClick = [&clicks] { ++clicks; };

    QTest::mousePress(&view->meterArea(), Qt::LeftButton, {}, QPoint(100, 5));
    QTest::mouseRelease(&view->meterArea(), Qt::LeftButton, {}, QPoint(100, 5));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(parent.presses, 0);

    QTest::mousePress(&view->meterArea(), Qt::RightButton, {}, QPoint(100, 5));
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(20, 10)); // on the bezel: may move the window
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(parent.presses, 2);

    QTest::mousePress(&view->progressSlider(), Qt::LeftButton, {}, QPoint(30, 7));
    QTest::mouseRelease(&view->progressSlider(), Qt::LeftButton, {}, QPoint(30, 7));
    EXPECT_EQ(parent.presses, 2);
}

} // namespace
} // namespace lh
