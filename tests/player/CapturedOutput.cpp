#include "CapturedOutput.h"

#include "AudioFiles.h"
#include "EventLoop.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace lh::test {

using namespace std::chrono_literals;

void CapturedOutput::SetUp()
{
    capture = dir.path() + "/out.raw";
    if (through() == Capture::soundServer) {
        if (const std::string whyNot = setUpServer(); !whyNot.empty())
            GTEST_SKIP() << whyNot;
        ASSERT_TRUE(record(capture));
        return;
    }
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", capture.toLocal8Bit().constData(), 1);
    SDL_AudioQuit(); // the engine starts the driver named above
}

void CapturedOutput::TearDown()
{
    if (through() == Capture::soundServer) {
        tearDownServer();
        return;
    }
    SDL_AudioQuit();
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
}

std::vector<float> CapturedOutput::heard()
{
    if (through() == Capture::soundServer) {
        runEventsFor(300ms); // the recorder's own latency
        stopRecording();
    }
    std::vector<float> samples = AudioFiles::readFloats(capture);
    std::size_t first = 0;
    while (first < samples.size() && samples[first] == 0.0f)
        ++first;
    return std::vector<float>(samples.begin() + static_cast<std::ptrdiff_t>(first - first % 2), samples.end());
}

std::vector<float> CapturedOutput::heard(const std::vector<float>& expected)
{
    std::vector<float> output = heard();
    if (through() != Capture::soundServer)
        return output;
    constexpr std::size_t recorderBlock = 441 * 2; // samples
    constexpr std::size_t compared = 64;
    for (std::size_t lead = 0; lead <= recorderBlock && lead + compared <= expected.size(); lead += 2) {
        if (output.size() >= compared && std::equal(output.begin(), output.begin() + compared, expected.begin() + static_cast<std::ptrdiff_t>(lead))) {
            output.insert(output.begin(), expected.begin(), expected.begin() + static_cast<std::ptrdiff_t>(lead));
            break;
        }
    }
    return output;
}

const char* name(Capture capture)
{
    return capture == Capture::sdlDisk ? "SdlDisk" : "SoundServer";
}

Match locate(std::span<const float> heard, std::span<const float> source, std::int64_t from, std::int64_t to)
{
    constexpr std::size_t length = 2048;
    Match best;
    double bestScore = 0;
    for (std::int64_t frame = std::max<std::int64_t>(from, 0); frame < to; ++frame) {
        double product = 0;
        double energy = 0;
        for (std::size_t i = 0; i < length; ++i) {
            const double s = source[static_cast<std::size_t>(frame) + i];
            product += heard[2 * i] * s;
            energy += s * s;
        }
        const double score = product / std::sqrt(energy);
        if (score > bestScore) {
            bestScore = score;
            best = Match { frame, product / energy };
        }
    }
    return best;
}

} // namespace lh::test
