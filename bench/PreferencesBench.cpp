#include "BenchmarkRun.h"
#include "Preferences.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

QJsonArray savedPlaylist(int count)
{
    QJsonArray playlist;
    for (int i = 0; i < count; ++i) {
        playlist.append(QJsonObject {
            { "path", QStringLiteral("/mnt/nas/music/Artist %1/Album/%2.flac").arg(i % 500).arg(i) },
            { "start", 0.0 },
            { "remote", true },
        });
    }
    return playlist;
}

// The main thread's share of saving a 100,000-track playlist: set() must hand the
// serialising and the disk write to the writer thread and return at once.
void savePlaylistMainThreadTime(benchmark::State& state)
{
    QTemporaryDir dir;
    lh::Preferences preferences(dir.path() + "/preferences.json");
    const QJsonArray playlist = savedPlaylist(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        QJsonArray copy = playlist; // a fresh value each time, as the playlist store makes
        copy.append(QJsonValue()); // detached: the store may not share the caller's buffer
        state.ResumeTiming();
        preferences.set(copy, "savedPlaylist");
        state.PauseTiming();
        preferences.flush(); // not measured: the writer thread's work
        state.ResumeTiming();
    }
}
BENCHMARK(savePlaylistMainThreadTime)->Arg(100'000)->Unit(benchmark::kMicrosecond)->Iterations(20);

// The writer thread's work for the same playlist, for comparison: serialise and write.
void savePlaylistWriterTime(benchmark::State& state)
{
    QTemporaryDir dir;
    lh::Preferences preferences(dir.path() + "/preferences.json");
    const QJsonArray playlist = savedPlaylist(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        preferences.set(playlist, "savedPlaylist");
        preferences.flush();
    }
}
BENCHMARK(savePlaylistWriterTime)->Arg(100'000)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return runBenchmarks(argc, argv);
}
