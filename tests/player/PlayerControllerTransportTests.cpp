#include "ControllerFixture.h"

#include <gtest/gtest.h>

#include <functional>

namespace lh::test {
namespace {

using Transport = ControllerTest;

TEST_F(Transport, PlayingARowOutsideThePlaylistChangesNothing)
{
    startWith({ wholeFile("/m/a.flac"), wholeFile("/m/b.flac"), wholeFile("/m/c.flac") });
    perform(PlayTrackCommand(1));
    perform(PlayTrackCommand(5));
    perform(PlayTrackCommand(-1));
    EXPECT_EQ(loadedNames(), std::vector<std::string>({ "b.flac" }));
    EXPECT_TRUE(model.isPlaying.value());
    EXPECT_EQ(model.currentIndex.value(), 1);
}

TEST_F(Transport, TheWalkSkipsUnopenableRowsAndClearsTheRowWhenNothingPlays)
{
    startWith({ wholeFile("/m/a.flac"), wholeFile("/m/b.bad"), wholeFile("/m/c.bad"), wholeFile("/m/d.flac") });
    perform(PlayTrackCommand(1));
    EXPECT_EQ(model.currentIndex.value(), 3);
    EXPECT_EQ(loadedNames(), std::vector<std::string>({ "d.flac" }));
    EXPECT_DOUBLE_EQ(model.duration.value(), 100);
    EXPECT_EQ(timers.validCount(PlayerController::playbackTickInterval), 1);

    controller.reset();
    startWith({ wholeFile("/m/x.bad"), wholeFile("/m/y.bad") });
    perform(PlayTrackCommand(1));
    EXPECT_EQ(model.currentIndex.value(), std::nullopt);
    EXPECT_FALSE(model.isPlaying.value());
    EXPECT_EQ(timers.validCount(PlayerController::playbackTickInterval), 0);
}

TEST_F(Transport, AnUncachedNetworkRowIsWaitedForThenPlaysFromItsCopy)
{
    startWith({ wholeFile("/m/a.flac"), wholeFile("/share/x.flac") });
    perform(PlayTrackCommand(1));
    EXPECT_EQ(model.currentIndex.value(), 1);
    EXPECT_TRUE(model.isLoading.value());
    EXPECT_TRUE(loadedNames().empty());

    settle();
    EXPECT_FALSE(model.isLoading.value());
    EXPECT_TRUE(model.isPlaying.value());
    ASSERT_TRUE(engine.loaded);
    EXPECT_EQ(engine.loaded, cache->copy(url("/share/x.flac")));
    EXPECT_EQ(model.fileStates.value().at(url("/share/x.flac")), FileState::cached);
}

TEST_F(Transport, OnceTheShareIsAwayUncachedNetworkRowsArePassedOver)
{
    // Copies reach the cache through the downloader, whose reports say so, or are there at start.
    putInCache("/share/w.flac");
    startWith({ wholeFile("/share/x.flac"), wholeFile("/share/y.flac"), wholeFile("/m/z.flac"), wholeFile("/share/w.flac") });
    files->isAway = true;
    perform(PlayTrackCommand(0));
    settle();
    EXPECT_EQ(model.currentIndex.value(), 2);
    EXPECT_EQ(loadedNames(), std::vector<std::string>({ "z.flac" }));
    EXPECT_EQ(model.fileStates.value().at(url("/share/x.flac")), FileState::unreachable);
    EXPECT_EQ(model.fileStates.value().at(url("/share/w.flac")), FileState::cached);

    // Moving on from z: y is known unreachable, the cached copy of w plays.
    perform(NextCommand());
    settle();
    EXPECT_EQ(model.currentIndex.value(), 3);
    EXPECT_FALSE(model.isLoading.value());
}

TEST_F(Transport, AMissingFileLetsTheWalkWaitForTheNextNetworkRow)
{
    startWith({ wholeFile("/share/x.flac"), wholeFile("/share/y.flac"), wholeFile("/m/z.flac") });
    files->missing = { "x.flac" };
    perform(PlayTrackCommand(0));
    settle();
    EXPECT_EQ(model.currentIndex.value(), 1);
    EXPECT_TRUE(model.isPlaying.value());
    EXPECT_EQ(engine.loaded, cache->copy(url("/share/y.flac")));
}

// A file the desktop (MPRIS OpenUri) or a second launch asks for that cannot be had is said
// once, and no other row starts in its place; a listed one that can plays as before.
TEST_F(Transport, AnOpenedFileOutOfReachIsSaidAndNothingElsePlays)
{
    startWith({ wholeFile("/m/a.flac"), wholeFile("/share/y.flac") });
    files->isAway = true;
    ::testing::internal::CaptureStderr();
    perform(OpenTracksCommand({ url("/share/x.flac") }));
    settle();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "larkhaven: cannot play /share/x.flac: the share is not answering\n");
    EXPECT_TRUE(loadedNames().empty());
    EXPECT_FALSE(model.isPlaying.value());
    EXPECT_FALSE(model.isLoading.value());
    EXPECT_EQ(model.currentIndex.value(), std::nullopt);

