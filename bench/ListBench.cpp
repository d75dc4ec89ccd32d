#include "PlaylistListView.h"

#include <QAccessible>
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <fstream>

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

// Rows whose texts are made when asked, so a million of them cost no memory of their own.
class NumberedRows final : public PlaylistRows {
public:
    explicit NumberedRows(std::int64_t count)
        : count_(count)
    {
    }
    std::int64_t count() const override { return count_; }
    QString title(std::int64_t row) const override { return QStringLiteral("Artist - Song %1").arg(row + 1); }
    QString time(std::int64_t) const override { return QStringLiteral("4:20"); }
    bool isUncached(std::int64_t) const override { return false; }

private:
    std::int64_t count_;
};

double residentMegabytes()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// What a screen reader's asking for the selected rows of a selected million costs in memory,
// and what is left of it once the list is emptied: the resident set before, at the peak and
// after, in MB.
void accessibleRowsOfASelectedMillion(benchmark::State& state)
{
    for (auto _ : state) {
        PlaylistListView list;
        list.resize(360, 380);
        list.show();
        QApplication::processEvents();
        const double before = residentMegabytes();
        list.setRows(std::make_shared<NumberedRows>(state.range(0)));
        list.selectAll();
        QAccessibleInterface* table = QAccessible::queryAccessibleInterface(&list);
        benchmark::DoNotOptimize(table->tableInterface()->selectedCells().size());
        const double peak = residentMegabytes();
        const auto start = std::chrono::steady_clock::now();
        list.setRows(std::make_shared<NumberedRows>(0));
        const std::chrono::duration<double, std::milli> emptying = std::chrono::steady_clock::now() - start;
        QApplication::processEvents();
        state.counters["before_MB"] = before;
        state.counters["peak_MB"] = peak;
        state.counters["emptied_MB"] = residentMegabytes();
        state.counters["emptying_ms"] = emptying.count();
    }
}
BENCHMARK(accessibleRowsOfASelectedMillion)->Arg(1'000'000)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
