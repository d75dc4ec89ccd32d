#include <QCoreApplication>

#include <gtest/gtest.h>

// Every test runs with a Qt application object on the main thread, so main-thread work and
// timers behave as they do in the player.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
