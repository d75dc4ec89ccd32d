#include "PlaylistListView.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>

#include <benchmark/benchmark.h>

namespace {

using namespace lh;

QStringList titles(int count)
{
    QStringList list;
    list.reserve(count);
    for (int i = 0; i < count; ++i)
        list << QStringLiteral("%1 - Some Artist - A Fairly Long Song Title, Part %2").arg(i + 1).arg(i % 7);
    return list;
}

// One screenful (20 rows, 360 × 380 points) in the middle of a list of `range(0)` rows, with
// times, download marks, a playing row and a selection.
void paintScreenful(benchmark::State& state)
{
    const int count = int(state.range(0));
    PlaylistListView list;
    list.resize(360, 380);
    list.show();
    QList<bool> uncached(count);
    for (int i = 0; i < count; i += 3)
        uncached[i] = true;
    list.setRows(std::make_shared<TextRows>(titles(count), QStringList(count, QStringLiteral("4:20")), std::move(uncached)));
    const int middle = count / 2;
    list.scrollToRow(middle + 10);
    list.setPlayingIndex(middle + 5);
    list.selectAll();

    QImage image(list.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&image);
        list.paint(painter, image.rect(), true);
    }
}
BENCHMARK(paintScreenful)->Arg(100)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMicrosecond);

void setRows(benchmark::State& state)
{
    const auto rows = std::make_shared<TextRows>(titles(int(state.range(0))));
    PlaylistListView view;
    view.resize(360, 380);
    view.selectAll();
    for (auto _ : state)
        view.setRows(rows);
}
BENCHMARK(setRows)->Arg(100'000)->Unit(benchmark::kMicrosecond);

} // namespace
