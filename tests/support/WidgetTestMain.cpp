#include <QApplication>

#include <gtest/gtest.h>

// View tests run with a widget application on the main thread, on Qt's offscreen platform
// unless another is chosen, so no display is needed (also when CTest lists the tests).
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
