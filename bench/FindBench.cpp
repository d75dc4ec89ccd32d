#include "FindQuery.h"
#include "PlaylistSort.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

using namespace lh;

// A million rows as a NAS library names them; one in twenty under an accented folder.
const std::vector<Track>& millionRows()
{
    static const std::vector<Track> tracks = [] {
        std::vector<Track> rows;
        rows.reserve(1'000'000);
        for (int row = 0; row < 1'000'000; ++row) {
            const std::string artist = row % 20 == 0 ? "Beyoncé " : "Artist ";
            rows.emplace_back().url = FileURL("/media/nas/Music/" + artist + std::to_string(row / 1000) + "/Album " + std::to_string(row / 10 % 100)
                + "/" + std::to_string(row % 10 + 1) + " Song " + std::to_string(row) + ".flac");
        }
        return rows;
    }();
    return tracks;
}

// The whole list matched against two typed words: the work of one keystroke's search, done in
// the background, and how many rows it finds.
void findInAMillionRows(benchmark::State& state)
{
    const std::vector<Track>& tracks = millionRows();
    const FindQuery query(QStringLiteral("beyonce song 7"));
    std::size_t found = 0;
    for (auto _ : state) {
        found = 0;
        for (const Track& track : tracks)
            found += query.matches(track) ? 1 : 0;
    }
    state.counters["matches"] = double(found);
}
BENCHMARK(findInAMillionRows)->Unit(benchmark::kMillisecond);

// Sorting a million rows by name, off the main thread: the permutation the list then takes.
void sortAMillionRowsByName(benchmark::State& state)
{
    const std::vector<Track>& tracks = millionRows();
    for (auto _ : state)
        benchmark::DoNotOptimize(PlaylistSort::permutation(tracks, PlaylistSort::Order::byName, {}, {}, {}));
}
BENCHMARK(sortAMillionRowsByName)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
