#include "PlaylistFile.h"

#include <benchmark/benchmark.h>

namespace {

// A list as another player writes it for a large library: #EXTINF lines and absolute paths.
QByteArray m3u8(int entries)
{
    QByteArray out = "#EXTM3U\n";
    for (int i = 0; i < entries; ++i) {
        out += "#EXTINF:" + QByteArray::number(180 + i % 300) + ",Artist " + QByteArray::number(i / 12) + " - Song " + QByteArray::number(i) + '\n';
        out += "/home/user/Music/Artist " + QByteArray::number(i / 120) + "/Album " + QByteArray::number(i / 12) + '/'
            + QByteArray::number(i % 12 + 1) + " Song " + QByteArray::number(i) + ".flac\n";
    }
    return out;
}

void readingAHundredThousandEntryM3U8(benchmark::State& state)
{
    const QByteArray bytes = m3u8(100'000);
    const lh::FileURL listURL("/home/user/Music/all.m3u8");
    for (auto _ : state) {
        const auto contents = lh::PlaylistFile::read(listURL, bytes);
        if (contents.entries.size() != 100'000)
            state.SkipWithError("wrong entry count");
        benchmark::DoNotOptimize(contents);
    }
    state.counters["bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(readingAHundredThousandEntryM3U8)->Unit(benchmark::kMillisecond);

} // namespace
