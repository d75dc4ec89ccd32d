#include "AudioPlayerEngine.h"

#include "AudioFiles.h"
#include "AudioFixture.h"
#include "EventLoop.h"
#include "Fifo.h"

#include <QFile>

#include <SDL.h>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cmath>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace lh {
namespace {

using namespace std::chrono_literals;
namespace AudioFiles = test::AudioFiles;

FileURL url(const QString& path)
{
    return FileURL::fromLocalFile(path);
}

// A short tone: 0.4 s, 44.1 kHz stereo unless the name says otherwise.
QString shortTone(const QString& name, int sampleRate = 44100, int channels = 2)
{
    const QString source = QStringLiteral("sine=frequency=440:sample_rate=%1:duration=0.4").arg(sampleRate);
    QStringList arguments { "-f", "lavfi", "-i", source, "-ac", QString::number(channels) };
    if (name.endsWith(".aac") || name.endsWith(".m4a"))
        arguments << "-aac_pns" << "0";
    return AudioFiles::path(name, arguments);
}

struct FormatCase {
    const char* name;
    int sampleRate;
    int channels;
};

class EngineFormat : public ::testing::TestWithParam<FormatCase> { };

TEST_P(EngineFormat, PlaysToASingleEndOfFileNotice)
{
    AudioPlayerEngine engine;
    int finished = 0;
    engine.setOnFinishedPlaying([&] { ++finished; });
    engine.load(url(shortTone(GetParam().name, GetParam().sampleRate, GetParam().channels)));
    EXPECT_NEAR(engine.duration(), 0.4, 0.06); // raw AAC's and MP3's lengths are estimates
    engine.play();
    ASSERT_TRUE(test::runEventsUntil([&] { return finished > 0; }, 5s));
    EXPECT_NEAR(engine.currentTime(), 0.4, 0.05); // raw AAC keeps its priming and padding
    test::runEventsFor(300ms);
    EXPECT_EQ(finished, 1);
}

INSTANTIATE_TEST_SUITE_P(SupportedFormats, EngineFormat,
    ::testing::Values(FormatCase { "tone.mp3", 44100, 2 }, FormatCase { "tone.wav", 44100, 2 },
        FormatCase { "tone.aiff", 44100, 2 }, FormatCase { "tone.aif", 44100, 2 },
        FormatCase { "tone.m4a", 44100, 2 }, FormatCase { "tone.aac", 44100, 2 },
        FormatCase { "tone.flac", 44100, 2 }, FormatCase { "tone-48k-mono.flac", 48000, 1 },
        FormatCase { "tone-22k.mp3", 22050, 2 }, FormatCase { "tone-96k.wav", 96000, 2 },
        FormatCase { "tone-surround.flac", 48000, 6 }),
    [](const auto& info) {
        QString name = QString::fromLatin1(info.param.name);
        name.replace('.', '_').replace('-', '_');
        return name.toStdString();
    });

// Where no device opens (no card, no server), the engine does not pretend to play: it says so,
// stays where it was, and the next play() tries again and is heard once a device is there.
TEST(EngineWithoutSound, SaysSoInsteadOfPlayingAndTriesAgainAtTheNextPlay)
{
    ::setenv("SDL_AUDIODRIVER", "nosuchdriver", 1);
    SDL_AudioQuit();
    {
        AudioPlayerEngine engine;
        int finished = 0;
        std::vector<DeviceTrouble> troubles;
        engine.setOnFinishedPlaying([&] { ++finished; });
        engine.setOnDeviceTrouble([&](DeviceTrouble trouble) { troubles.push_back(trouble); });
        engine.load(url(shortTone("tone.wav")));
        engine.play();
        EXPECT_TRUE(test::runEventsUntil([&] { return !troubles.empty(); }, 5s));
        EXPECT_EQ(troubles, std::vector { DeviceTrouble::missing });
        test::runEventsFor(300ms);
        EXPECT_EQ(engine.currentTime(), 0);

        ::setenv("SDL_AUDIODRIVER", "dummy", 1);
        engine.play();
        EXPECT_TRUE(test::runEventsUntil([&] { return finished > 0; }, 5s));
        EXPECT_EQ(troubles.size(), 1u);
    }
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    SDL_AudioQuit();
}

// The meter shows what is heard: where the sound server holds frames for a while, the level
// is that of the frames handed that long ago, behind the position, which counts on the
// device's buffer alone (on the null driver, 1–2 buffers of 186 ms). A second of silence,
// then a tone at −9 dBFS.
TEST(EngineMeter, TheLevelLagsWhatLeavesForTheDeviceByTheServersLatency)
{
    const QString file = AudioFiles::path("silence-then-tone.wav",
        { "-f", "lavfi", "-i", "aevalsrc=if(gte(t\\,1)\\,0.5*sin(2*PI*440*t)\\,0):s=44100:d=2.5", "-ac", "2" });
    const auto isLoud = [](const PowerLevels& levels) { return levels.left > -20 && levels.right > -20; };
    for (const auto latency : { 0ms, 800ms }) {
        SCOPED_TRACE(latency.count());
        AudioPlayerEngine engine;
        if (latency > 0ms)
            engine.setServerLatency(latency);
        engine.load(url(file));
        engine.play();
        ASSERT_TRUE(test::runEventsUntil([&] { return engine.currentTime() > 1.1; }, 5s));
        EXPECT_EQ(isLoud(engine.readPowerLevels()), latency == 0ms);
        ASSERT_TRUE(test::runEventsUntil([&] { return engine.currentTime() > 1.9; }, 5s));
        EXPECT_TRUE(isLoud(engine.readPowerLevels()));
    }
}

class AudioPlayerEngineTest : public ::testing::Test {
protected:
    QString write(const QString& name, const QByteArray& bytes) const
    {
        QFile file(dir.path() + "/" + name);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }

