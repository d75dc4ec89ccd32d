#include "AudioPlayerEngine.h"

#include "AudioFiles.h"
#include "CapturedOutput.h"
#include "EventLoop.h"
#include "PrivatePulseServer.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
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
class PulseAudioOutput : public ::testing::Test, protected test::PrivatePulseServer {
protected:
    void SetUp() override
    {
        if (const std::string whyNot = setUpServer(); !whyNot.empty())
            GTEST_SKIP() << whyNot;
    }

    void TearDown() override { tearDownServer(); }
};

TEST_F(PulseAudioOutput, ToneArrivesAtTheSoundServer)
{
    const QString recording = dir.path() + "/recording.raw";
    ASSERT_TRUE(record(recording));
    {
        AudioPlayerEngine engine;
        int finished = 0;
        engine.setOnFinishedPlaying([&] { ++finished; });
        engine.setVolume(0.5f);
        engine.load(FileURL::fromLocalFile(AudioFiles::fullScaleTone("cosine-1.5s.wav", 1.5, 2)));
        engine.play();
        ASSERT_TRUE(test::runEventsUntil([&] { return finished > 0; }, 10s));
        EXPECT_EQ(SDL_GetCurrentAudioDriver(), nullptr) << "played through SDL, not the server's own stream";
    }
    test::runEventsFor(2500ms); // the null sink holds about two seconds
    stopRecording();

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

// Paused, the player's stream is corked, so the sink suspends; resumed, the same stream
// carries on from where it was heard. Stopped, the stream is gone. The stream tells the
// server who is playing what, and a new title at once.
TEST_F(PulseAudioOutput, PausedTheStreamIsCorkedAndTheSinkSuspendsAndResumingCarriesOnInIt)
{
    AudioPlayerEngine engine;
    engine.setStreamTitle("Artist - Song");
    engine.load(FileURL::fromLocalFile(AudioFiles::fullScaleTone("cosine-6s.wav", 6, 2)));
    engine.play();
    ASSERT_TRUE(test::runEventsUntil([&] { return hasStream() && engine.currentTime() > 0.5; }, 10s));
    const QString streams = pactlOutput({ "list", "sink-inputs" });
    for (const char* property : { "application.name = \"Larkhaven\"", "media.name = \"Artist - Song\"", "media.role = \"music\"",
             "application.icon_name = \"larkhaven\"" })
        EXPECT_TRUE(streams.contains(property)) << property << " not in " << streams.toStdString();
    engine.setStreamTitle("Artist - Other Song");
    EXPECT_TRUE(test::runEventsUntil([&] { return pactlOutput({ "list", "sink-inputs" }).contains("media.name = \"Artist - Other Song\""); }, 5s));
    const QString stream = streamIds();

    engine.pause();
    const double pausedAt = engine.currentTime();
    EXPECT_TRUE(test::runEventsUntil([&] { return isStreamCorked(); }, 5s));
    EXPECT_TRUE(test::runEventsUntil([&] { return isSinkSuspended(); }, 10s));
    EXPECT_DOUBLE_EQ(engine.currentTime(), pausedAt);

    engine.play();
    ASSERT_TRUE(test::runEventsUntil([&] { return engine.currentTime() > pausedAt + 0.3; }, 10s));
    EXPECT_LT(engine.currentTime(), pausedAt + 3); // went on from there, not from elsewhere
    EXPECT_FALSE(isStreamCorked());

    for (int toggle = 0; toggle < 6; ++toggle) {
        engine.pause();
        engine.play();
        test::runEventsFor(20ms);
    }
    const double toggledAt = engine.currentTime();
    EXPECT_TRUE(test::runEventsUntil([&] { return engine.currentTime() > toggledAt + 0.3; }, 10s));
    EXPECT_EQ(streamIds(), stream) << "a resume opened another stream";

    engine.stop();
    EXPECT_TRUE(test::runEventsUntil([&] { return !hasStream(); }, 5s)) << "a stopped player keeps its stream";
}

// The sink is left a good part of the stream's two buffers: asked for too little, a null
// sink was given half a millisecond and the server woke thousands of times a second.
TEST_F(PulseAudioOutput, TheSinkIsLeftTimeToSleepBetweenItsReads)
{
    AudioPlayerEngine engine;
    engine.load(FileURL::fromLocalFile(AudioFiles::fullScaleTone("cosine-6s.wav", 6, 2)));
    engine.play();
    ASSERT_TRUE(test::runEventsUntil([&] { return hasStream() && engine.currentTime() > 0.3; }, 10s));
    const std::optional<double> latency = sinkConfiguredLatency();
    ASSERT_TRUE(latency);
    EXPECT_GE(*latency, 0.04);
    EXPECT_LE(*latency, 0.2); // the volume and a pause still answer at once
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
    EXPECT_EQ(sinkOfTheStream(), "test_sink");
    ASSERT_TRUE(pactl({ "set-default-sink", "headphones" }));
    EXPECT_TRUE(test::runEventsUntil([&] { return sinkOfTheStream() == "headphones"; }, 5s));
    const double movedAt = engine.currentTime();
    EXPECT_TRUE(test::runEventsUntil([&] { return engine.currentTime() > movedAt + 0.3; }, 5s)) << "it stopped playing";
}

// The server's sinks are offered by description and kept up to date; choosing one moves the
// playing stream there, and choosing none follows the server's default again.
TEST_F(PulseAudioOutput, TheSinksAreOfferedAndChoosingOneMovesTheStreamThere)
{
    AudioPlayerEngine engine;
    std::vector<OutputDevice> devices;
    engine.setOnOutputDevicesChanged([&](std::vector<OutputDevice> offered) { devices = std::move(offered); });
    engine.load(FileURL::fromLocalFile(AudioFiles::fullScaleTone("cosine-6s.wav", 6, 2)));
    engine.play();
    ASSERT_TRUE(test::runEventsUntil([&] { return hasStream() && devices.size() == 1; }, 10s));
    ASSERT_TRUE(pactl({ "load-module", "module-null-sink", "sink_name=headphones", "sink_properties=device.description=Headphones" }));
    ASSERT_TRUE(test::runEventsUntil([&] { return devices.size() == 2; }, 5s)) << "a new sink is not offered";
    EXPECT_EQ(devices[1], (OutputDevice { "headphones", "Headphones" }));

    engine.setOutputDevice("headphones");
    EXPECT_TRUE(test::runEventsUntil([&] { return sinkOfTheStream() == "headphones"; }, 5s));
    engine.setOutputDevice("");
    EXPECT_TRUE(test::runEventsUntil([&] { return sinkOfTheStream() == "test_sink"; }, 5s));
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

// A burst of loads (a hand-over of twenty files, Next held down) leaves the last file playing
// in one stream, which a pause corks so the sink sleeps.
TEST_F(PulseAudioOutput, ABurstOfLoadsPlaysTheLastFileInOneStreamThatAPauseCorks)
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
    EXPECT_TRUE(test::runEventsUntil([&] { return isStreamCorked(); }, 5s)) << "the paused stream plays on";
    EXPECT_TRUE(test::runEventsUntil([&] { return isSinkSuspended(); }, 10s));
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
