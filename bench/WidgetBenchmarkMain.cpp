#include "Accessibility.h"
#include "BenchmarkRun.h"
#include "Heap.h"

#include <QApplication>

#include <benchmark/benchmark.h>

// The entry of the benchmarks of views: a widget application on Qt's offscreen platform, so
// they need no display, and no sound device either.
int main(int argc, char** argv)
{
    lh::Heap::settleFreesWhereTheyHappen(); // as the program does
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("SDL_AUDIODRIVER", "dummy");
    QApplication app(argc, argv);
    lh::installAccessibleInterfaces(); // as the program does: the views' events reach our interfaces
    return runBenchmarks(argc, argv);
}