    files->isAway = false;
    perform(OpenTracksCommand({ url("/share/y.flac") }));
    settle();
    EXPECT_EQ(loadedNames().size(), 1u); // its copy
    EXPECT_EQ(model.currentIndex.value(), 1);
    EXPECT_TRUE(model.isPlaying.value());
}

TEST_F(Transport, AChosenRowIsWaitedForEvenWhenKnownUnreachable)
{
    startWith({ wholeFile("/m/a.bad"), wholeFile("/share/y.flac") });
    files->isAway = true;
    settle(); // the copy-ahead pass finds y unreachable
    ASSERT_EQ(model.fileStates.value().at(url("/share/y.flac")), FileState::unreachable);

    perform(PlayTrackCommand(0)); // a.bad fails; y is not chosen and known unreachable
    EXPECT_EQ(model.currentIndex.value(), std::nullopt);
    EXPECT_FALSE(model.isLoading.value());

    perform(PlayTrackCommand(1));
    EXPECT_TRUE(model.isLoading.value());
    EXPECT_EQ(model.currentIndex.value(), 1);
}

// Rows: a local cue track ending at 300 s, a network file whose share is away, a local file.
TEST_F(Transport, OnlyTheUsersOwnPickWaitsForARowKnownUnreachable)
{
    struct Case {
        const char* move;
        std::int64_t from;
        bool isRepeating;
        std::function<void()> act;
        bool isWaiting; // for the network row; otherwise the local row after it plays
    };
    const Case cases[] = {
        { "end of the file, repeat on", 0, true, [&] { engine.finish(); }, false },
        { "end of the file, repeat off", 0, false, [&] { engine.finish(); }, false },
        { "end of the cue window", 0, false, [&] {
             engine.time = 300;
             timers.fire(PlayerController::playbackTickInterval);
             mainThread.runAll();
         }, false },
        { "Next", 0, true, [&] { perform(NextCommand()); }, true },
        { "Previous", 2, true, [&] { perform(PreviousCommand()); }, true },
        { "play/pause with nothing loaded", 0, true, [&] {
             perform(NextCommand());
             perform(StopCommand());
             perform(TogglePlayPauseCommand());
         }, true },
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.move);
        controller.reset();
        settle();
        files->isAway = true;
        startWith({ cueTrack("/m/album.flac", 0, 300, "One"), wholeFile("/share/y.flac"), wholeFile("/m/c.flac") });
        settle(); // the copy-ahead pass finds y unreachable
        ASSERT_EQ(model.fileStates.value().at(url("/share/y.flac")), FileState::unreachable);
        model.isRepeating.set(test.isRepeating);
        perform(PlayTrackCommand(test.from));

        test.act();
        EXPECT_EQ(model.isLoading.value(), test.isWaiting);
        EXPECT_EQ(model.currentIndex.value(), test.isWaiting ? 1 : 2);
    }
}

// Each look-ahead pass tries a failed copy again; while it runs, the file is still the one
// whose share was gone a moment ago.
TEST_F(Transport, AFileWhoseCopyFailedIsPassedOverWhileItsCopyIsTriedAgain)
{
    startWith({ wholeFile("/m/a.flac"), wholeFile("/share/y.flac"), wholeFile("/m/c.flac") });
    // Its size arrives, then the share goes before the copy is made.
    while (actor.runAll() + mainThread.runAll() + background.runAll() > 0 || threads.runOne()) {
        if (model.fileStates.value().at(url("/share/y.flac")) == FileState::copying)
            files->isAway = true;
    }
    ASSERT_EQ(model.fileStates.value().at(url("/share/y.flac")), FileState::unreachable);

    perform(PlayTrackCommand(0)); // a new look-ahead pass copies y again; that copy hangs
    while (actor.runAll() + mainThread.runAll() + background.runAll() > 0) { }
    ASSERT_EQ(model.fileStates.value().at(url("/share/y.flac")), FileState::copying);

    engine.finish();
    EXPECT_EQ(model.currentIndex.value(), 2);
    EXPECT_FALSE(model.isLoading.value());
    EXPECT_EQ(loadedNames(), std::vector<std::string>({ "a.flac", "c.flac" }));

    // Chosen by the user, it is waited for.
    perform(PlayTrackCommand(1));
    EXPECT_TRUE(model.isLoading.value());
    files->isAway = false;
    settle();
    EXPECT_EQ(model.currentIndex.value(), 1);
    EXPECT_TRUE(model.isPlaying.value());
}

