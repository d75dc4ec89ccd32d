#include "AppDelegate.h"
#include "PlaylistStore.h"
#include "Preferences.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

namespace {

using namespace lh;
using Clock = std::chrono::steady_clock;

// The shown window, once its first picture is drawn: rendering it whole is what its first
// paint costs.
bool drawShownWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->windowTitle() == QStringLiteral("Larkhaven")) {
            widget->grab();
            return true;
        }
    }
    return false;
}

std::vector<Track> playlist(int count)
{
    std::vector<Track> tracks;
    tracks.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        Track track;
        track.url = FileURL("/home/me/Music/Artist " + std::to_string(i / 100) + "/Album/" + std::to_string(i) + " Song.flac");
        tracks.push_back(std::move(track));
    }
    return tracks;
}

// From the player's construction to the window shown with a restored playlist drawn: what a
// launch costs after the process and its libraries are loaded. The settings and cache folders
// are private to the run.
void launchToWindowShown(benchmark::State& state)
{
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path() + "/config"));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.path() + "/cache"));
    {
        Preferences defaults(Preferences::defaultFilePath());
        PlaylistStore(defaults, QStringLiteral("savedPlaylist")).save(playlist(int(state.range(0))));
        defaults.flush();
    }
    for (auto _ : state) {
        const auto start = Clock::now();
        auto delegate = std::make_unique<AppDelegate>(std::vector<FileURL> {});
        QApplication::processEvents();
        if (!drawShownWindow())
            state.SkipWithError("no window shown");
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        state.PauseTiming();
        delegate.reset();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(launchToWindowShown)->Arg(1'000)->Arg(100'000)->Arg(1'000'000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
