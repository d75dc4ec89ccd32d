#include "BenchmarkRun.h"
#include "MediaFile.h"
#include "MediaTrackInfoReader.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int streamFileCount = 1000;
constexpr int fullInfoFileCount = 100;

bool runTool(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.closeWriteChannel();
    return process.waitForFinished(120'000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool ffmpeg(const QStringList& arguments, const QString& output)
{
    return runTool("ffmpeg", QStringList { "-hide_banner", "-loglevel", "error", "-nostdin", "-y" } + arguments + QStringList { output });
}

// Songs of every supported format, some with a large cover, linked under 1,000 names: the
// reads are what is measured, and every one opens its path afresh.
class Library {
public:
    static const Library& shared()
    {
        static const Library library;
        return library;
    }
    const std::vector<lh::FileURL>& files() const { return files_; }

private:
    Library()
    {
        const QString cover = folder_.filePath("cover.jpg");
        if (!ffmpeg({ "-f", "lavfi", "-i", "mandelbrot=s=800x800", "-frames:v", "1", "-q:v", "2" }, cover))
            fail("cover");
        const QStringList extensions { "mp3", "wav", "aiff", "aif", "m4a", "aac", "flac" };
        std::vector<QString> sources;
        for (int variant = 0; variant < 4; ++variant) {
            for (const QString& extension : extensions) {
                const QString path = folder_.filePath(QStringLiteral("source%1.%2").arg(variant).arg(extension));
                if (!ffmpeg(arguments(variant, extension, cover), path))
                    fail(path);
                sources.push_back(path);
            }
        }
        for (int i = 0; i < streamFileCount; ++i) {
            const QString& source = sources[static_cast<std::size_t>(i) % sources.size()];
            const QString link = folder_.filePath(QStringLiteral("Artist %1 - Song %2.%3").arg(i % 37).arg(i).arg(QFileInfo(source).suffix()));
            if (!QFile::link(source, link) && !QFile::copy(source, link))
                fail(link);
            files_.push_back(lh::FileURL::fromLocalFile(link));
        }
    }

    static QStringList arguments(int variant, const QString& extension, const QString& cover)
    {
        const int sampleRate = variant % 2 ? 48000 : 44100;
        const int seconds = 20 + 20 * variant; // a 5 s analysis window is well inside every file
        QStringList arguments { "-f", "lavfi", "-i", QStringLiteral("sine=frequency=330:sample_rate=%1:duration=%2").arg(sampleRate).arg(seconds) };
        const bool hasCover = variant >= 2 && extension != "wav" && extension != "aac" && extension != "aif";
        if (hasCover)
            arguments += { "-i", cover, "-map", "0", "-map", "1", "-c:v", "copy", "-disposition:v", "attached_pic" };
        arguments += { "-ac", variant == 1 ? "1" : "2", "-metadata", "title=Song", "-metadata", "artist=Artist",
            "-metadata", "album=Album", "-metadata", "date=2004-05-17", "-metadata", "genre=Rock" };
        if (extension == "aiff" || extension == "aif" || extension == "aac")
            arguments += { "-write_id3v2", "1" };
        return arguments;
    }

    [[noreturn]] static void fail(const QString& what)
    {
        std::fprintf(stderr, "cannot make benchmark file %s (ffmpeg missing?)\n", qPrintable(what));
        std::exit(1);
    }

    QTemporaryDir folder_;
    std::vector<lh::FileURL> files_;
};

void streamDescriptionsOf1000Files(benchmark::State& state)
{
    const auto& files = Library::shared().files();
    const lh::MediaTrackInfoReader reader;
    for (auto _ : state) {
        for (const lh::FileURL& file : files)
            benchmark::DoNotOptimize(reader.readStream(file));
    }
    state.SetItemsProcessed(state.iterations() * streamFileCount);
    state.counters["files_per_s"] = benchmark::Counter(streamFileCount, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(streamDescriptionsOf1000Files)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void fullInfosOf100Files(benchmark::State& state)
{
    const auto& files = Library::shared().files();
    const lh::MediaTrackInfoReader reader;
    for (auto _ : state) {
        for (int i = 0; i < fullInfoFileCount; ++i)
            benchmark::DoNotOptimize(reader.readInfo(files[static_cast<std::size_t>(i)], files[static_cast<std::size_t>(i)]));
    }
    state.SetItemsProcessed(state.iterations() * fullInfoFileCount);
    state.counters["files_per_s"] = benchmark::Counter(fullInfoFileCount, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(fullInfosOf100Files)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// What ffprobe does before it prints streams, in process: the full stream analysis.
void findStreamInfoOf1000Files(benchmark::State& state)
{
    const auto& files = Library::shared().files();
    for (auto _ : state) {
        for (const lh::FileURL& file : files) {
            lh::MediaFile media(file);
            benchmark::DoNotOptimize(avformat_find_stream_info(media.context(), nullptr));
        }
    }
    state.SetItemsProcessed(state.iterations() * streamFileCount);
    state.counters["files_per_s"] = benchmark::Counter(streamFileCount, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(findStreamInfoOf1000Files)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The same 1,000 files through `ffprobe -show_streams`, once, and our stream read timed
// again right beside it so the ratio compares like with like.
void ffprobeShowStreamsOf1000Files(benchmark::State& state)
{
    using Clock = std::chrono::steady_clock;
    const auto& files = Library::shared().files();
    const lh::MediaTrackInfoReader reader;
    double ffprobeSeconds = 0;
    double ownSeconds = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        for (const lh::FileURL& file : files) {
            if (!runTool("ffprobe", { "-v", "error", "-show_streams", file.toQString() }))
                state.SkipWithError("ffprobe failed");
        }
        const auto middle = Clock::now();
        for (const lh::FileURL& file : files)
            benchmark::DoNotOptimize(reader.readStream(file));
        const auto end = Clock::now();
        ffprobeSeconds += std::chrono::duration<double>(middle - start).count();
        ownSeconds += std::chrono::duration<double>(end - middle).count();
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["ffprobe_files_per_s"] = streamFileCount * runs / ffprobeSeconds;
    state.counters["stream_read_files_per_s"] = streamFileCount * runs / ownSeconds;
    state.counters["speedup_vs_ffprobe"] = ffprobeSeconds / ownSeconds;
}
BENCHMARK(ffprobeShowStreamsOf1000Files)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    av_log_set_level(AV_LOG_QUIET); // the player logs nothing; neither does its benchmark
    return runBenchmarks(argc, argv);
}
