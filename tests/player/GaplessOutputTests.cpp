#include "AudioDecoder.h"
#include "AudioFiles.h"
#include "AudioPlayerEngine.h"
#include "CapturedOutput.h"
#include "Chirp.h"
#include "EventLoop.h"
#include "Playback.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <tuple>

namespace lh::test {
namespace {

using namespace std::chrono_literals;

using namespace Chirp;

QStringList encoding(const QString& extension)
{
    if (extension == "m4a")
        return { "-aac_pns", "0", "-b:a", "192k" };
    if (extension == "mp3")
        return { "-b:a", "192k" };
    return {};
}

// The chirp, or with `part` ≥ 0 the stretch between two cuts.
QString chirp(const QString& extension, int part = -1)
{
    return Chirp::file(extension, part, encoding(extension));
}

// The joins are checked through each kind of output: they are made in the engine, but an
// output that dropped or padded a block at a join, or cut the end short, would still be heard.
using FormatThrough = std::tuple<const char*, Capture>;

class Joins : public CapturedOutput, public ::testing::WithParamInterface<FormatThrough> {
protected:
    Capture through() const override { return std::get<1>(GetParam()); }
    const char* format() const { return std::get<0>(GetParam()); }
};

std::string formatAndCapture(const ::testing::TestParamInfo<FormatThrough>& info)
{
    return std::string(std::get<0>(info.param)) + name(std::get<1>(info.param));
}

const auto everyCapture = ::testing::Values(Capture::sdlDisk, Capture::soundServer);

class CueJoins : public Joins { };

TEST_P(CueJoins, ThreeWindowsOfOneFileSoundLikeTheFileItself)
{
    const QString file = chirp(format());
    const std::vector<float> whole = decoded(file);
    const double one = static_cast<double>(cuts[1]) / rate;
    const double two = static_cast<double>(cuts[2]) / rate;
    const std::vector<Track> tracks { window(file, 0, one), window(file, one, two), window(file, two, std::nullopt) };
    EXPECT_EQ(playInTurn(tracks), tracks);
    const std::vector<float> output = trimmed(heard(whole));
    ASSERT_EQ(output.size(), whole.size()) << "not one frame missing or added";
    for (std::size_t i = 0; i < whole.size(); ++i)
        ASSERT_EQ(output[i], whole[i]) << "frame " << i / 2;
}

// With repeat, the first window of a file follows its last one: the file is opened again on
// the decoder thread and decoded behind the last frame.
TEST_P(CueJoins, TheFirstWindowFollowsTheLastOne)
{
    const QString file = chirp(format());
    const std::vector<float> whole = decoded(file);
    const double one = static_cast<double>(cuts[1]) / rate;
    const double two = static_cast<double>(cuts[2]) / rate;
    const std::vector<Track> tracks { window(file, two, std::nullopt), window(file, 0, one) };
    EXPECT_EQ(playInTurn(tracks), tracks);
    std::vector<float> expected(whole.begin() + 2 * cuts[2], whole.end());
    expected.insert(expected.end(), whole.begin(), whole.begin() + 2 * cuts[1]);
    const std::vector<float> output = trimmed(heard(expected));
    ASSERT_EQ(output.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(output[i], expected[i]) << "frame " << i / 2;
}

INSTANTIATE_TEST_SUITE_P(Formats, CueJoins, ::testing::Combine(::testing::Values("flac", "wav"), everyCapture), formatAndCapture);

// A join to another file is made as soon as the decoder reaches the end, a second ahead of
// what is heard; taken back before any of it is heard, the file ends as if none was made.
TEST_F(CapturedOutput, AJoinTakenBackBeforeItIsHeardLeavesTheFileAsItWas)
{
    const QString first = chirp("flac", 0);
    {
        AudioPlayerEngine engine;
        engine.setVolume(1);
        bool hasFinished = false;
        engine.setOnFinishedPlaying([&] { hasFinished = true; });
        engine.load(FileURL::fromLocalFile(first));
        ASSERT_TRUE(engine.setContinuation(Continuation { FileURL::fromLocalFile(chirp("flac", 1)), 0, std::nullopt }));
        engine.play();
        ASSERT_TRUE(test::runEventsUntil([&] { return engine.currentTime() > 0.8; }, 5s));
        EXPECT_TRUE(engine.setContinuation(std::nullopt));
        ASSERT_TRUE(test::runEventsUntil([&] { return hasFinished; }, 5s));
        EXPECT_FALSE(engine.takeContinuation());
    }
    EXPECT_EQ(trimmed(heard()), decoded(first));
}

// A seek or a pause near the end starts the look-ahead over; when it then finds nothing to
// follow (the next row removed meanwhile), the file ends on its own and nothing else is heard.
enum class Interruption { seek, pause };

class InterruptedLookAhead : public CapturedOutput, public ::testing::WithParamInterface<Interruption> { };

TEST_P(InterruptedLookAhead, NothingArmedBeforeItIsHeardAfterwards)
{
    const QString firstFile = chirp("flac", 0);
    const Track first = window(firstFile, 0, std::nullopt);
    const Track second = window(chirp("flac", 1), 0, std::nullopt);
    const std::size_t firstSamples = decoded(firstFile).size();
    double positionAtTheEnd = 0;
    {
        AudioPlayerEngine engine;
        Playback playback(engine);
        bool hasFinished = false;
        playback.setOnFinished([&] { hasFinished = true; });
        ASSERT_TRUE(playback.start(first, first.url));
        ASSERT_TRUE(playback.setUpcoming(Playback::Upcoming { second, second.url }));
        if (GetParam() == Interruption::seek) {
            playback.seek(1.0);
        } else {
            // Early enough that the decoder, a second ahead, has not reached the end yet.
            ASSERT_TRUE(test::runEventsUntil([&] { return playback.position() > 0.1; }, 5s));
            playback.pause();
            playback.resume();
        }
        EXPECT_TRUE(playback.setUpcoming(std::nullopt));
        ASSERT_TRUE(test::runEventsUntil([&] { return hasFinished; }, 10s));
        positionAtTheEnd = playback.position();
        EXPECT_FALSE(playback.advance());
        EXPECT_EQ(playback.track(), first);
    }
    EXPECT_LE(positionAtTheEnd, static_cast<double>(cuts[1]) / rate + 0.05);
    // A pause may hand a few frames twice; the second file would add a second and a half.
    EXPECT_LT(trimmed(heard()).size(), firstSamples + 2 * rate / 2);
}

INSTANTIATE_TEST_SUITE_P(Interruptions, InterruptedLookAhead, ::testing::Values(Interruption::seek, Interruption::pause),
    [](const auto& info) { return info.param == Interruption::seek ? "Seek" : "Pause"; });

class FileJoins : public Joins { };

// Each file is heard exactly as a decode of it on its own gives it, one straight after the
// other. Lossless files then add up to the source itself; a lossy file's own length may be
// off by a little of its codec's framing, and nothing more.
TEST_P(FileJoins, EachFileFollowsTheOneBeforeItAsItsOwnDecodeGivesIt)
{
    const QString format = Joins::format();
    const bool isLossless = format == "flac" || format == "wav";
    std::vector<float> expected;
    std::vector<Track> tracks;
    for (int part = 0; part < 3; ++part) {
        const QString file = chirp(format, part);
        const std::vector<float> samples = decoded(file);
        expected.insert(expected.end(), samples.begin(), samples.end());
        tracks.push_back(window(file, 0, std::nullopt));
    }
    EXPECT_EQ(playInTurn(tracks), tracks);
    const std::vector<float> output = trimmed(heard(expected));
    ASSERT_EQ(output.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(output[i], expected[i]) << "frame " << i / 2;

    const std::vector<float> source = AudioFiles::readFloats(Chirp::source());
    if (isLossless) {
        ASSERT_EQ(expected.size(), 2 * source.size());
    }
    for (int join = 1; join <= 2; ++join) {
        const std::int64_t gap = gapAt(output, source, cuts[join]);
        std::printf("%s join %d: %lld frames off the source\n", qPrintable(format), join, static_cast<long long>(gap));
        EXPECT_LE(std::abs(gap), isLossless ? 0 : 64) << "join " << join;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, FileJoins, ::testing::Combine(::testing::Values("flac", "wav", "mp3", "m4a"), everyCapture),
    formatAndCapture);

// Every sample of a file is scaled by its own gain, the first at −6.02 dB (one half), and the
// gain of the next file takes over at exactly its first frame.
TEST_F(CapturedOutput, EachFileIsHeardAtItsOwnGainFromItsFirstFrame)
{
    const std::vector<float> gains { std::pow(10.0f, -6.02f / 20), 1.0f, 0.25f };
    std::vector<float> expected;
    std::vector<Track> tracks;
    for (int part = 0; part < 3; ++part) {
        const QString file = chirp("flac", part);
        for (const float sample : decoded(file))
            expected.push_back(sample * gains[static_cast<std::size_t>(part)]);
        tracks.push_back(window(file, 0, std::nullopt));
    }
    EXPECT_EQ(playInTurn(tracks, gains), tracks);
    const std::vector<float> output = trimmed(heard());
    ASSERT_EQ(output.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_FLOAT_EQ(output[i], expected[i]) << "frame " << i / 2;
}

} // namespace
} // namespace lh::test
