#include "Playback.h"

#include <gtest/gtest.h>

#include <limits>

namespace lh {
namespace {

Track wholeFile(const char* path)
{
    Track track;
    track.url = FileURL(path);
    return track;
}

// An engine that plays nothing and remembers what it was told.
class FakeEngine final : public AudioPlaying {
public:
    void setOnFinishedPlaying(std::function<void()> onFinished) override { onFinished_ = std::move(onFinished); }
    float volume() const override { return volume_; }
    void setVolume(float volume) override { volume_ = volume; }
    double currentTime() const override { return isLoaded ? time : 0; }
    void setCurrentTime(double seconds) override
    {
        ++seeks;
        if (isLoaded)
            time = seconds;
    }
    double duration() const override { return isLoaded ? fileDuration : 0; }
    void setPlayingWindowEnd(std::optional<double> end) override { windowEnd = end; }
    void load(const FileURL& url) override
    {
        if (url.path().ends_with(".bad"))
            throw AudioLoadError("unplayable");
        loaded = url;
        isLoaded = true;
        isPlaying = false;
        time = 0;
        windowEnd.reset();
    }
    void play() override { isPlaying = isLoaded; }
    void pause() override { isPlaying = false; }
    void stop() override
    {
        isLoaded = false;
        isPlaying = false;
    }
    PowerLevels readPowerLevels() override { return { -6, -12 }; }

    void finish() const
    {
        if (onFinished_)
            onFinished_();
    }

    FileURL loaded;
    bool isLoaded = false;
    bool isPlaying = false;
    double time = 0;
    int seeks = 0;
    double fileDuration = 600;
    std::optional<double> windowEnd;

private:
    std::function<void()> onFinished_;
    float volume_ = 0.8f;
};

class PlaybackTest : public ::testing::Test {
protected:
    static Track cueTrack(double start, std::optional<double> end)
    {
        return Track { FileURL("/music/album.flac"), start, end, QStringLiteral("Song"), std::nullopt, std::nullopt, false, false };
    }

    FakeEngine engine;
    Playback playback { engine };
};

TEST_F(PlaybackTest, CueTrackPlaysItsWindowOfTheFile)
{
    ASSERT_TRUE(playback.start(cueTrack(120, 300), FileURL("/music/album.flac")));
    EXPECT_EQ(engine.time, 120);
    EXPECT_EQ(engine.windowEnd, 300);
    EXPECT_TRUE(engine.isPlaying);
    EXPECT_EQ(playback.position(), 0);
    EXPECT_EQ(playback.length(), 180);
    playback.seek(30);
    EXPECT_EQ(engine.time, 150);
    EXPECT_EQ(playback.position(), 30);
    EXPECT_FALSE(playback.isPastEnd());
    engine.time = 300;
    EXPECT_TRUE(playback.isPastEnd());
}

// A file loads at its start with its first frames decoded; a seek there would decode them again.
TEST_F(PlaybackTest, OnlyATrackStartingLaterInItsFileSeeksAfterTheLoad)
{
    ASSERT_TRUE(playback.start(wholeFile("/music/a.mp3"), FileURL("/music/a.mp3")));
    ASSERT_TRUE(playback.start(cueTrack(0, 120), FileURL("/music/album.flac")));
    EXPECT_EQ(engine.seeks, 0);
    EXPECT_EQ(engine.windowEnd, 120);
    ASSERT_TRUE(playback.start(cueTrack(120, 300), FileURL("/music/album.flac")));
    EXPECT_EQ(engine.seeks, 1);
    EXPECT_EQ(engine.time, 120);
}

TEST_F(PlaybackTest, LastCueTrackAndWholeFileRunToTheFilesEnd)
{
    ASSERT_TRUE(playback.start(cueTrack(420, std::nullopt), FileURL("/cache/copy.flac")));
    EXPECT_EQ(engine.loaded, FileURL("/cache/copy.flac"));
    EXPECT_EQ(engine.windowEnd, std::nullopt);
    EXPECT_EQ(playback.length(), 180);

    ASSERT_TRUE(playback.start(wholeFile("/music/a.mp3"), FileURL("/music/a.mp3")));
    EXPECT_EQ(playback.length(), 600);
    engine.time = 10'000;
    EXPECT_FALSE(playback.isPastEnd()); // its end comes as the engine's notice
}

TEST_F(PlaybackTest, PositionAndLengthNeverGoNegative)
{
    EXPECT_EQ(playback.length(), std::nullopt);
    EXPECT_EQ(playback.position(), 0);
    ASSERT_TRUE(playback.start(cueTrack(120, 300), FileURL("/music/album.flac")));
    engine.time = 100;
    EXPECT_EQ(playback.position(), 0);
    engine.fileDuration = 50;
    ASSERT_TRUE(playback.start(cueTrack(120, std::nullopt), FileURL("/music/album.flac")));
    EXPECT_EQ(playback.length(), 0);
}

TEST_F(PlaybackTest, FailedStartKeepsTheTrackAndTheEngineAsTheyWere)
{
    ASSERT_TRUE(playback.start(cueTrack(120, 300), FileURL("/music/album.flac")));
    playback.seek(40);
    EXPECT_FALSE(playback.start(wholeFile("/music/x.bad"), FileURL("/music/x.bad")));
    EXPECT_EQ(playback.track(), cueTrack(120, 300));
    EXPECT_EQ(engine.loaded, FileURL("/music/album.flac"));
    EXPECT_EQ(engine.time, 160);
    EXPECT_TRUE(engine.isPlaying);
}

TEST_F(PlaybackTest, StopUnloadsAndForgetsTheTrack)
{
    ASSERT_TRUE(playback.start(cueTrack(120, 300), FileURL("/music/album.flac")));
    playback.stop();
    EXPECT_EQ(playback.track(), std::nullopt);
    EXPECT_FALSE(engine.isLoaded);
    EXPECT_FALSE(playback.isPastEnd());
    EXPECT_EQ(playback.length(), std::nullopt);
}

TEST_F(PlaybackTest, PassesTransportVolumeLevelsAndTheEndNoticeThrough)
{
    int finished = 0;
    playback.setOnFinished([&] { ++finished; });
    ASSERT_TRUE(playback.start(wholeFile("/music/a.mp3"), FileURL("/music/a.mp3")));
    playback.pause();
    EXPECT_FALSE(engine.isPlaying);
    playback.resume();
    EXPECT_TRUE(engine.isPlaying);
    playback.setVolume(0.25f);
    EXPECT_EQ(engine.volume(), 0.25f);
    EXPECT_EQ(playback.levels().right, -12);
    engine.finish();
    EXPECT_EQ(finished, 1);
}

} // namespace
} // namespace lh
