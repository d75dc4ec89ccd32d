#include <QApplication>

#include <gtest/gtest.h>

// View tests run with a widget application on the main thread; CTest sets Qt's offscreen
// platform, so no display is needed.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
