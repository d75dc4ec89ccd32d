#pragma once

#include "PrivatePulseServer.h"

#include <QString>

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <vector>

namespace lh::test {

// Where the engine's output is captured: SDL's disk driver, which writes exactly the samples
// it is fed (stereo 32-bit float here) to a file after a little leading silence of varying
// length; or the monitor of a private sound server's null sink of that format, which passes a
// lone stream at full volume on untouched.
enum class Capture { sdlDisk, soundServer };

class CapturedOutput : public ::testing::Test, protected PrivatePulseServer {
protected:
    void SetUp() override;
    void TearDown() override;
    virtual Capture through() const { return Capture::sdlDisk; }

    // The captured frames from the first one that is not silent; read once the engine is gone.
    std::vector<float> heard();
    // The same, for a capture meant to begin as `expected` does. The sound server's recorder
    // misses its first block (10 ms) of a stream that starts on its sink, so up to that much
    // of `expected` stands in for what it missed; the rest must be there.
    std::vector<float> heard(const std::vector<float>& expected);

    QString capture;
};

const char* name(Capture capture);

// Where `heard` (every second sample: the left channel) lies in `source`, searched between
// frames `from` and `to`, and the gain between them there.
struct Match {
    std::int64_t frame = -1;
    double gain = 0;
};

Match locate(std::span<const float> heard, std::span<const float> source, std::int64_t from, std::int64_t to);

} // namespace lh::test
