#include "AudioFileCache.h"
#include "NetworkFiles.h"

#include "ChildProcess.h"
#include "SshfsShare.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A temporary folder that removes itself.
class ScratchFolder {
public:
    ScratchFolder()
    {
        char pattern[] = "/tmp/lh-bench-XXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~ScratchFolder() { std::filesystem::remove_all(path_); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

void writeFile(const std::string& path, std::size_t size)
{
    std::string block(1 << 20, '\0');
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>(i * 2654435761u >> 13);
    std::ofstream out(path, std::ios::binary);
    for (std::size_t written = 0; written < size; written += block.size())
        out.write(block.data(), static_cast<std::streamsize>(std::min(block.size(), size - written)));
}

double seconds(Clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

// A 200 MB file from a real sshfs share into the cache, against `cp` of the same file in the
// same run; the iteration time is the cache's. The order alternates so neither profits from
// going second, and the ratio is the median over the pairs, so a burst of load on a shared
// machine skews one pair, not the figure.
void copyFromShareAgainstCp(benchmark::State& state)
{
    if (const std::string reason = lh::test::SshfsShare::unavailableReason(); !reason.empty()) {
        state.SkipWithError(("no real share: " + reason).c_str());
        return;
    }
    constexpr std::size_t size = 200'000'000;
    lh::test::SshfsShare share;
    writeFile(share.servedFolder() + "/album.flac", size);
    const lh::FileURL source(share.mountPoint() + "/album.flac");
    ScratchFolder scratch;
    lh::AudioFileCache cache(lh::FileURL(scratch.path() + "/cache", true), 10'000'000'000);
    lh::NetworkFiles files;
    const std::string cpDestination = scratch.path() + "/cp-copy";

    const auto byCp = [&] {
        const auto start = Clock::now();
        if (!lh::test::ChildProcess::run({ "cp", source.path(), cpDestination }, "/dev/null", std::chrono::minutes(2)))
            state.SkipWithError("cp failed");
        const auto elapsed = Clock::now() - start;
        ::unlink(cpDestination.c_str());
        return elapsed;
    };
    const auto intoCache = [&] {
        const auto start = Clock::now();
        const lh::FileURL partial = cache.partial(source);
        files.copy(source, partial, [] {});
        const lh::FileURL copy = cache.add(partial, source);
        const auto elapsed = Clock::now() - start;
        ::unlink(copy.path().c_str());
        return elapsed;
    };

    double cpTotal = 0;
    double cacheTotal = 0;
    std::vector<double> ratios;
    bool isCpFirst = true;
    for (auto _ : state) {
        Clock::duration cp {};
        Clock::duration cached {};
        if (isCpFirst) {
            cp = byCp();
            cached = intoCache();
        } else {
            cached = intoCache();
            cp = byCp();
        }
        isCpFirst = !isCpFirst;
        cpTotal += seconds(cp);
        cacheTotal += seconds(cached);
        ratios.push_back(seconds(cp) / seconds(cached));
        state.SetIterationTime(seconds(cached));
    }
    const double megabytes = static_cast<double>(size) / 1e6 * static_cast<double>(state.iterations());
    state.counters["cache_MBps"] = megabytes / cacheTotal;
    state.counters["cp_MBps"] = megabytes / cpTotal;
    std::ranges::sort(ratios);
    state.counters["median_ratio_to_cp"] = ratios[ratios.size() / 2];
}
BENCHMARK(copyFromShareAgainstCp)->UseManualTime()->Iterations(9)->Unit(benchmark::kMillisecond);

// Adding one copy to a folder of 10,000 at the limit: eviction lists, sorts and deletes the
// oldest, so the folder stays at 10,000.
void addWithEvictionOverTenThousandCopies(benchmark::State& state)
{
    constexpr int count = 10'000;
    constexpr std::size_t size = 1024;
    ScratchFolder scratch;
    const std::string folder = scratch.path() + "/cache";
    std::filesystem::create_directories(folder);
    for (int i = 0; i < count; ++i) {
        const std::string path = folder + "/" + std::to_string(i) + ".flac";
        writeFile(path, size);
        const timespec times[2] { { 1'000'000 + i, 0 }, { 1'000'000 + i, 0 } };
        ::utimensat(AT_FDCWD, path.c_str(), times, 0);
    }
    lh::AudioFileCache cache(lh::FileURL(folder, true), count * static_cast<std::int64_t>(size));
    int next = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const lh::FileURL source("/mnt/nas/new/" + std::to_string(next++) + ".flac");
        const lh::FileURL partial = cache.partial(source);
        writeFile(partial.path(), size);
        state.ResumeTiming();
        benchmark::DoNotOptimize(cache.add(partial, source));
    }
    state.counters["copies_in_folder"] = static_cast<double>(std::distance(std::filesystem::directory_iterator(folder), {}));
}
BENCHMARK(addWithEvictionOverTenThousandCopies)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
