#include "AboutView.h"
#include "AboutPanelController.h"
#include "WindowButton.h"

#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

namespace lh {
namespace {

TEST(AboutView, VersionLine)
{
    EXPECT_EQ(AboutView::versionLine(QStringLiteral("1.2"), QStringLiteral("45"), false), "Version 1.2");
    EXPECT_EQ(AboutView::versionLine(QStringLiteral("1.2"), QStringLiteral("45"), true), "Version 1.2-45");
    EXPECT_EQ(AboutView::versionLine(std::nullopt, QStringLiteral("45"), false), "Version dev");
    EXPECT_EQ(AboutView::versionLine(QStringLiteral("1.2"), std::nullopt, true), "Version 1.2-");
}

TEST(AboutView, AClickOnALinkOpensItsFile)
{
    AboutView view;
    std::vector<QUrl> opened;
    view.openURL = [&](const QUrl& url) { opened.push_back(url); };
    view.grab(); // lays out the links
    ASSERT_EQ(view.linkRects().size(), 2u);
    const QRectF readMe = view.linkRects()[0].rect;
    const QRectF license = view.linkRects()[1].rect;
    EXPECT_NEAR(readMe.left() + (license.right() - readMe.left()) / 2, AboutView::width / 2.0, 1.0); // centred
    EXPECT_EQ(readMe.top(), 236);

    QTest::mouseClick(&view, Qt::LeftButton, {}, license.center().toPoint());
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(5, 5)); // not a link
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_TRUE(opened[0].isLocalFile());
    EXPECT_TRUE(opened[0].toLocalFile().endsWith("/LICENSE"));
}

TEST(AboutView, DrawsTheIconAndTheWordmark)
{
    AboutView view;
    const QImage image = view.grab().toImage();
    // The icon's dark outline at its left edge, and wordmark ink right of the lockup's "by".
    const QColor iconEdge = image.pixelColor(int((360 - 96) / 2 + 4), 34 + 48);
    EXPECT_LT(iconEdge.lightnessF(), 0.6);
    bool inked = false;
    for (int x = 180; x < 320 && !inked; ++x) {
        for (int y = 150; y < 166 && !inked; ++y)
            inked = image.pixelColor(x, y).red() < 140 && image.pixelColor(x, y).red() > image.pixelColor(x, y).blue();
    }
    EXPECT_TRUE(inked);
}

TEST(AboutPanelController, TheViewFillsThePanelAndItsBackgroundMovesIt)
{
    AboutPanelController controller;
    controller.show();
    QWidget& panel = *controller.panel();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    EXPECT_TRUE(panel.windowFlags() & Qt::FramelessWindowHint);
    auto* view = panel.findChild<AboutView*>();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->geometry(), panel.rect());
    view->grab(); // lays out the links
    std::vector<QUrl> opened;
    view->openURL = [&](const QUrl& url) { opened.push_back(url); };

    // Offscreen there is no window manager to take the move: the panel follows the pointer.
    const QPoint start = panel.pos();
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(40, 200));
    QTest::mouseMove(view, QPoint(70, 220));
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(70, 220));
    EXPECT_EQ(panel.pos(), start + QPoint(30, 20));

    const QPoint link = view->linkRects()[0].rect.center().toPoint();
    QTest::mousePress(view, Qt::LeftButton, {}, link);
    QTest::mouseMove(view, link + QPoint(0, 1));
    QTest::mouseRelease(view, Qt::LeftButton, {}, link + QPoint(0, 1));
    EXPECT_EQ(panel.pos(), start + QPoint(30, 20)) << "a link does not move the panel";
    EXPECT_EQ(opened.size(), 1u);

    controller.show();
    EXPECT_EQ(panel.pos(), start + QPoint(30, 20)) << "a visible panel stays where the user put it";
    auto* close = view->findChild<WindowButton*>();
    ASSERT_NE(close, nullptr);
    QTest::mouseClick(close, Qt::LeftButton, {}, QPoint(6, 6));
    EXPECT_FALSE(panel.isVisible());
    controller.show();
    EXPECT_TRUE(panel.isVisible());
    QTest::keyClick(view, Qt::Key_Escape);
    EXPECT_FALSE(panel.isVisible());
}

} // namespace
} // namespace lh
