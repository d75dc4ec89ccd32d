#include "ActivationRepair.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace lh {
namespace {

// A key reaching a window Qt believes inactive: the window is made active again, and the key
// goes to the window's own enabled shortcut (consumed) or on to the focused widget.
TEST(ActivationRepair, AKeyForAWindowQtThinksInactiveReachesItsShortcut)
{
    struct Case {
        const char* name;
        bool isActive;
        bool isEnabled;
        QKeyCombination key;
        int triggered;
        bool reachesWidget;
    };
    const Case cases[] {
        { "inactive: the window's shortcut", false, true, Qt::CTRL | Qt::Key_L, 1, false },
        { "inactive: a disabled item's key", false, false, Qt::CTRL | Qt::Key_L, 0, true },
        { "inactive: no item's key", false, true, Qt::CTRL | Qt::Key_K, 0, true },
        { "active: Qt's own shortcuts answer, not this", true, true, Qt::CTRL | Qt::Key_L, 0, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget window;
        auto* field = new QLineEdit(&window);
        QAction action(&window);
        action.setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
        action.setEnabled(c.isEnabled);
        window.addAction(&action);
        int triggered = 0;
        QObject::connect(&action, &QAction::triggered, [&] { ++triggered; });
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        QApplication::setActiveWindow(c.isActive ? &window : nullptr);
        // Straight to the filter: sent through the application, the key would meet Qt's own
        // shortcuts first, which on this platform still see the window as focused.
        ActivationRepair repair;
        QKeyEvent press(QEvent::KeyPress, c.key.key(), c.key.keyboardModifiers());
        const bool isConsumed = repair.eventFilter(field, &press);

        EXPECT_EQ(triggered, c.triggered);
        EXPECT_EQ(QApplication::activeWindow(), &window);
        EXPECT_EQ(isConsumed, !c.reachesWidget) << "a key is either a shortcut or typed, never both";
    }
}

} // namespace
} // namespace lh
