#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdlib>

// Every test runs with a Qt application object on the main thread, so main-thread work and
// timers behave as they do in the player.
int main(int argc, char** argv)
{
    // Tests hear nothing unless they ask for a driver: the player does not play where it has
    // no device, and CTest's environment for discovered tests keeps only its first variable.
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
