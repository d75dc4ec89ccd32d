#include "MetadataCache.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

namespace {

constexpr int fileCount = 1'000'000;
constexpr int screenful = 64;
constexpr int lookupsPerJob = 4096;

// Paths as a large library names them: artist and album folders, numbered titles.
std::string pathOf(int file)
{
    const int artist = file / 1000;
    const int album = file / 12;
    return "/home/someone/Music/Artist number " + std::to_string(artist) + "/Album number " + std::to_string(album)
        + "/" + std::to_string(file % 12 + 1) + " - The title of song number " + std::to_string(file) + ".flac";
}

lh::FileFacts factsOf(int file)
{
    lh::FileFacts facts;
    facts.stamp = { 30'000'000 + file, 1'700'000'000'000'000'000 + std::int64_t(file) };
    facts.stream = lh::StreamInfo { 180.0 + file % 300, 900'000, 44'100.0, 2, { -7.5f, 0.98f, -8.1f, 0.99f } };
    lh::MediaTags tags;
    tags.title = QStringLiteral("The title of song number %1").arg(file);
    tags.artists = { QStringLiteral("Artist number %1").arg(file / 1000) };
    tags.album = QStringLiteral("Album number %1").arg(file / 12);
    tags.trackNumber = file % 12 + 1;
    tags.year = QStringLiteral("1999");
    tags.genres = { QStringLiteral("Jazz") };
    facts.tags = tags;
    facts.hasEmbeddedCueSheet = false;
    return facts;
}

void waitUntilOpen(lh::MetadataCache& cache)
{
    std::promise<void> opened;
    cache.afterOpening([&opened] { opened.set_value(); });
    opened.get_future().wait();
}

// A million files learned once, then looked up as a launch does: the first screenful, then all.
void millionLookupsAtLaunch(benchmark::State& state)
{
    QTemporaryDir folder;
    const std::string path = folder.filePath(QStringLiteral("metadata")).toStdString();
    const auto fillStart = std::chrono::steady_clock::now();
    {
        lh::MetadataCache cache(path);
        for (int file = 0; file < fileCount; ++file)
            cache.record(pathOf(file), factsOf(file));
    } // written whole before the cache is gone
    const double fillSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - fillStart).count();

    for (auto _ : state) {
        lh::MetadataCache cache(path);
        waitUntilOpen(cache);
        const auto start = std::chrono::steady_clock::now();
        int found = 0;
        const auto lookUp = [&](int first, int end) {
            std::vector<std::string> paths;
            for (int file = first; file < end; ++file)
                paths.push_back(pathOf(file));
            for (const auto& duration : cache.knownDurations(paths))
                found += duration.has_value();
        };
        lookUp(0, screenful);
        const auto firstScreenful = std::chrono::steady_clock::now();
        for (int file = 0; file < fileCount; file += lookupsPerJob) // as the launch does
            lookUp(file, std::min(fileCount, file + lookupsPerJob));
        const auto all = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(found);
        state.counters["firstScreenful_ms"] = std::chrono::duration<double, std::milli>(firstScreenful - start).count();
        state.counters["allRows_ms"] = std::chrono::duration<double, std::milli>(all - start).count();
        state.counters["found"] = found;
    }
    std::uintmax_t bytes = 0;
    for (const auto& entry : std::filesystem::directory_iterator(path))
        bytes += entry.file_size();
    state.counters["fill_s"] = fillSeconds;
    state.counters["bytesPerFile"] = double(bytes) / fileCount;
}
BENCHMARK(millionLookupsAtLaunch)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
