#include "AudioPlayerEngine.h"

#include "AudioFiles.h"
#include "AudioFixture.h"
#include "EventLoop.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <random>
#include <thread>

namespace lh {
namespace {

using namespace std::chrono_literals;
namespace AudioFiles = test::AudioFiles;

FileURL url(const QString& path)
{
    return FileURL::fromLocalFile(path);
}

// A short stereo tone in the given format.
QString shortTone(const QString& extension)
{
    const QString source = QStringLiteral("sine=frequency=440:sample_rate=44100:duration=0.4");
    QStringList arguments { "-f", "lavfi", "-i", source, "-ac", "2" };
    if (extension == "aac" || extension == "m4a")
        arguments << "-aac_pns" << "0";
    return AudioFiles::path("tone." + extension, arguments);
}

class EngineFormat : public ::testing::TestWithParam<const char*> { };

TEST_P(EngineFormat, PlaysToASingleEndOfFileNotice)
{
    AudioPlayerEngine engine;
    int finished = 0;
    engine.setOnFinishedPlaying([&] { ++finished; });
    engine.load(url(shortTone(GetParam())));
    EXPECT_NEAR(engine.duration(), 0.4, 0.06); // raw AAC's length is an estimate
    engine.play();
    ASSERT_TRUE(test::runEventsUntil([&] { return finished > 0; }, 5s));
    EXPECT_NEAR(engine.currentTime(), engine.duration(), 0.05);
    test::runEventsFor(300ms);
    EXPECT_EQ(finished, 1);
}

INSTANTIATE_TEST_SUITE_P(SupportedFormats, EngineFormat,
    ::testing::Values("mp3", "wav", "aiff", "aif", "m4a", "aac", "flac"));

class AudioPlayerEngineTest : public ::testing::Test {
protected:
    QString write(const QString& name, const QByteArray& bytes) const
    {
        QFile file(dir.path() + "/" + name);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
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
    engine.load(url(shortTone("wav")));
    engine.setCurrentTime(0.1);
    engine.play();
    for (const QString& path : unplayable)
        EXPECT_THROW(engine.load(url(path)), AudioLoadError) << qPrintable(path);
    EXPECT_NEAR(engine.duration(), 0.4, 0.001);
    EXPECT_GE(engine.currentTime(), 0.1);
    EXPECT_TRUE(test::runEventsUntil([&] { return finished > 0; }, 5s)); // still playing
}

TEST_F(AudioPlayerEngineTest, EndNoticeOfAReplacedFileIsDropped)
{
    AudioPlayerEngine engine;
    int finished = 0;
    engine.setOnFinishedPlaying([&] { ++finished; });
    engine.load(url(shortTone("wav")));
    engine.play();
    std::this_thread::sleep_for(1500ms); // the end is reached and its notice posted, not yet run
    engine.load(url(shortTone("flac")));
    test::runEventsFor(300ms);
    EXPECT_EQ(finished, 0);
}

TEST_F(AudioPlayerEngineTest, EndNoticeAfterTheEngineIsGoneIsDropped)
{
    int finished = 0;
    {
        AudioPlayerEngine engine;
        engine.setOnFinishedPlaying([&] { ++finished; });
        engine.load(url(shortTone("wav")));
        engine.play();
        std::this_thread::sleep_for(1500ms);
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
};

class EngineLevels : public ::testing::TestWithParam<LevelCase> { };

// RMS of a full-scale sine is 1/√2: −3.01 dBFS, measured before the volume is applied.
TEST_P(EngineLevels, FullScaleSineReadsMinusThreeDecibelsOnBothMeters)
{
    AudioPlayerEngine engine;
    engine.setVolume(0.1f);
    engine.load(url(AudioFiles::fullScaleTone(GetParam().name, 2, GetParam().channels)));
    engine.play();
    ASSERT_TRUE(test::runEventsUntil([&] { return engine.currentTime() > 0.3; }, 3s));
    const PowerLevels levels = engine.readPowerLevels();
    EXPECT_NEAR(levels.left, -3.01, 0.05);
    EXPECT_NEAR(levels.right, -3.01, 0.05);
}

INSTANTIATE_TEST_SUITE_P(Channels, EngineLevels,
    ::testing::Values(LevelCase { "sine-stereo.wav", 2 }, LevelCase { "sine-mono.wav", 1 }),
    [](const auto& info) { return info.param.channels == 1 ? "Mono" : "Stereo"; });

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