TEST_F(Transport, StopDuringAWaitKeepsTheArrivingCopyFromPlaying)
{
    startWith({ wholeFile("/share/x.flac") });
    perform(PlayTrackCommand(0));
    perform(StopCommand());
    EXPECT_FALSE(model.isLoading.value());
    settle();
    EXPECT_TRUE(loadedNames().empty());
    EXPECT_FALSE(model.isPlaying.value());
    EXPECT_EQ(model.currentIndex.value(), 0);
}

TEST_F(Transport, NextAndPreviousWrapAroundTheList)
{
    startWith({ wholeFile("/m/a.flac"), wholeFile("/m/b.bad"), wholeFile("/m/c.flac") });
    model.isRepeating.set(false);
    perform(PlayTrackCommand(2));
    perform(NextCommand());
    EXPECT_EQ(model.currentIndex.value(), 0);
    perform(PreviousCommand());
    EXPECT_EQ(model.currentIndex.value(), 2);
    perform(PreviousCommand()); // b cannot be played: the walk goes on upwards
    EXPECT_EQ(model.currentIndex.value(), 0);
}

TEST_F(Transport, WithoutRepeatTheEndOfTheLastRowStopsAndPlayPauseStartsItAgain)
{
    startWith({ wholeFile("/m/a.flac"), wholeFile("/m/b.flac") });
    perform(ToggleRepeatCommand());
    perform(PlayTrackCommand(0));
    engine.finish(); // the engine's end-of-file notice
    EXPECT_EQ(model.currentIndex.value(), 1);
    engine.finish();
    EXPECT_FALSE(model.isPlaying.value());
    EXPECT_EQ(model.currentIndex.value(), 1);
    EXPECT_DOUBLE_EQ(model.duration.value(), 0);

    perform(TogglePlayPauseCommand());
    EXPECT_TRUE(model.isPlaying.value());
    EXPECT_EQ(loadedNames(), std::vector<std::string>({ "a.flac", "b.flac", "b.flac" }));
}

TEST_F(Transport, WithoutRepeatTheEndSkipsUnplayableRowsWithoutWrapping)
{
    startWith({ wholeFile("/m/a.flac"), wholeFile("/m/b.flac"), wholeFile("/m/c.bad") });
    perform(ToggleRepeatCommand());
    perform(PlayTrackCommand(1));
    perform(TrackEndedCommand());
    EXPECT_EQ(model.currentIndex.value(), std::nullopt);
    EXPECT_EQ(loadedNames(), std::vector<std::string>({ "b.flac" }));
}

TEST_F(Transport, ShuffleWithoutRepeatKeepsPlayingOtherRows)
{
    startWith({ wholeFile("/m/a.flac"), wholeFile("/m/b.flac"), wholeFile("/m/c.flac") });
    perform(ToggleRepeatCommand());
    perform(ToggleShuffleCommand());
    perform(PlayTrackCommand(2));
    perform(TrackEndedCommand()); // random(1..<3) gives 1: row (2 + 1) % 3
    EXPECT_EQ(model.currentIndex.value(), 0);

    random = [](std::int64_t, std::int64_t upper) { return upper - 1; };
    perform(TrackEndedCommand());
    EXPECT_EQ(model.currentIndex.value(), 2);
}

TEST_F(Transport, ARandomRowIsNeverTheCurrentOne)
{
    startWith({ wholeFile("/m/a.flac") });
    EXPECT_EQ(controller->randomIndex(), 0);
    perform(PlayTrackCommand(0));
    EXPECT_EQ(controller->randomIndex(), 0);

    controller.reset();
    startWith({ wholeFile("/m/a.flac"), wholeFile("/m/b.flac") });
    perform(PlayTrackCommand(0));
    EXPECT_EQ(controller->randomIndex(), 1);
    random = [](std::int64_t, std::int64_t upper) { return upper - 1; };
    EXPECT_EQ(controller->randomIndex(), 1);
}

