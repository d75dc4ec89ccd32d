#include "AudioDecoder.h"
#include "AudioPlayerEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <algorithm>
#include <cstdlib>
#include <limits>
#include <random>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The file `name` in the benchmarks' fixture folder, made with ffmpeg the first time.
QString fixture(const QString& name, const QStringList& ffmpegArguments)
{
    const QString folder = QStringLiteral(LARKHAVEN_BENCH_FIXTURES);
    QDir().mkpath(folder);
    const QString path = folder + "/" + name;
    if (QFile::exists(path))
        return path;
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", QStringList { "-hide_banner", "-v", "error", "-nostdin", "-y" } + ffmpegArguments + QStringList { path + ".part." + name.section('.', -1) });
    if (!ffmpeg.waitForFinished(600'000) || ffmpeg.exitCode() != 0) {
        std::fprintf(stderr, "cannot make %s\n", qPrintable(name));
        std::exit(1);
    }
    QFile::rename(path + ".part." + name.section('.', -1), path);
    return path;
}

// Ten seconds of stereo pink noise: dense music costs a decoder about as much.
QString music(const QString& extension)
{
    QStringList arguments { "-f", "lavfi", "-i", "anoisesrc=d=10:c=pink:r=44100:a=0.3:s=5", "-ac", "2" };
    if (extension != "flac")
        arguments << "-b:a" << "192k";
    return fixture("music." + extension, arguments);
}

QString longFlac()
{
    return fixture("sixty-minutes.flac", { "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=3600", "-ac", "2" });
}

double cpuSeconds(int who)
{
    rusage usage {};
    getrusage(who, &usage);
    const auto seconds = [](const timeval& time) { return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

lh::FileURL url(const QString& path)
{
    return lh::FileURL::fromLocalFile(path);
}

// Starting each measurement right after the device's previous request would time a whole
// device period every time; a random pause spreads the starts over the period, as a user's
// clicks are.
void pauseAtRandom()
{
    static std::mt19937 random(1);
    std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(0, 200'000)(random)));
}

Clock::time_point waitForFirstFrame(const lh::AudioPlayerEngine& engine)
{
    while (!engine.firstFrameHandedAt())
        std::this_thread::sleep_for(200us);
    return *engine.firstFrameHandedAt();
}

// ffmpeg's CPU time per second of audio, decoding the file a hundred times over in one process
// so its start-up (about 0.1 s) hardly counts; the least of three runs.
double ffmpegCpuPerAudioSecond(const QString& path, double audioSeconds)
{
    double least = std::numeric_limits<double>::infinity();
    for (int run = 0; run < 3; ++run) {
        const double before = cpuSeconds(RUSAGE_CHILDREN);
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg", { "-nostdin", "-v", "error", "-stream_loop", "99", "-i", path, "-f", "null", "-" });
        ffmpeg.waitForFinished(60'000);
        least = std::min(least, cpuSeconds(RUSAGE_CHILDREN) - before);
    }
    return least / (100 * audioSeconds);
}

// CPU time of the whole process (decoder thread, device thread, main thread) per second of
// audio played in real time, from play() to the end-of-file notice (the one-time start of
// SDL's audio and the load are not counted), against ffmpeg decoding the same file to nothing.
void playbackCpuPerAudioSecond(benchmark::State& state, const char* extension)
{
    const QString path = music(extension);
    for (auto _ : state) {
        lh::AudioPlayerEngine engine;
        bool hasFinished = false;
        engine.setOnFinishedPlaying([&] { hasFinished = true; });
        engine.load(url(path));
        const double audioSeconds = engine.duration();
        const double before = cpuSeconds(RUSAGE_SELF);
        engine.play();
        while (!hasFinished) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(250ms); // rare wake-ups: the harness costs next to nothing
        }
        const double ours = cpuSeconds(RUSAGE_SELF) - before;
        const double ffmpeg = ffmpegCpuPerAudioSecond(path, audioSeconds);
        state.SetIterationTime(ours);
        state.counters["cpu_ms_per_audio_s"] = ours / audioSeconds * 1000;
        state.counters["ffmpeg_cpu_ms_per_audio_s"] = ffmpeg * 1000;
        state.counters["ratio_to_ffmpeg"] = ours / audioSeconds / ffmpeg;
    }
}
BENCHMARK_CAPTURE(playbackCpuPerAudioSecond, flac, "flac")->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(playbackCpuPerAudioSecond, mp3, "mp3")->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(playbackCpuPerAudioSecond, m4a, "m4a")->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// From load() to the first frame handed to the device. Most of it is waiting for the
// device's next request (its period is its buffer, 100–200 ms); load_call_ms is the load
// itself, the time the main thread is held.
void loadToFirstSample(benchmark::State& state, const char* extension)
{
    const QString path = music(extension);
    lh::AudioPlayerEngine engine;
    double loadCall = 0;
    for (auto _ : state) {
        pauseAtRandom();
        const Clock::time_point start = Clock::now();
        engine.load(url(path));
        engine.play();
        loadCall += milliseconds(Clock::now() - start);
        state.SetIterationTime(milliseconds(waitForFirstFrame(engine) - start) / 1000);
    }
    state.counters["load_call_ms"] = loadCall / static_cast<double>(state.iterations());
}
BENCHMARK_CAPTURE(loadToFirstSample, flac, "flac")->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(loadToFirstSample, mp3, "mp3")->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(loadToFirstSample, m4a, "m4a")->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);

// A seek to the middle of a 60-minute FLAC while it plays: the call, and the time until the
// device is handed the first frame from the new position.
void seekInLongFlac(benchmark::State& state)
{
    lh::AudioPlayerEngine engine;
    engine.load(url(longFlac()));
    engine.play();
    waitForFirstFrame(engine);
    double seekCall = 0;
    double target = 1800;
    for (auto _ : state) {
        target += 7.3;
        pauseAtRandom();
        const Clock::time_point start = Clock::now();
        engine.setCurrentTime(target);
        seekCall += milliseconds(Clock::now() - start);
        state.SetIterationTime(milliseconds(waitForFirstFrame(engine) - start) / 1000);
    }
    state.counters["seek_call_ms"] = seekCall / static_cast<double>(state.iterations());
}
BENCHMARK(seekInLongFlac)->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);

// The decoder's share of that seek: landing on the exact frame and decoding the first block.
void decoderSeekInLongFlac(benchmark::State& state)
{
    lh::AudioDecoder decoder(url(longFlac()));
    std::int64_t target = 1800 * 44100;
    for (auto _ : state) {
        target += 321'987;
        decoder.seek(target);
        benchmark::DoNotOptimize(decoder.decode());
    }
}
BENCHMARK(decoderSeekInLongFlac)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    // A machine without sound plays on SDL's dummy driver, paced in real time like a card.
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