    // Plays the short tone until its end has been reached and the notice posted, not yet run.
    static void playUntilTheEndIsPosted(AudioPlayerEngine& engine)
    {
        engine.load(url(shortTone("tone.wav")));
        engine.play();
        std::this_thread::sleep_for(1500ms);
    }

    QTemporaryDir dir;
};

TEST_F(AudioPlayerEngineTest, WithoutAFileEverythingIsANoOp)
{
    AudioPlayerEngine engine;
    engine.play();
    engine.setCurrentTime(10);
    engine.pause();
    engine.stop();
    EXPECT_EQ(engine.currentTime(), 0);
    EXPECT_EQ(engine.duration(), 0);
    EXPECT_EQ(engine.volume(), 0.8f);
    const PowerLevels levels = engine.readPowerLevels();
    EXPECT_TRUE(std::isinf(levels.left) && levels.left < 0);
    EXPECT_TRUE(std::isinf(levels.right) && levels.right < 0);
}

TEST_F(AudioPlayerEngineTest, UnplayableFilesFailWithoutDisturbingThePlayingOne)
{
    QFile flac(AudioFiles::noise("flac"));
    ASSERT_TRUE(flac.open(QIODevice::ReadOnly));
    std::mt19937 random(3);
    QByteArray noise(64 * 1024, '\0');
    for (char& byte : noise)
        byte = static_cast<char>(random());
    const QString unplayable[] = {
        write("truncated.flac", flac.read(300)),
        write("random.mp3", noise),
        write("words.mp3", "This is a letter, not a song.\n"),
        write("empty.wav", {}),
        dir.path() + "/missing.flac",
    };

    AudioPlayerEngine engine;
    int finished = 0;
    engine.setOnFinishedPlaying([&] { ++finished; });
    engine.load(url(shortTone("tone.wav")));
    engine.setCurrentTime(0.1);
    engine.play();
    for (const QString& path : unplayable)
        EXPECT_THROW(engine.load(url(path)), AudioLoadError) << qPrintable(path);
    EXPECT_NEAR(engine.duration(), 0.4, 0.001);
    EXPECT_GE(engine.currentTime(), 0.1);
    EXPECT_TRUE(test::runEventsUntil([&] { return finished > 0; }, 5s)); // still playing
}

TEST_F(AudioPlayerEngineTest, AFifoFailsToLoadWithoutWaitingForAWriter)
{
    const test::Fifo fifo(QFile::encodeName(dir.path() + "/pipe.wav").toStdString());
    AudioPlayerEngine engine;
    EXPECT_TRUE(fifo.returnsInTime([&] { EXPECT_THROW(engine.load(FileURL(fifo.path())), AudioLoadError); }));
    EXPECT_EQ(engine.duration(), 0);
}

TEST_F(AudioPlayerEngineTest, EndNoticeOfAReplacedFileIsDropped)
{
    const QString next = shortTone("tone.flac"); // made before any thread runs
    AudioPlayerEngine engine;
    int finished = 0;
    engine.setOnFinishedPlaying([&] { ++finished; });
    playUntilTheEndIsPosted(engine);
    engine.load(url(next));
    test::runEventsFor(300ms);
    EXPECT_EQ(finished, 0);
}

TEST_F(AudioPlayerEngineTest, EndNoticeOvertakenByASeekIsDropped)
{
    AudioPlayerEngine engine;
    int finished = 0;
    engine.setOnFinishedPlaying([&] { ++finished; });
    playUntilTheEndIsPosted(engine);
    engine.setCurrentTime(0.1);
    test::runEventsFor(100ms);
    EXPECT_EQ(finished, 0);
    ASSERT_TRUE(test::runEventsUntil([&] { return finished > 0; }, 5s)); // the new end
    EXPECT_NEAR(engine.currentTime(), 0.4, 0.05);
}

TEST_F(AudioPlayerEngineTest, EndNoticeAfterTheEngineIsGoneIsDropped)
{
    int finished = 0;
    {
        AudioPlayerEngine engine;
        engine.setOnFinishedPlaying([&] { ++finished; });
        playUntilTheEndIsPosted(engine);
    }
    test::runEventsFor(300ms);
    EXPECT_EQ(finished, 0);
}

TEST_F(AudioPlayerEngineTest, PauseHoldsThePositionAndSeekingMovesIt)
{
    AudioPlayerEngine engine;
    engine.load(url(AudioFiles::noise("flac")));
    EXPECT_NEAR(engine.duration(), 130, 1e-6);
    engine.setCurrentTime(60);
    EXPECT_DOUBLE_EQ(engine.currentTime(), 60);
    engine.play();
    ASSERT_TRUE(test::runEventsUntil([&] { return engine.currentTime() > 60.1; }, 3s));
    engine.pause();
    const double paused = engine.currentTime();
    test::runEventsFor(300ms);
    EXPECT_EQ(engine.currentTime(), paused);
    engine.setCurrentTime(1e9); // past the end: at the end
    EXPECT_NEAR(engine.currentTime(), 130, 1e-6);
    engine.setCurrentTime(-5);
    EXPECT_EQ(engine.currentTime(), 0);
    engine.stop();
    EXPECT_EQ(engine.duration(), 0);
}

struct LevelCase {
    const char* name;
    int channels;
    double readAt; // seconds into the file; past 1 s the meter's one-second history has wrapped
};

class EngineLevels : public ::testing::TestWithParam<LevelCase> { };

// RMS of a full-scale sine is 1/√2: −3.01 dBFS, measured before the volume is applied.
TEST_P(EngineLevels, FullScaleSineReadsMinusThreeDecibelsOnBothMeters)
{
    AudioPlayerEngine engine;
    engine.setVolume(0.1f);
    engine.load(url(AudioFiles::fullScaleTone(GetParam().name, 2, GetParam().channels)));
    engine.play();
    ASSERT_TRUE(test::runEventsUntil([&] { return engine.currentTime() > GetParam().readAt; }, 3s));
    const PowerLevels levels = engine.readPowerLevels();
    EXPECT_NEAR(levels.left, -3.01, 0.05);
    EXPECT_NEAR(levels.right, -3.01, 0.05);
}

INSTANTIATE_TEST_SUITE_P(Channels, EngineLevels,
    ::testing::Values(LevelCase { "sine-stereo.wav", 2, 0.3 }, LevelCase { "sine-mono.wav", 1, 0.3 },
        LevelCase { "sine-stereo.wav", 2, 1.3 }),
    [](const auto& info) {
        return std::string(info.param.channels == 1 ? "Mono" : "Stereo") + (info.param.readAt > 1 ? "AfterTheHistoryWrapped" : "");
    });

TEST(EngineSilence, SilenceReadsMinusInfinity)
{
    AudioPlayerEngine engine;
    engine.load(url(AudioFiles::path("silence.flac", { "-f", "lavfi", "-i", "anullsrc=r=44100:cl=stereo", "-t", "2" })));
    engine.play();
    ASSERT_TRUE(test::runEventsUntil([&] { return engine.currentTime() > 0.3; }, 3s));
    const PowerLevels levels = engine.readPowerLevels();
    EXPECT_TRUE(std::isinf(levels.left) && levels.left < 0);
    EXPECT_TRUE(std::isinf(levels.right) && levels.right < 0);
}

} // namespace
} // namespace lh
