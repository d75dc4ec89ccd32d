#include "MainWindowController.h"

#include "AboutPanelController.h"
#include "EventLoop.h"
#include "PlayerModel.h"
#include "PlaylistListView.h"
#include "Preferences.h"
#include "RootView.h"
#include "RootViewParts.h"
#include "TrackInfoPanelController.h"

#include <QApplication>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

#include <gtest/gtest.h>

namespace lh {
namespace {

// Counts what is sent besides the window's own reports of being shown or hidden.
class NoDispatcher final : public CommandDispatching {
public:
    int sent = 0;
    void perform(const Command& command) override
    {
        if (!dynamic_cast<const SetWindowShownCommand*>(&command) && !dynamic_cast<const ShowRowsCommand*>(&command))
            ++sent;
    }
};

struct MainWindowTest : ::testing::Test {
    QTemporaryDir dir;
    Preferences defaults { dir.path() + "/preferences.json" };
    PlayerModel model;
    NoDispatcher dispatcher;
};

TEST_F(MainWindowTest, AWindowManagerCloseOnlyHidesTheWindow)
{
    MainWindowController controller(model, dispatcher, defaults);
    controller.showWindow();
    RootView& window = controller.rootView();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_FALSE(window.close());
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(dispatcher.sent, 0);
    controller.showWindow();
    EXPECT_TRUE(window.isVisible());
}

TEST(MainWindowPlacement, CentredWithTheToolbarOnTheScreenAndTheHeightFitted)
{
    struct Case {
        const char* name;
        QSize size;
        int minimumHeight;
        QRect available;
        QRect expected;
    };
    const Case cases[] = {
        { "fits", { 360, 540 }, 294, { 0, 0, 1920, 1080 }, { 780, 270, 360, 540 } },
        { "panel at the top", { 360, 540 }, 294, { 0, 27, 1920, 1053 }, { 780, 283, 360, 540 } },
        { "taller than a 1280x800 screen at scale 2", { 360, 540 }, 294, { 0, 0, 640, 400 }, { 140, 0, 360, 400 } },
        { "second screen", { 360, 540 }, 294, { 1920, 100, 640, 380 }, { 2060, 100, 360, 380 } },
        { "shorter than the playlist's minimum", { 360, 540 }, 294, { 0, 0, 640, 200 }, { 140, 0, 360, 294 } },
        { "collapsed", { 360, 158 }, 158, { 0, 0, 640, 400 }, { 140, 121, 360, 158 } },
    };
    for (const Case& c : cases)
        EXPECT_EQ(MainWindowController::initialGeometry(c.size, c.minimumHeight, c.available), c.expected) << c.name;
}

// What Qt draws itself in the window keeps light colours on a dark desktop.
TEST_F(MainWindowTest, TheLookStaysLightOnADarkDesktop)
{
    const QPalette desktop = QApplication::palette();
    const QPalette desktopTips = QToolTip::palette();
    QPalette dark(QColor(40, 40, 40));
    dark.setColor(QPalette::ToolTipBase, QColor(30, 30, 30));
    dark.setColor(QPalette::ToolTipText, Qt::white);
    QApplication::setPalette(dark);
    QToolTip::setPalette(dark);

    {
        MainWindowController controller(model, dispatcher, defaults);
        const QScrollBar& bar = *controller.rootView().list().verticalScrollBar();
        for (const QPalette::ColorRole role : { QPalette::Window, QPalette::Button, QPalette::Base })
            EXPECT_GT(bar.palette().color(role).lightnessF(), 0.8) << role;
        controller.rootView().showAbout();
        for (const QWidget* panel : { &RootViewParts::infoPanel(controller.rootView()).panel(), RootViewParts::aboutPanel(controller.rootView()).panel() })
            EXPECT_GT(panel->palette().color(QPalette::Window).lightnessF(), 0.8) << panel->windowTitle().toStdString();
        EXPECT_GT(QToolTip::palette().color(QPalette::ToolTipBase).lightnessF(), 0.8);
        EXPECT_LT(QToolTip::palette().color(QPalette::ToolTipText).lightnessF(), 0.2);
    }
    QApplication::setPalette(desktop);
    QToolTip::setPalette(desktopTips);
}

} // namespace
} // namespace lh
