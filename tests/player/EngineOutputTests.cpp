#include "AudioOutput.h"
#include "AudioPlayerEngine.h"

#include "AudioFiles.h"
#include "CapturedOutput.h"
#include "EventLoop.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

namespace lh {
namespace {

using namespace std::chrono_literals;
namespace AudioFiles = test::AudioFiles;
using test::CapturedOutput;
using test::locate;
using test::Match;

constexpr int rate = 44100;

class SeekAccuracy : public CapturedOutput, public ::testing::WithParamInterface<const char*> { };

TEST_P(SeekAccuracy, PlaysFromTheExactFrameAskedFor)
{
    const std::vector<float> source = AudioFiles::readFloats(AudioFiles::noiseSource());
    const QString file = AudioFiles::noise(GetParam());
    {
        AudioPlayerEngine engine;
        engine.setVolume(1);
        engine.load(FileURL::fromLocalFile(file));
        engine.setCurrentTime(120.0);
        engine.play();
        ASSERT_TRUE(test::runEventsUntil([&] { return engine.currentTime() > 120.2; }, 5s));
    }
    const std::vector<float> output = heard();
    ASSERT_GT(output.size(), 2u * 4096);
    const std::int64_t target = 120 * rate;
    const Match match = locate(output, source, target - rate / 10, target + rate / 10);
    EXPECT_NEAR(match.frame, target, rate / 1000);
    std::printf("%s: %lld frames off\n", GetParam(), static_cast<long long>(match.frame - target));
    // Lossy codecs lose some of the noise's energy, but nowhere near the 3 dB of a mono signal
    // spread over two channels.
    EXPECT_NEAR(match.gain, 1.0, 0.15) << "a mono file plays at full level";
    for (std::size_t i = 0; i < 4096; i += 2)
        ASSERT_EQ(output[i], output[i + 1]) << "both channels carry the mono signal";
}

INSTANTIATE_TEST_SUITE_P(Formats, SeekAccuracy, ::testing::Values("flac", "mp3", "m4a"));

// Frames from `from` on in `output` (left channel) equal the source's from `sourceFrame` on;
// returns how many in a row (FLAC is lossless: only the 16-bit rounding differs).
std::size_t runOfSource(const std::vector<float>& output, std::size_t from, const std::vector<float>& source, std::size_t sourceFrame)
{
    std::size_t count = 0;
    while (2 * (from + count) < output.size() && sourceFrame + count < source.size()
        && std::abs(output[2 * (from + count)] - source[sourceFrame + count]) < 1e-4f)
        ++count;
    return count;
}

TEST_F(CapturedOutput, SeekWhilePlayingGoesOnFromTheNewFrameWithNothingStale)
{
    const std::vector<float> source = AudioFiles::readFloats(AudioFiles::noiseSource());
    {
        AudioPlayerEngine engine;
        engine.setVolume(1);
        engine.load(FileURL::fromLocalFile(AudioFiles::noise("flac")));
        engine.setCurrentTime(10.0);
        engine.play();
        ASSERT_TRUE(test::runEventsUntil([&] { return engine.currentTime() > 10.3; }, 5s));
        engine.setCurrentTime(60.0);
        ASSERT_TRUE(test::runEventsUntil([&] { return engine.currentTime() > 60.2; }, 5s));
    }
    const std::vector<float> output = heard();
    // From 10.0 s without a gap up to the seek, then silence while the decoder seeks (if the
    // device asks meanwhile), then 60.0 s on.
    const std::size_t before = runOfSource(output, 0, source, 10 * rate);
    EXPECT_GT(before, static_cast<std::size_t>(rate / 4));
    std::size_t jump = before;
    while (2 * jump < output.size() && output[2 * jump] == 0.0f)
        ++jump;
    EXPECT_GT(runOfSource(output, jump, source, 60 * rate), static_cast<std::size_t>(rate / 10));
}

TEST_F(CapturedOutput, NothingPastTheWindowEndIsHeardWhileThePositionGoesOn)
{
    {
        AudioPlayerEngine engine;
        engine.load(FileURL::fromLocalFile(AudioFiles::fullScaleTone("cosine.wav", 2, 2)));
        engine.setPlayingWindowEnd(0.5);
        engine.play();
        ASSERT_TRUE(test::runEventsUntil([&] { return engine.currentTime() > 0.8; }, 5s));
    }
    const std::vector<float> output = heard();
    std::size_t last = output.size();
    while (last > 0 && output[last - 1] == 0.0f)
        --last;
    EXPECT_NEAR(static_cast<double>(last) / 2, rate / 2, 2);
    EXPECT_NEAR(output[0], 0.8f, 1e-6); // the default volume
}

// A private PulseAudio server with a null sink, recorded from its monitor: the sound path a
// desktop has, on a machine without a card.
class PulseAudioOutput : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifdef __SANITIZE_THREAD__
        GTEST_SKIP() << "ThreadSanitizer cannot follow the processes QProcess starts";
#endif
        ASSERT_TRUE(dir.isValid());
        for (const char* name : { "runtime", "home" }) {
            ASSERT_TRUE(QDir(dir.path()).mkdir(name));
            QFile::setPermissions(dir.path() + "/" + name, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        environment.insert("XDG_RUNTIME_DIR", dir.path() + "/runtime");
        environment.insert("HOME", dir.path() + "/home");
        environment.insert("PULSE_SERVER", "unix:" + dir.path() + "/runtime/pulse/native");
        if (const std::string whyNot = startServer(); !whyNot.empty())
            GTEST_SKIP() << whyNot;
        for (const char* name : { "XDG_RUNTIME_DIR", "HOME", "PULSE_SERVER" }) {
            saved.emplace_back(name, qgetenv(name));
            qputenv(name, environment.value(name).toLocal8Bit());
        }
        qputenv("SDL_AUDIODRIVER", "pulseaudio");
        SDL_AudioQuit();
    }

    void TearDown() override
    {
        // A quit while a stream is still being closed would close it a second time.
        EXPECT_TRUE(test::runEventsUntil([] { return !AudioOutput::isClosingDevices(); }, 5s));
        SDL_AudioQuit();
        qputenv("SDL_AUDIODRIVER", "dummy");
        for (const auto& [name, value] : saved)
            value.isNull() ? qunsetenv(name) : qputenv(name, value);
        for (QProcess* process : { &recorder, &server }) {
            process->terminate();
            if (!process->waitForFinished(3000))
                process->kill();
            process->waitForFinished(3000);
        }
    }

    enum class Sinks { nullSink, none };

    // Empty when the server is up with its null sink as the default (idle sinks suspend after
    // a second, as desktop configurations have it), or with no sink at all; otherwise why not.
    std::string startServer(Sinks sinks = Sinks::nullSink)
    {
        server.setProcessEnvironment(environment);
        server.setProcessChannelMode(QProcess::MergedChannels);
        QStringList arguments { "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit", "--use-pid-file=no",
            "-L", "module-native-protocol-unix auth-anonymous=1" };
        if (sinks == Sinks::nullSink)
            arguments << "-L" << "module-null-sink sink_name=test_sink" << "-L" << "module-suspend-on-idle timeout=1";
        server.start("pulseaudio", arguments);
        if (!server.waitForStarted(5000))
            return "PulseAudio cannot be started here: " + server.errorString().toStdString();
        const bool isUp = test::runEventsUntil([&] { return server.state() != QProcess::Running || pactl({ "info" }); }, 10s);
        if (!isUp || server.state() != QProcess::Running)
            return "no PulseAudio server came up: " + server.readAll().toStdString();
        if (sinks == Sinks::none)
            return {};
        return pactl({ "set-default-sink", "test_sink" }) ? std::string() : std::string("no default sink");
    }

    QString pactlOutput(const QStringList& arguments)
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start("pactl", arguments);
        process.waitForFinished(3000);
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    bool hasStream() { return !pactlOutput({ "list", "short", "sink-inputs" }).trimmed().isEmpty(); }
    bool isSinkSuspended() { return pactlOutput({ "list", "short", "sinks" }).contains("SUSPENDED"); }

    bool pactl(const QStringList& arguments)
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start("pactl", arguments);
        return process.waitForFinished(3000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    void record(const QString& path)
    {
        recorder.setProcessEnvironment(environment);
        recorder.setStandardOutputFile(path);
        recorder.start("parec", { "-d", "test_sink.monitor", "--raw", "--format=float32le", "--rate=44100", "--channels=2" });
        ASSERT_TRUE(recorder.waitForStarted(3000));
    }

    QTemporaryDir dir;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QProcess server;
    QProcess recorder;
    std::vector<std::pair<const char*, QByteArray>> saved;
};

TEST_F(PulseAudioOutput, ToneArrivesAtTheSoundServer)
{
    const QString recording = dir.path() + "/recording.raw";
    record(recording);
    {
        AudioPlayerEngine engine;
        int finished = 0;
        engine.setOnFinishedPlaying([&] { ++finished; });
        engine.setVolume(0.5f);
        engine.load(FileURL::fromLocalFile(AudioFiles::fullScaleTone("cosine-1.5s.wav", 1.5, 2)));
        engine.play();
        ASSERT_TRUE(test::runEventsUntil([&] { return finished > 0; }, 10s));
        EXPECT_STREQ(SDL_GetCurrentAudioDriver(), "pulseaudio");
    }
    test::runEventsFor(2500ms); // the null sink holds about two seconds
    recorder.terminate();
    recorder.waitForFinished(3000);

    // The loudest 50 ms: the tone at half volume (RMS 0.5/√2), about 100 zero crossings (1 kHz).
    const std::vector<float> samples = AudioFiles::readFloats(recording);
    constexpr std::size_t window = rate / 20;
    double loudest = 0;
    int crossings = 0;
    for (std::size_t start = 0; start + 2 * window <= samples.size(); start += 2 * window) {
        double energy = 0;
        int signChanges = 0;
        for (std::size_t i = start; i < start + 2 * window; i += 2) {
            energy += static_cast<double>(samples[i]) * samples[i];
            signChanges += i > start && (samples[i] < 0) != (samples[i - 2] < 0);
        }
        if (energy > loudest) {
            loudest = energy;
            crossings = signChanges;
        }
    }
    EXPECT_NEAR(std::sqrt(loudest / window), 0.5 / std::sqrt(2.0), 0.03);
    EXPECT_NEAR(crossings, 100, 3);
}

// Paused, the player holds no stream, so the sink suspends; resumed, it carries on from where
// it was heard. The stream tells the server who is playing what.
TEST_F(PulseAudioOutput, PausedTheSinkSuspendsAndResumingCarriesOnUnderTheTracksName)
{
    AudioPlayerEngine engine;
    engine.setStreamTitle("Artist - Song");
    engine.load(FileURL::fromLocalFile(AudioFiles::fullScaleTone("cosine-6s.wav", 6, 2)));
    engine.play();
    ASSERT_TRUE(test::runEventsUntil([&] { return hasStream() && engine.currentTime() > 0.5; }, 10s));
    const QString streams = pactlOutput({ "list", "sink-inputs" });
    for (const char* property : { "application.name = \"Larkhaven\"", "media.name = \"Artist - Song\"" })
        EXPECT_TRUE(streams.contains(property)) << property << " not in " << streams.toStdString();

    engine.pause();
    const double pausedAt = engine.currentTime();
    EXPECT_TRUE(test::runEventsUntil([&] { return !hasStream(); }, 5s));
    EXPECT_TRUE(test::runEventsUntil([&] { return isSinkSuspended(); }, 10s));
    EXPECT_DOUBLE_EQ(engine.currentTime(), pausedAt);

    engine.play();
    EXPECT_TRUE(hasStream());
    ASSERT_TRUE(test::runEventsUntil([&] { return engine.currentTime() > pausedAt + 0.3; }, 10s));
    EXPECT_LT(engine.currentTime(), pausedAt + 3); // went on from there, not from elsewhere

    // Quick toggles leave streams closing behind while new ones open: one stream plays on.
    for (int toggle = 0; toggle < 6; ++toggle) {
        engine.pause();
        engine.play();
        test::runEventsFor(20ms);
    }
    const double toggledAt = engine.currentTime();
    EXPECT_TRUE(test::runEventsUntil([&] { return engine.currentTime() > toggledAt + 0.3; }, 10s));
    EXPECT_TRUE(test::runEventsUntil([&] { return pactlOutput({ "list", "short", "sink-inputs" }).trimmed().count('\n') == 0; }, 5s));
}

// Headphones plugged in, a Bluetooth device connected: the stream moves to the new default
// sink without the player doing anything, since it was not opened on a sink of its own.
TEST_F(PulseAudioOutput, PlaybackFollowsTheDefaultSink)
{
    ASSERT_TRUE(pactl({ "load-module", "module-null-sink", "sink_name=headphones" }));
    AudioPlayerEngine engine;
    engine.load(FileURL::fromLocalFile(AudioFiles::fullScaleTone("cosine-6s.wav", 6, 2)));
    engine.play();
    ASSERT_TRUE(test::runEventsUntil([&] { return hasStream(); }, 10s));
    const auto sinkOfTheStream = [&] { return pactlOutput({ "list", "short", "sink-inputs" }).section('\t', 1, 1); };
    const auto sinkNumber = [&](const char* name) {
        for (const QString& line : pactlOutput({ "list", "short", "sinks" }).split('\n')) {
            if (line.section('\t', 1, 1) == name)
                return line.section('\t', 0, 0);
        }
        return QString();
    };
    EXPECT_EQ(sinkOfTheStream(), sinkNumber("test_sink"));
    ASSERT_TRUE(pactl({ "set-default-sink", "headphones" }));
    EXPECT_TRUE(test::runEventsUntil([&] { return sinkOfTheStream() == sinkNumber("headphones"); }, 5s));
    const double movedAt = engine.currentTime();
    EXPECT_TRUE(test::runEventsUntil([&] { return engine.currentTime() > movedAt + 0.3; }, 5s)) << "it stopped playing";
}

// The server going away pauses the engine where the sound stopped and says so; tries while it
// is gone fail quietly, and once a new one is up the engine plays on through it from there. A
// server that goes while the engine is paused is noticed by nothing, and the next Play is heard.
TEST_F(PulseAudioOutput, AServerThatGoesIsNoticedAndTheNextOneIsPlayedThrough)
{
    for (const bool wasPlaying : { true, false }) {
        SCOPED_TRACE(wasPlaying ? "playing" : "paused");
        AudioPlayerEngine engine;
        std::vector<DeviceTrouble> troubles;
        engine.setOnDeviceTrouble([&](DeviceTrouble trouble) { troubles.push_back(trouble); });
        engine.load(FileURL::fromLocalFile(AudioFiles::fullScaleTone("cosine-6s.wav", 6, 2)));
        engine.play();
        ASSERT_TRUE(test::runEventsUntil([&] { return hasStream() && engine.currentTime() > 0.5; }, 10s));
        if (!wasPlaying)
            engine.pause();

        server.kill();
        server.waitForFinished(3000);
        if (wasPlaying) {
            ASSERT_TRUE(test::runEventsUntil([&] { return !troubles.empty(); }, 10s));
            EXPECT_EQ(troubles, std::vector { DeviceTrouble::lost });
            EXPECT_FALSE(engine.retryDevice());
        }
        const double stoppedAt = engine.currentTime();
        test::runEventsFor(300ms);
        EXPECT_DOUBLE_EQ(engine.currentTime(), stoppedAt);

        ASSERT_EQ(startServer(), "");
        if (wasPlaying) // the lost stream may still be closing: the engine's next retry finds the server
            EXPECT_TRUE(test::runEventsUntil([&] { return engine.retryDevice(); }, 3s));
        else
            engine.play();
        EXPECT_TRUE(hasStream());
        EXPECT_TRUE(test::runEventsUntil([&] { return engine.currentTime() > stoppedAt + 0.3; }, 10s));
        test::runEventsFor(100ms);
        EXPECT_EQ(troubles.size(), wasPlaying ? 1u : 0u);
    }
}

// SDL opens at most 16 devices, those still closing among them, and each close takes two
// buffers: a burst of loads (a hand-over of twenty files, Next held down) must still leave the
// last file playing, and once paused no stream behind.
TEST_F(PulseAudioOutput, ABurstOfLoadsPlaysTheLastFileAndLeavesNoStreamOncePaused)
{
    AudioPlayerEngine engine;
    std::vector<DeviceTrouble> troubles;
    engine.setOnDeviceTrouble([&](DeviceTrouble trouble) { troubles.push_back(trouble); });
    const FileURL tone = FileURL::fromLocalFile(AudioFiles::fullScaleTone("cosine-6s.wav", 6, 2));
    for (int load = 0; load < 24; ++load) {
        engine.load(tone);
        engine.play();
    }
    EXPECT_TRUE(test::runEventsUntil([&] { return engine.currentTime() > 0.3; }, 10s)) << "the last file does not play";
    EXPECT_TRUE(troubles.empty());
    EXPECT_TRUE(test::runEventsUntil([&] { return pactlOutput({ "list", "short", "sink-inputs" }).trimmed().count('\n') == 0; }, 10s))
        << "the streams of the burst are not all closed";

    engine.pause();
    EXPECT_TRUE(test::runEventsUntil([&] { return !hasStream(); }, 20s)) << "a stream is left open while paused";
}

// A server with no sink at all (every card unplugged or failed, a server just started) is no
// device, and no reason to crash: the engine says so, and plays through the first sink that
// appears once it is tried again.
TEST_F(PulseAudioOutput, AServerWithoutAnySinkIsNoDeviceUntilOneAppears)
{
    server.kill();
    server.waitForFinished(3000);
    ASSERT_EQ(startServer(Sinks::none), "");
    AudioPlayerEngine engine;
    std::vector<DeviceTrouble> troubles;
    engine.setOnDeviceTrouble([&](DeviceTrouble trouble) { troubles.push_back(trouble); });
    engine.load(FileURL::fromLocalFile(AudioFiles::fullScaleTone("cosine-6s.wav", 6, 2)));
    engine.play();
    ASSERT_TRUE(test::runEventsUntil([&] { return !troubles.empty(); }, 10s));
    EXPECT_EQ(troubles, std::vector { DeviceTrouble::withoutOutput });
    EXPECT_FALSE(engine.retryDevice());
    EXPECT_FALSE(hasStream());

    ASSERT_TRUE(pactl({ "load-module", "module-null-sink", "sink_name=test_sink" }));
    EXPECT_TRUE(test::runEventsUntil([&] { return engine.retryDevice(); }, 5s));
    EXPECT_TRUE(hasStream());
    EXPECT_TRUE(test::runEventsUntil([&] { return engine.currentTime() > 0.3; }, 10s));
    EXPECT_EQ(troubles.size(), 1u);
}

} // namespace
} // namespace lh
