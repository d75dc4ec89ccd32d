#include "AudioDecoder.h"
#include "AudioPlayerEngine.h"
#include "BenchmarkRun.h"
#include "FilePlayer.h"
#include "GainRamp.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <limits>
#include <random>
#include <thread>
#include <vector>

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
    if (extension == "ogg")
        arguments << "-c:a" << "libvorbis";
    if (extension != "flac" && extension != "wv")
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
// `gain` other than 1 has every sample scaled on its way to the device (a loudness correction).
void playbackCpuPerAudioSecond(benchmark::State& state, const char* extension, float gain = 1)
{
    const QString path = music(extension);
    {
        // SDL's audio starts at the first play (the device opens only to play); once per process.
        lh::AudioPlayerEngine warmUp;
        warmUp.load(url(path));
        warmUp.play();
        warmUp.stop();
    }
    for (auto _ : state) {
        lh::AudioPlayerEngine engine;
        // The main thread sleeps in the event loop until the end notice arrives: a harness that
        // polled would be measured with the engine (four wake-ups a second cost ~0.1 ms).
        QEventLoop untilFinished;
        engine.setOnFinishedPlaying([&] { untilFinished.quit(); });
        engine.load(url(path));
        engine.setGain(gain);
        const double audioSeconds = engine.duration();
        const double before = cpuSeconds(RUSAGE_SELF);
        engine.play();
        untilFinished.exec();
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
BENCHMARK_CAPTURE(playbackCpuPerAudioSecond, vorbis, "ogg")->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(playbackCpuPerAudioSecond, opus, "opus")->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(playbackCpuPerAudioSecond, wavpack, "wv")->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(playbackCpuPerAudioSecond, flac_gain, "flac", 0.5f)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(playbackCpuPerAudioSecond, mp3_gain, "mp3", 0.5f)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// The loudness correction alone: one second of stereo 44.1 kHz frames in device-sized blocks,
// to set against the engine's CPU per audio second above.
void gainPerAudioSecond(benchmark::State& state)
{
    constexpr int block = 4096;
    std::vector<float> samples(2 * block, 0.25f);
    lh::GainRamp gain(0.5f);
    for (auto _ : state) {
        for (int done = 0; done < 44100; done += block)
            gain.apply(samples.data(), block, 2);
        benchmark::DoNotOptimize(samples.data());
        gain.rampTo(gain.target() == 0.5f ? 2.0f : 0.5f, 220); // keeps the samples finite
    }
}
BENCHMARK(gainPerAudioSecond)->Unit(benchmark::kMicrosecond);

// The decoder alone on one thread, per second of audio (opening included, ten passes): the
// rest of playbackCpuPerAudioSecond is what the queue, the device thread and the meter add.
void decodeCpuPerAudioSecond(benchmark::State& state, const char* extension)
{
    const QString path = music(extension);
    for (auto _ : state) {
        double audioSeconds = 0;
        const double before = cpuSeconds(RUSAGE_THREAD);
        for (int pass = 0; pass < 10; ++pass) {
            lh::AudioDecoder decoder(url(path));
            decoder.setOutputChannels(2);
            while (!decoder.decode().samples.empty()) { }
            audioSeconds += static_cast<double>(decoder.length()) / decoder.sampleRate();
        }
        const double ours = cpuSeconds(RUSAGE_THREAD) - before;
        state.SetIterationTime(ours);
        state.counters["cpu_ms_per_audio_s"] = ours / audioSeconds * 1000;
    }
}
BENCHMARK_CAPTURE(decodeCpuPerAudioSecond, flac, "flac")->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decodeCpuPerAudioSecond, mp3, "mp3")->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

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

// A chirp of 4.5 s and its three stretches between cuts that fall on no codec's block size.
constexpr std::int64_t chirpCuts[] = { 0, 66187, 132711, 198450 };

QString chirp(const QString& extension, int part)
{
    const QString source = fixture("chirp.f32", { "-f", "lavfi", "-i", "aevalsrc=0.5*cos(2*PI*(200*t+300*t*t)):s=44100:d=4.5", "-f", "f32le", "-c:a", "pcm_f32le" });
    QStringList arguments { "-f", "f32le", "-ar", "44100", "-ac", "1", "-i", source };
    if (part >= 0)
        arguments << "-af" << QStringLiteral("atrim=start_sample=%1:end_sample=%2,asetpts=PTS-STARTPTS").arg(chirpCuts[part]).arg(chirpCuts[part + 1]);
    if (extension == "mp3" || extension == "m4a")
        arguments << "-b:a" << "192k";
    return fixture(QStringLiteral("chirp%1.%2").arg(part >= 0 ? QString::number(part) : QString()).arg(extension), arguments);
}

std::unique_ptr<lh::AudioDecoder> stereoDecoder(const lh::FileURL& file)
{
    auto decoder = std::make_unique<lh::AudioDecoder>(file);
    decoder->setOutputChannels(2);
    return decoder;
}

std::vector<float> straightDecode(const QString& path)
{
    const auto decoder = stereoDecoder(url(path));
    std::vector<float> samples;
    for (auto block = decoder->decode(); !block.samples.empty(); block = decoder->decode())
        samples.insert(samples.end(), block.samples.begin(), block.samples.end());
    return samples;
}

// Renders `windows` (file, start, end in frames) one after the other as the device would take
// them, each armed as the continuation once the one before it is heard.
std::vector<float> renderJoined(const std::vector<lh::FilePlayer::Next>& windows)
{
    std::atomic<bool> hasEnded = false;
    lh::FilePlayer player(stereoDecoder(windows.front().file), 4096, [&](std::uint64_t) { hasEnded = true; });
    player.setWindowEnd(windows.front().end);
    if (windows.front().start > 0)
        player.seek(windows.front().start);
    std::size_t next = 1;
    if (next < windows.size())
        player.setNext(windows[next]);
    std::vector<float> output;
    std::vector<float> block(2 * 1024);
    while (!hasEnded) {
        std::this_thread::sleep_for(5ms); // far faster than real time, but the decoder keeps ahead
        player.render(block.data(), 1024, 1.0f);
        output.insert(output.end(), block.begin(), block.end());
        if (player.takeJoin() && ++next < windows.size())
            player.setNext(windows[next]);
    }
    // Silence before the first frame (the decoder may start late here) or after the last is no gap.
    while (!output.empty() && output.back() == 0.0f)
        output.pop_back();
    const auto first = std::find_if(output.begin(), output.end(), [](float sample) { return sample != 0.0f; });
    output.erase(output.begin(), output.begin() + (first - output.begin()) / 2 * 2);
    return output;
}

// How many frames the output is late (positive) or early at `at`, where `expected` has the
// frames that should be heard there.
std::int64_t gapAt(const std::vector<float>& output, const std::vector<float>& expected, std::int64_t at)
{
    constexpr std::int64_t span = 256;
    for (std::int64_t shift = 0; shift <= 8192; ++shift) {
        for (const std::int64_t offset : { shift, -shift }) {
            const std::int64_t from = at + offset;
            if (from < 0 || 2 * (from + span) > static_cast<std::int64_t>(output.size()))
                continue;
            if (std::equal(expected.begin() + 2 * at, expected.begin() + 2 * (at + span), output.begin() + 2 * from))
                return offset;
        }
    }
    return std::numeric_limits<std::int64_t>::min();
}

// The gap at each of the two joins of three tracks made of one chirp: frames inserted
// (positive) or lost against a straight decode of what is joined, and the frames the joined
// files are off the source itself (the files' own lengths; only the lossy ones differ).
void joinGap(benchmark::State& state, const char* extension, bool isCue)
{
    std::vector<lh::FilePlayer::Next> windows;
    std::vector<float> expected;
    std::vector<std::int64_t> joins;
    if (isCue) {
        const QString path = chirp(extension, -1);
        expected = straightDecode(path);
        for (int part = 0; part < 3; ++part)
            windows.push_back({ url(path), part > 0, chirpCuts[part], part < 2 ? chirpCuts[part + 1] : lh::FilePlayer::noWindowEnd });
        joins = { chirpCuts[1], chirpCuts[2] };
    } else {
        for (int part = 0; part < 3; ++part) {
            const QString path = chirp(extension, part);
            const std::vector<float> samples = straightDecode(path);
            if (part > 0)
                joins.push_back(static_cast<std::int64_t>(expected.size() / 2));
            expected.insert(expected.end(), samples.begin(), samples.end());
            windows.push_back({ url(path), false, 0, lh::FilePlayer::noWindowEnd });
        }
    }
    for (auto _ : state) {
        const std::vector<float> output = renderJoined(windows);
        for (std::size_t join = 0; join < joins.size(); ++join) {
            const std::string name = "join" + std::to_string(join + 1);
            state.counters[name + "_gap_frames"] = static_cast<double>(gapAt(output, expected, joins[join]));
            state.counters[name + "_off_source_frames"] = static_cast<double>(joins[join] - chirpCuts[join + 1]);
        }
        state.counters["frames_missing_or_extra"] = static_cast<double>(output.size() / 2) - static_cast<double>(expected.size() / 2);
    }
}
BENCHMARK_CAPTURE(joinGap, cue_flac, "flac", true)->Iterations(1);
BENCHMARK_CAPTURE(joinGap, cue_wav, "wav", true)->Iterations(1);
BENCHMARK_CAPTURE(joinGap, cue_mp3, "mp3", true)->Iterations(1);
BENCHMARK_CAPTURE(joinGap, cue_m4a, "m4a", true)->Iterations(1);
BENCHMARK_CAPTURE(joinGap, file_flac, "flac", false)->Iterations(1);
BENCHMARK_CAPTURE(joinGap, file_wav, "wav", false)->Iterations(1);
BENCHMARK_CAPTURE(joinGap, file_mp3, "mp3", false)->Iterations(1);
BENCHMARK_CAPTURE(joinGap, file_m4a, "m4a", false)->Iterations(1);

double heapKiB()
{
    return static_cast<double>(mallinfo2().uordblks) / 1024;
}

// The heap a prepared successor adds while the current file plays: what the decoder thread
// holds for it until the join, a decoder opened with its first block decoded (opened here on
// this thread, as mallinfo2 counts only this thread's arena). Against it, the playing file's
// own player: its decoder and the one-second queue.
void preparedSuccessorMemory(benchmark::State& state, const char* extension, bool isLong)
{
    const QString successor = isLong ? longFlac() : music(extension);
    for (auto _ : state) {
        const double before = heapKiB();
        const auto player = std::make_unique<lh::FilePlayer>(stereoDecoder(url(music("flac"))), 4096, nullptr);
        const double playing = heapKiB();
        const auto prepared = stereoDecoder(url(successor));
        state.counters["player_kib"] = playing - before;
        state.counters["successor_kib"] = heapKiB() - playing;
    }
}
BENCHMARK_CAPTURE(preparedSuccessorMemory, flac, "flac", false)->Iterations(1);
BENCHMARK_CAPTURE(preparedSuccessorMemory, mp3, "mp3", false)->Iterations(1);
BENCHMARK_CAPTURE(preparedSuccessorMemory, m4a, "m4a", false)->Iterations(1);
BENCHMARK_CAPTURE(preparedSuccessorMemory, flac_60_minutes, "flac", true)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    // A machine without sound plays on SDL's dummy driver, paced in real time like a card.
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    QCoreApplication app(argc, argv);
    return runBenchmarks(argc, argv);
}