TEST_F(Transport, TheTickMovesTimeAndMetersAndEndsACueTrackAtItsEnd)
{
    startWith({ cueTrack("/m/album.flac", 200, 300, "One"), cueTrack("/m/album.flac", 300, std::nullopt, "Two") });
    perform(PlayTrackCommand(0));
    EXPECT_DOUBLE_EQ(model.duration.value(), 100);
    engine.time = 250;
    engine.levels = { 0, -25 };
    EXPECT_EQ(timers.fire(PlayerController::playbackTickInterval), 1);
    EXPECT_DOUBLE_EQ(model.currentTime.value(), 0); // the tick is scheduled, not run in the timer
    mainThread.runAll();
    EXPECT_DOUBLE_EQ(model.currentTime.value(), 50);
    EXPECT_DOUBLE_EQ(model.leftLevel.value(), 1);
    EXPECT_NEAR(model.rightLevel.value(), 0.5, 1e-6);

    engine.time = 300; // the file goes on; the track is over
    timers.fire(PlayerController::playbackTickInterval);
    mainThread.runAll();
    EXPECT_EQ(model.currentIndex.value(), 1);
    EXPECT_DOUBLE_EQ(model.currentTime.value(), 0);
}

TEST_F(Transport, PauseEmptiesTheMetersAndStopsTheTicksUntilResumed)
{
    startWith({ wholeFile("/m/a.flac") });
    perform(PlayTrackCommand(0));
    timers.fire(PlayerController::playbackTickInterval);
    mainThread.runAll();
    ASSERT_GT(model.leftLevel.value(), 0);
    engine.time = 42;

    perform(TogglePlayPauseCommand());
    EXPECT_FALSE(engine.isPlaying);
    EXPECT_EQ(model.leftLevel.value(), 0);
    EXPECT_EQ(model.rightLevel.value(), 0);
    EXPECT_EQ(timers.fire(PlayerController::playbackTickInterval), 0);

    perform(TogglePlayPauseCommand());
    EXPECT_TRUE(engine.isPlaying);
    EXPECT_DOUBLE_EQ(engine.time, 42); // resumed where it was, not restarted
    EXPECT_EQ(loadedNames().size(), 1u);
}

// A device that goes away, or none at all, leaves the window paused where the sound stopped,
// never showing a silent "playing"; Play tries again, and the display says when there is none.
// A sound server without any output is watched for as a lost device is.
TEST_F(Transport, ADeviceThatFailsLeavesThePlayerPausedWhereTheSoundStopped)
{
    for (const DeviceTrouble trouble : { DeviceTrouble::lost, DeviceTrouble::missing, DeviceTrouble::withoutOutput }) {
        SCOPED_TRACE(static_cast<int>(trouble));
        startWith({ wholeFile("/m/a.flac") });
        perform(PlayTrackCommand(0));
        timers.fire(PlayerController::playbackTickInterval);
        mainThread.runAll();
        engine.time = 42;

        engine.failDevice(trouble);
        EXPECT_FALSE(model.isPlaying.value());
        EXPECT_EQ(model.isSoundDeviceMissing.value(), trouble != DeviceTrouble::lost);
        // No device at all waits for Play; a lost one, or a server's, is watched for.
        EXPECT_EQ(timers.validCount(PlayerController::deviceRetryInterval), trouble == DeviceTrouble::missing ? 0 : 1);
        EXPECT_DOUBLE_EQ(model.currentTime.value(), 42);
        EXPECT_EQ(model.leftLevel.value(), 0);
        EXPECT_EQ(timers.fire(PlayerController::playbackTickInterval), 0);
        EXPECT_EQ(model.currentIndex.value(), 0);

        perform(TogglePlayPauseCommand());
        EXPECT_TRUE(engine.isPlaying);
        EXPECT_TRUE(model.isPlaying.value());
        EXPECT_FALSE(model.isSoundDeviceMissing.value());
        EXPECT_DOUBLE_EQ(engine.time, 42);
        controller.reset(); // before the next one takes the engine's callbacks
    }
}

