#include "ControllerFixture.h"

#include <gtest/gtest.h>

namespace lh::test {
namespace {

class Gapless : public ControllerTest {
protected:
    // One tick of the playback timer, run.
    void tick()
    {
        timers.fire(PlayerController::playbackTickInterval);
        mainThread.runAll();
    }

    std::optional<Continuation> continuation(const std::string& path, double start, std::optional<double> end)
    {
        return Continuation { url(path), start, end };
    }
};

TEST_F(Gapless, CueTracksOfOneFileFollowEachOtherWithoutReloading)
{
    engine.fileDuration = 400;
    startWith({ cueTrack("/m/album.flac", 0, 100, "One"), cueTrack("/m/album.flac", 100, 250, "Two"),
        cueTrack("/m/album.flac", 250, std::nullopt, "Three") });
    perform(PlayTrackCommand(0));
    engine.time = 50;
    tick();
    EXPECT_EQ(engine.continuation, std::nullopt) << "far from the end nothing is worked out yet";

    engine.time = 96;
    tick();
    EXPECT_EQ(engine.continuation, continuation("/m/album.flac", 100, 250));
    engine.hearJoin(0.03);
    tick();
    EXPECT_EQ(model.currentIndex.value(), 1);
    EXPECT_NEAR(model.currentTime.value(), 0.03, 1e-9);
    EXPECT_DOUBLE_EQ(model.duration.value(), 150);
    EXPECT_TRUE(model.isPlaying.value());

    engine.time = 248;
    tick();
    engine.hearJoin(0);
    tick();
    EXPECT_EQ(model.currentIndex.value(), 2);
    EXPECT_DOUBLE_EQ(model.duration.value(), 150);
    EXPECT_EQ(loadedNames(), std::vector<std::string>({ "album.flac" })) << "opened once for the three";

    // With repeat on, the first row follows the last: its window starts at the file's start.
    engine.time = 399;
    tick();
    EXPECT_EQ(engine.continuation, continuation("/m/album.flac", 0, 100));
}

// What the transport would play at the end is what is joined; nothing is joined where it
// would stop, or where it would wait for the copy of a network file.
TEST_F(Gapless, TheUpcomingTrackIsTheOneTheTransportWouldPlay)
{
    struct Case {
        const char* name;
        bool isRepeating;
        std::int64_t row;
        const char* expected; // the file joined, or none
    };
    const std::vector<Case> cases {
        { "next row", false, 0, "/m/b.flac" },
        { "uncached network row", true, 1, nullptr },
        { "cached network row", true, 3, "/share/y.flac" },
        { "last row with repeat", true, 4, "/m/a.flac" },
        { "last row without repeat", false, 4, nullptr },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        controller.reset();
        startWith({ wholeFile("/m/a.flac"), wholeFile("/m/b.flac"), wholeFile("/share/x.flac"), wholeFile("/m/c.flac"),
            wholeFile("/share/y.flac") });
        putInCache("/share/y.flac");
        model.isRepeating.set(c.isRepeating);
        perform(PlayTrackCommand(c.row));
        engine.time = 98;
        tick();
        std::optional<Continuation> expected;
        if (c.expected) {
            const FileURL file = url(c.expected);
            expected = Continuation { cache->copy(file).value_or(file), 0, std::nullopt };
        }
        EXPECT_EQ(engine.continuation, expected);
    }
}

// "Stop After Current Track" takes back a join already armed, stops once at the track's end
// and is cleared by it: the next play goes on through the list again.
TEST_F(Gapless, StopAfterCurrentTrackTakesBackTheJoinAndStopsOnce)
{
    startWith({ wholeFile("/m/a.flac"), wholeFile("/m/b.flac"), wholeFile("/m/c.flac") });
    perform(PlayTrackCommand(0));
    engine.time = 98;
    tick();
    ASSERT_TRUE(engine.continuation);
    perform(ToggleStopAfterCurrentCommand());
    EXPECT_TRUE(model.stopsAfterCurrent.value());
    EXPECT_FALSE(engine.continuation);
    engine.finish();
    EXPECT_FALSE(model.isPlaying.value());
    EXPECT_FALSE(model.stopsAfterCurrent.value());

    perform(PlayTrackCommand(1));
    engine.finish();
    EXPECT_TRUE(model.isPlaying.value());
    EXPECT_EQ(model.currentIndex.value(), 2);

    perform(ToggleStopAfterCurrentCommand());
    perform(ToggleStopAfterCurrentCommand()); // changed their mind: it plays on
    engine.finish();
    EXPECT_TRUE(model.isPlaying.value());
    EXPECT_EQ(model.currentIndex.value(), 0);
}

TEST_F(Gapless, TheModelFollowsAJoinedFileAndTheNextOneIsLookedForAgain)
{
    startWith({ wholeFile("/m/a.flac"), wholeFile("/share/y.flac"), wholeFile("/m/c.flac") });
    putInCache("/share/y.flac");
    perform(PlayTrackCommand(0));
    engine.time = 97;
    tick();
    engine.hearJoin(0.01);
    tick();
    EXPECT_EQ(model.currentIndex.value(), 1);
    EXPECT_DOUBLE_EQ(model.duration.value(), 100);
    EXPECT_EQ(engine.loaded, cache->copy(url("/share/y.flac")));
    EXPECT_EQ(loadedNames(), std::vector<std::string>({ "a.flac" }));

    engine.time = 99;
    tick();
    EXPECT_EQ(engine.continuation, continuation("/m/c.flac", 0, std::nullopt));
}

// Short tracks reach their look-ahead point before the next one's copy is made: the copy
// that arrives later is joined all the same, so share tracks follow each other without a gap.
TEST_F(Gapless, ACopyThatArrivesAfterTheLookAheadIsStillJoined)
{
    startWith({ wholeFile("/m/a.flac"), wholeFile("/share/y.flac") });
    perform(PlayTrackCommand(0));
    engine.time = 98;
    tick();
    ASSERT_EQ(engine.continuation, std::nullopt) << "no copy yet";
    settle(); // the look-ahead pass copies y
    ASSERT_TRUE(cache->copy(url("/share/y.flac")));
    EXPECT_EQ(engine.continuation, (Continuation { *cache->copy(url("/share/y.flac")), 0, std::nullopt }));
}

TEST_F(Gapless, AShufflePickMadeAheadIsTheOneThatPlays)
{
    int draws = 0;
    random = [&](std::int64_t lower, std::int64_t) {
        ++draws;
        return lower; // row (current + 1) % count
    };
    startWith({ wholeFile("/m/a.flac"), wholeFile("/m/b.flac"), wholeFile("/m/c.flac") });
    perform(ToggleShuffleCommand());
    perform(PlayTrackCommand(0));
    engine.time = 96;
    tick();
    EXPECT_EQ(draws, 1);
    EXPECT_EQ(engine.continuation, continuation("/m/b.flac", 0, std::nullopt));

    // Not joined (say the file's format differs): the track ends as usual, and the row picked
    // ahead plays, not a second draw.
    random = [&](std::int64_t, std::int64_t upper) {
        ++draws;
        return upper - 1;
    };
    engine.finish();
    EXPECT_EQ(model.currentIndex.value(), 1);
    EXPECT_EQ(draws, 1);

    // Joined: the pick plays, and the next draw is made near the end of it.
    engine.time = 99;
    tick();
    EXPECT_EQ(draws, 2);
    EXPECT_EQ(engine.continuation, continuation("/m/a.flac", 0, std::nullopt));
    engine.hearJoin(0);
    tick();
    EXPECT_EQ(model.currentIndex.value(), 0);

    // Turning shuffle off takes the pick back.
    engine.time = 99;
    tick();
    EXPECT_EQ(draws, 3);
    perform(ToggleShuffleCommand());
    EXPECT_EQ(engine.continuation, continuation("/m/b.flac", 0, std::nullopt));
}

TEST_F(Gapless, EditsAndTogglesNearTheEndChangeTheUpcomingTrackUntilTheJoinIsMade)
{
    startWith({ wholeFile("/m/a.flac"), wholeFile("/m/b.flac"), wholeFile("/m/c.flac") });
    perform(PlayTrackCommand(1));
    engine.time = 97;
    tick();
    EXPECT_EQ(engine.continuation, continuation("/m/c.flac", 0, std::nullopt));

    perform(RemoveTracksCommand({ 2 })); // the last row now: with repeat, the first follows
    EXPECT_EQ(engine.continuation, continuation("/m/a.flac", 0, std::nullopt));
    perform(ToggleRepeatCommand());
    EXPECT_EQ(engine.continuation, std::nullopt);
    controller->append({ wholeFile("/m/d.flac") });
    EXPECT_EQ(engine.continuation, continuation("/m/d.flac", 0, std::nullopt));

    // Once the join has left for the device it stands; a removed row that has been joined
    // ends at once, and the transport moves on as at any end.
    engine.makeJoin();
    perform(RemoveTracksCommand({ 2 }));
    EXPECT_EQ(engine.continuation, continuation("/m/d.flac", 0, std::nullopt));
    engine.hearJoin(0);
    tick();
    EXPECT_EQ(model.currentIndex.value(), 1);
    EXPECT_FALSE(model.isPlaying.value()) << "the end of the list without repeat";
}

TEST_F(Gapless, ASeekTakesTheUpcomingTrackBackUntilTheEndIsNearAgain)
{
    startWith({ cueTrack("/m/album.flac", 0, 100, "One"), cueTrack("/m/album.flac", 100, 200, "Two") });
    perform(PlayTrackCommand(0));
    engine.time = 97;
    tick();
    ASSERT_TRUE(engine.continuation);

    perform(SeekCommand(10));
    EXPECT_EQ(engine.continuation, std::nullopt);
    tick();
    EXPECT_EQ(engine.continuation, std::nullopt);

    perform(SeekCommand(100)); // across the end: the next window goes on from its start
    EXPECT_EQ(engine.continuation, continuation("/m/album.flac", 100, 200));
    engine.hearJoin(0);
    tick();
    EXPECT_EQ(model.currentIndex.value(), 1);
    EXPECT_DOUBLE_EQ(model.currentTime.value(), 0);
}

TEST_F(Gapless, StopTheSleepTimerAndPauseNearTheEndTakeTheUpcomingTrackBack)
{
    startWith({ wholeFile("/m/a.flac"), wholeFile("/m/b.flac") });
    const auto armNearTheEnd = [&] {
        perform(PlayTrackCommand(0));
        engine.time = 97;
        tick();
        ASSERT_TRUE(engine.continuation);
    };
    armNearTheEnd();
    perform(StopCommand());
    EXPECT_EQ(engine.continuation, std::nullopt);

    armNearTheEnd();
    perform(SetSleepTimerCommand(1));
    now += std::chrono::seconds(60);
    timers.fire(PlayerController::sleepTickInterval);
    mainThread.runAll();
    EXPECT_EQ(engine.continuation, std::nullopt);
    EXPECT_FALSE(model.isPlaying.value());

    armNearTheEnd();
    perform(TogglePlayPauseCommand());
    EXPECT_EQ(engine.continuation, std::nullopt);
    perform(TogglePlayPauseCommand());
    tick();
    EXPECT_EQ(engine.continuation, continuation("/m/b.flac", 0, std::nullopt)) << "set again once playing";
}

// A join heard in the moment before a pause stands through it: the model shows the row being
// heard, paused, and a removed row that was joined ends as it would at the next tick.
TEST_F(Gapless, APauseJustAfterAJoinIsHeardShowsTheJoinedRow)
{
    startWith({ wholeFile("/m/a.flac"), wholeFile("/m/b.flac"), wholeFile("/m/c.flac") });
    perform(PlayTrackCommand(0));
    engine.time = 97;
    tick();
    engine.hearJoin(0.02);
    perform(TogglePlayPauseCommand());
    EXPECT_EQ(model.currentIndex.value(), 1);
    EXPECT_FALSE(model.isPlaying.value());
    EXPECT_NEAR(model.currentTime.value(), 0.02, 1e-9);
    EXPECT_DOUBLE_EQ(model.duration.value(), 100);
    perform(TogglePlayPauseCommand());
    EXPECT_TRUE(engine.isPlaying);
    EXPECT_EQ(loadedNames(), std::vector<std::string>({ "a.flac" })) << "resumed, not started again";

    engine.time = 97;
    tick();
    engine.makeJoin();
    perform(RemoveTracksCommand({ 2 })); // c.flac, joined already
    engine.hearJoin(0);
    perform(TogglePlayPauseCommand());
    EXPECT_EQ(model.currentIndex.value(), 0) << "with repeat, the first row follows the last";
    EXPECT_FALSE(model.isPlaying.value());
    EXPECT_FALSE(engine.isPlaying);
    EXPECT_EQ(loadedNames(), std::vector<std::string>({ "a.flac", "a.flac" }));
}

TEST_F(Gapless, WithoutAJoinACueTrackStillEndsByTheTick)
{
    startWith({ cueTrack("/m/album.flac", 0, 100, "One"), wholeFile("/m/b.bad"), wholeFile("/m/c.flac") });
    perform(PlayTrackCommand(0));
    engine.time = 97;
    tick();
    EXPECT_EQ(engine.continuation, continuation("/m/b.bad", 0, std::nullopt));
    engine.time = 100; // the engine could not open b.bad: nothing was joined
    tick();
    EXPECT_EQ(model.currentIndex.value(), 2);
    EXPECT_EQ(loadedNames(), std::vector<std::string>({ "album.flac", "c.flac" }));
}

} // namespace
} // namespace lh::test
