// The background pass that fills the metadata cache, over 100,000 local files of four formats:
// files per second unbounded (what one file costs) and at the player's own rate, the process's
// CPU time and its disk reads and writes. Set LH_DROP_CACHES=1 (root) to start from a cold page
// cache; the library is made under the working folder, on a disk rather than in memory.
#include "CacheFiller.h"
#include "MediaTrackInfoReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int fileCount = 100'000;
constexpr int filesPerFolder = 100;

bool ffmpeg(const QStringList& arguments, const QString& output)
{
    QProcess process;
    process.start("ffmpeg", QStringList { "-hide_banner", "-loglevel", "error", "-nostdin", "-y" } + arguments + QStringList { output });
    return process.waitForFinished(120'000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

double cpuSeconds()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& time) { return double(time.tv_sec) + double(time.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Bytes this process had the disk read and write (/proc/self/io), page cache hits left out.
std::pair<double, double> diskBytes()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    double value = 0;
    double read = 0;
    double written = 0;
    while (io >> key >> value) {
        if (key == "read_bytes:")
            read = value;
        else if (key == "write_bytes:")
            written = value;
    }
    return { read, written };
}

// Songs a few tenths of a second long, tagged as rippers tag them, each copied (not linked) so
// every file is its own on the disk.
std::vector<lh::Track> makeLibrary(const QString& folder)
{
    const QStringList extensions { "mp3", "flac", "m4a", "ogg" };
    std::vector<std::string> sources;
    for (const QString& extension : extensions) {
        const QString source = folder + "/source." + extension;
        if (!ffmpeg({ "-f", "lavfi", "-i", "sine=frequency=440:duration=0.3", "-ac", "1", "-metadata", "title=A title",
                "-metadata", "artist=An artist", "-metadata", "album=An album", "-metadata", "track=3" },
                source)) {
            std::fprintf(stderr, "ffmpeg could not make %s\n", qPrintable(source));
            std::exit(1);
        }
        sources.push_back(source.toStdString());
    }
    std::vector<lh::Track> tracks;
    for (int file = 0; file < fileCount; ++file) {
        const std::string album = folder.toStdString() + "/Album " + std::to_string(file / filesPerFolder);
        if (file % filesPerFolder == 0)
            std::filesystem::create_directory(album);
        const std::string& source = sources[std::size_t(file) % sources.size()];
        const std::string path = album + "/" + std::to_string(file % filesPerFolder + 1) + " - Song." + source.substr(source.rfind('.') + 1);
        std::filesystem::copy_file(source, path);
        lh::Track track;
        track.url = lh::FileURL(path);
        tracks.push_back(std::move(track));
    }
    return tracks;
}

std::shared_ptr<lh::MetadataCache> openCache(const QString& folder)
{
    auto cache = std::make_shared<lh::MetadataCache>(folder.toStdString());
    std::promise<void> opened;
    cache->afterOpening([&opened] { opened.set_value(); });
    opened.get_future().wait();
    return cache;
}

void dropPageCache()
{
    if (!std::getenv("LH_DROP_CACHES"))
        return;
    ::sync();
    std::ofstream("/proc/sys/vm/drop_caches") << "3\n";
}

void backgroundPassOverHundredThousandFiles(benchmark::State& state)
{
    QTemporaryDir library(QDir::currentPath() + "/cache-filler-XXXXXX");
    const std::vector<lh::Track> tracks = makeLibrary(library.path());
    const auto reader = std::make_shared<lh::MediaTrackInfoReader>();
    for (auto _ : state) {
        // Unbounded: what a file costs.
        const auto cache = openCache(library.filePath("metadata"));
        dropPageCache();
        lh::CacheFiller::Options options;
        options.filesPerSecond = 0;
        const double cpuBefore = cpuSeconds();
        const auto [readBefore, writtenBefore] = diskBytes();
        const auto start = std::chrono::steady_clock::now();
        {
            lh::CacheFiller filler(reader, cache, options);
            filler.fill(tracks);
            while (!filler.isIdle())
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            state.counters["files"] = double(filler.readCount());
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double cpu = cpuSeconds() - cpuBefore;
        const auto [readAfter, writtenAfter] = diskBytes();
        state.counters["unbounded_files_per_s"] = fileCount / seconds;
        state.counters["unbounded_s"] = seconds;
        state.counters["cpu_s"] = cpu;
        state.counters["cpu_ms_per_file"] = 1000 * cpu / fileCount;
        state.counters["disk_read_MB"] = (readAfter - readBefore) / 1e6;
        state.counters["disk_written_MB"] = (writtenAfter - writtenBefore) / 1e6;

        // Again over the same files, all known now: what each later launch's pass costs.
        const double lookCpuBefore = cpuSeconds();
        const auto lookStart = std::chrono::steady_clock::now();
        {
            lh::CacheFiller filler(reader, cache, options);
            filler.fill(tracks);
            while (!filler.isIdle())
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            state.counters["known_pass_reads"] = double(filler.readCount());
        }
        const double lookSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - lookStart).count();
        state.counters["known_pass_files_per_s"] = fileCount / lookSeconds;
        state.counters["known_pass_cpu_s"] = cpuSeconds() - lookCpuBefore;

        // At the player's own rate, for ten seconds on a fresh cache.
        const auto bounded = openCache(library.filePath("metadata-bounded"));
        const double boundedCpuBefore = cpuSeconds();
        lh::CacheFiller filler(reader, bounded, {});
        filler.fill(tracks);
        std::this_thread::sleep_for(std::chrono::seconds(10));
        state.counters["bounded_files_per_s"] = double(filler.readCount()) / 10;
        state.counters["bounded_cpu_percent"] = 100 * (cpuSeconds() - boundedCpuBefore) / 10;
    }
}
BENCHMARK(backgroundPassOverHundredThousandFiles)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv); // for QProcess
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
