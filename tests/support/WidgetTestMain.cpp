#include "Accessibility.h"

#include <QApplication>

#include <gtest/gtest.h>

// View tests run with a widget application on the main thread, on Qt's offscreen platform
// unless another one is asked for, so no display is needed (CTest also runs the executable to
// list its tests, without the test's environment). The views' accessible interfaces are
// installed as the program installs them, so events the views send reach our interfaces, not
// Qt's generic ones.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    lh::installAccessibleInterfaces();
    return RUN_ALL_TESTS();
}
