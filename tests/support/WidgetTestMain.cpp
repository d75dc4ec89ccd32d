#include <QApplication>

#include <gtest/gtest.h>

// View tests run with a widget application on the main thread, on Qt's offscreen platform
// unless another one is asked for, so no display is needed (CTest also runs the executable to
// list its tests, without the test's environment).
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