// A device lost while playing is tried again every few seconds, and the track plays on by
// itself from where it stopped once one opens, unless the user paused or stopped meanwhile.
// A Play that found no device in between keeps the wait.
TEST_F(Transport, APlayerThatLostItsDevicePlaysOnByItselfWhenOneIsBackUnlessPausedOrStopped)
{
    struct Case {
        const char* name;
        std::vector<std::function<void()>> meanwhile;
        bool playsOn;
    };
    const auto toggle = [this] { perform(TogglePlayPauseCommand()); };
    const auto noDevice = [this] { engine.failDevice(DeviceTrouble::missing); };
    const auto stop = [this] { perform(StopCommand()); };
    const Case cases[] = {
        { "nothing", {}, true },
        { "Play that finds no device", { toggle, noDevice }, true },
        { "Play, then Pause", { toggle, toggle }, false },
        { "Stop", { stop }, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        startWith({ wholeFile("/m/a.flac") });
        perform(PlayTrackCommand(0));
        engine.time = 42;
        engine.hasDevice = false;
        engine.failDevice(DeviceTrouble::lost);
        timers.fire(PlayerController::deviceRetryInterval);
        mainThread.runAll();
        EXPECT_FALSE(model.isPlaying.value());
        for (const auto& step : c.meanwhile)
            step();
        engine.isPlaying = false;
        engine.hasDevice = true;

        timers.fire(PlayerController::deviceRetryInterval);
        mainThread.runAll();
        EXPECT_EQ(model.isPlaying.value(), c.playsOn);
        EXPECT_EQ(engine.isPlaying, c.playsOn);
        EXPECT_EQ(timers.validCount(PlayerController::deviceRetryInterval), 0);
        EXPECT_EQ(timers.validCount(PlayerController::playbackTickInterval), c.playsOn ? 1 : 0);
        if (c.playsOn) {
            EXPECT_FALSE(model.isSoundDeviceMissing.value());
            EXPECT_DOUBLE_EQ(engine.time, 42);
        }
        controller.reset();
    }
}

// Hidden, the tick comes only when there is something to decide: at the look-ahead point and
// at the track's end. Shown again, the display is brought up to date at once.
TEST_F(Transport, HiddenTheTickComesOnlyWhenThereIsSomethingToDecide)
{
    startWith({ wholeFile("/m/a.flac"), wholeFile("/m/b.flac") });
    perform(PlayTrackCommand(0));
    engine.time = 10;
    perform(SetWindowShownCommand(false));
    EXPECT_EQ(timers.validCount(PlayerController::playbackTickInterval), 0);
    EXPECT_EQ(timers.validCount(100 - 10 - PlayerController::lookAheadTime), 1);

    engine.time = 100 - PlayerController::lookAheadTime;
    timers.fire(100 - 10 - PlayerController::lookAheadTime);
    mainThread.runAll();
    EXPECT_TRUE(engine.continuation.has_value()) << "the next track was not worked out";
    EXPECT_EQ(timers.validCount(PlayerController::lookAheadTime), 1); // then at the end

    perform(SeekCommand(20)); // a seek from the media controls moves the next decision
    EXPECT_EQ(timers.validCount(100 - 20 - PlayerController::lookAheadTime), 1);

    engine.time = 30;
    perform(SetWindowShownCommand(true));
    EXPECT_DOUBLE_EQ(model.currentTime.value(), 30);
    EXPECT_EQ(timers.validCount(PlayerController::playbackTickInterval), 1);
    EXPECT_EQ(timers.validCount(100 - 20 - PlayerController::lookAheadTime), 0);
}

TEST_F(Transport, TheStreamIsNamedAfterTheTrackAboutToPlay)
{
    streamTitle = [](const Track& track) { return track.title.value_or(QStringLiteral("file")); };
    startWith({ cueTrack("/m/album.flac", 0, 60, "One"), cueTrack("/m/album.flac", 60, 120, "Two") });
    perform(PlayTrackCommand(1));
    EXPECT_EQ(engine.streamTitle, "Two");
    perform(NextCommand());
    EXPECT_EQ(engine.streamTitle, "One");
}

TEST_F(Transport, SeekingMovesWithinTheTrackOnlyWhenOneIsLoaded)
{
    startWith({ cueTrack("/m/album.flac", 60, 120, "One") });
    perform(SeekCommand(10));
    EXPECT_DOUBLE_EQ(model.currentTime.value(), 0);

    perform(PlayTrackCommand(0));
    perform(SeekCommand(10));
    EXPECT_DOUBLE_EQ(model.currentTime.value(), 10);
    EXPECT_DOUBLE_EQ(engine.time, 70);
}

} // namespace
} // namespace lh::test
