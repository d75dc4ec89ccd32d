// What every AudioOutput promises, checked against SDL's (on its dummy driver) and against the
// sound server's own stream (on a private PulseAudio server), through a real file's player.
#include "AudioOutput.h"

#include "AudioDecoder.h"
#include "AudioFiles.h"
#include "EventLoop.h"
#include "FilePlayer.h"
#include "PrivatePulseServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

namespace lh::test {
namespace {

using namespace std::chrono_literals;

struct SdlDummy : PrivatePulseServer {
    static constexpr AudioOutput::Kind kind = AudioOutput::Kind::sdl;
    std::string setUp() { return {}; } // the tests' own driver
    void tearDown() { }
};

struct SoundServer : PrivatePulseServer {
    static constexpr AudioOutput::Kind kind = AudioOutput::Kind::soundServer;
    std::string setUp() { return setUpServer(); }
    void tearDown() { tearDownServer(); }
};

template <typename Backend>
class AudioOutputContract : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const std::string whyNot = backend.setUp(); !whyNot.empty())
            GTEST_SKIP() << whyNot;
        output = AudioOutput::open(44100, 2);
        ASSERT_EQ(output->kind(), Backend::kind);
        player = makePlayer(6);
        output->setSource(player.get());
    }

    void TearDown() override
    {
        if (output)
            output->close();
        output.reset();
        player.reset();
        backend.tearDown();
    }

    std::unique_ptr<FilePlayer> makePlayer(double seconds)
    {
        const QString name = QStringLiteral("contract-%1s.wav").arg(seconds);
        auto decoder = std::make_unique<AudioDecoder>(FileURL::fromLocalFile(AudioFiles::fullScaleTone(name, seconds, 2)));
        decoder->setOutputChannels(output->channels());
        return std::make_unique<FilePlayer>(std::move(decoder), output->bufferFrames(), [this](std::uint64_t) { ++ends; });
    }

    double seconds() const { return static_cast<double>(player->position()) / 44100; }

    bool play()
    {
        player->setIsPlaying(true);
        return output->resume();
    }

    void pause()
    {
        output->pause();
        player->setIsPlaying(false);
    }

    Backend backend;
    std::unique_ptr<AudioOutput> output;
    std::unique_ptr<FilePlayer> player;
    std::atomic<int> ends { 0 };
};

using Backends = ::testing::Types<SdlDummy, SoundServer>;
TYPED_TEST_SUITE(AudioOutputContract, Backends);

TYPED_TEST(AudioOutputContract, PlaysWhileResumedAndNothingIsRenderedWhilePausedOrClosed)
{
    EXPECT_FALSE(this->output->isOpen());
    ASSERT_TRUE(this->play());
    EXPECT_TRUE(this->output->isOpen());
    ASSERT_TRUE(runEventsUntil([&] { return this->seconds() > 0.3; }, 5s)) << "the source is not rendered";

    this->pause();
    const double pausedAt = this->seconds();
    runEventsFor(300ms);
    EXPECT_DOUBLE_EQ(this->seconds(), pausedAt) << "rendered while paused";

    ASSERT_TRUE(this->play());
    ASSERT_TRUE(runEventsUntil([&] { return this->seconds() > pausedAt + 0.3; }, 5s)) << "the resume is not played";
    EXPECT_LT(this->seconds(), pausedAt + 2) << "the resume skipped ahead";

    this->output->close();
    this->player->setIsPlaying(false);
    const double closedAt = this->seconds();
    runEventsFor(300ms);
    EXPECT_DOUBLE_EQ(this->seconds(), closedAt) << "rendered once closed";
    EXPECT_FALSE(this->output->isLost());
    EXPECT_FALSE(this->output->isWithoutOutput());

    ASSERT_TRUE(this->play()) << "a closed output does not open again";
    EXPECT_TRUE(runEventsUntil([&] { return this->seconds() > closedAt + 0.3; }, 5s));
}

TYPED_TEST(AudioOutputContract, ASeekGoesOnFromTheNewPositionAndAnotherSourceTakesOver)
{
    ASSERT_TRUE(this->play());
    ASSERT_TRUE(runEventsUntil([&] { return this->seconds() > 0.2; }, 5s));
    this->output->seekSource([&] { this->player->seek(4 * 44100); });
    ASSERT_TRUE(runEventsUntil([&] { return this->seconds() > 4.2; }, 5s));
    EXPECT_LT(this->seconds(), 5.5);

    // A short file that ends: its end notice comes once its last frames have been handed.
    auto shorter = this->makePlayer(0.5);
    this->pause();
    this->output->setSource(shorter.get());
    this->player = std::move(shorter);
    ASSERT_TRUE(this->play());
    EXPECT_TRUE(runEventsUntil([&] { return this->ends.load() == 1; }, 5s)) << "the end is not reached";
    EXPECT_GE(this->seconds(), 0.5);
}

} // namespace
} // namespace lh::test
