// What every AudioPlaying promises about continuations, seeks, pauses, stops and the end
// notice, checked against the fake the controller tests stand on and against the real engine,
// so the fake cannot drift into promising something the engine does not keep.
#include "AudioFiles.h"
#include "AudioPlayerEngine.h"
#include "ControllerFixture.h"
#include "EventLoop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

namespace lh::test {
namespace {

using namespace std::chrono_literals;

// Two short tones of the same format, so the engine can join them.
FileURL tone(const char* name, int frequency)
{
    const QString source = QStringLiteral("sine=frequency=%1:sample_rate=44100:duration=0.6").arg(frequency);
    return FileURL::fromLocalFile(AudioFiles::path(name, { "-f", "lavfi", "-i", source, "-ac", "2" }));
}

// The real engine on SDL's dummy driver: time passes on its own.
struct RealEngine {
    // Plays until the continuation's first frame has been heard, or the end notice has come.
    void playOn()
    {
        const int before = finished;
        ASSERT_TRUE(runEventsUntil([&] { return finished > before || engine.currentTime() > engine.duration() + 0.02; }, 5s));
    }

    AudioPlayerEngine engine;
    int finished = 0;
};

// The fake: time passes when the test says so.
struct FakeEngineDriver {
    FakeEngineDriver() { engine.fileDuration = 0.6; }

    void playOn()
    {
        ASSERT_TRUE(engine.isPlaying);
        if (engine.continuation) {
            engine.hearJoin(0.02);
            return;
        }
        engine.time = engine.fileDuration;
        engine.finish();
    }

    FakeEngine engine;
    int finished = 0;
};

template <typename Driver>
class AudioPlayingContract : public ::testing::Test {
protected:
    AudioPlayingContract()
    {
        driver.engine.setOnFinishedPlaying([this] { ++driver.finished; });
        driver.engine.load(first);
        driver.engine.play();
    }

    AudioPlaying& engine() { return driver.engine; }
    Continuation next() const { return Continuation { second, 0, std::nullopt }; }

    const FileURL first = tone("contract-a.flac", 440);
    const FileURL second = tone("contract-b.flac", 660);
    Driver driver;
};

using Engines = ::testing::Types<FakeEngineDriver, RealEngine>;
TYPED_TEST_SUITE(AudioPlayingContract, Engines);

TYPED_TEST(AudioPlayingContract, AContinuationFollowsTheEndInsteadOfTheNoticeAndIsTakenOnce)
{
    ASSERT_TRUE(this->engine().setContinuation(this->next()));
    this->driver.playOn();
    EXPECT_EQ(this->driver.finished, 0);
    EXPECT_TRUE(this->engine().takeContinuation());
    EXPECT_FALSE(this->engine().takeContinuation());
    EXPECT_LT(this->engine().currentTime(), 0.3) << "the position is the continuation's";

    this->driver.playOn();
    EXPECT_EQ(this->driver.finished, 1) << "the continuation's own end";
    EXPECT_FALSE(this->engine().takeContinuation());
}

TYPED_TEST(AudioPlayingContract, TakenBackInTimeTheFileEndsAsUsual)
{
    ASSERT_TRUE(this->engine().setContinuation(this->next()));
    EXPECT_TRUE(this->engine().setContinuation(std::nullopt));
    this->driver.playOn();
    EXPECT_EQ(this->driver.finished, 1);
    EXPECT_FALSE(this->engine().takeContinuation());
}

// The look-ahead starts over after either, so nothing armed before is left to be joined.
TYPED_TEST(AudioPlayingContract, SeeksAndPausesTakeBackAContinuationNotYetHeard)
{
    const std::function<void(AudioPlaying&)> interruptions[] = {
        [](AudioPlaying& engine) { engine.setCurrentTime(0.3); },
        [](AudioPlaying& engine) {
            engine.pause();
            engine.play();
        },
    };
    for (const auto& interrupt : interruptions) {
        this->engine().load(this->first);
        this->engine().play();
        const int finished = this->driver.finished;
        ASSERT_TRUE(this->engine().setContinuation(this->next()));
        interrupt(this->engine());
        this->driver.playOn();
        EXPECT_EQ(this->driver.finished, finished + 1);
        EXPECT_FALSE(this->engine().takeContinuation());
    }
}

TYPED_TEST(AudioPlayingContract, APauseOnceTheJoinIsHeardKeepsIt)
{
    ASSERT_TRUE(this->engine().setContinuation(this->next()));
    this->driver.playOn();
    this->engine().pause();
    EXPECT_FALSE(this->engine().setContinuation(std::nullopt)) << "too late: the join stands";
    EXPECT_TRUE(this->engine().takeContinuation());
    EXPECT_LT(this->engine().currentTime(), 0.4);
}

// The time asked for is one of the file before the join.
TYPED_TEST(AudioPlayingContract, ASeekBeforeTheJoinIsTakenUndoesIt)
{
    ASSERT_TRUE(this->engine().setContinuation(this->next()));
    this->driver.playOn();
    this->engine().setCurrentTime(0.3);
    EXPECT_FALSE(this->engine().takeContinuation());
    EXPECT_NEAR(this->engine().duration(), 0.6, 0.01);
    EXPECT_GE(this->engine().currentTime(), 0.3);
    this->driver.playOn();
    EXPECT_EQ(this->driver.finished, 1);
    EXPECT_FALSE(this->engine().takeContinuation());
}

TYPED_TEST(AudioPlayingContract, StopAndLoadTakeItBack)
{
    ASSERT_TRUE(this->engine().setContinuation(this->next()));
    this->engine().stop();
    EXPECT_FALSE(this->engine().takeContinuation());
    EXPECT_TRUE(this->engine().setContinuation(this->next())) << "without a file: nothing to refuse";

    this->engine().load(this->first);
    ASSERT_TRUE(this->engine().setContinuation(this->next()));
    this->engine().load(this->first);
    this->engine().play();
    this->driver.playOn();
    EXPECT_EQ(this->driver.finished, 1);
    EXPECT_FALSE(this->engine().takeContinuation());
}

} // namespace
} // namespace lh::test
