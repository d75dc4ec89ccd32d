#pragma once

#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <vector>

namespace lh::test {

// Runs the engine on SDL's disk driver, which writes exactly the samples it is fed (stereo
// 32-bit float here) to a file, after a little leading silence of varying length.
class CapturedOutput : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The captured frames from the first one that is not silent; read once the engine is gone.
    std::vector<float> heard() const;

    QTemporaryDir dir;
    QString capture;
};

// Where `heard` (every second sample: the left channel) lies in `source`, searched between
// frames `from` and `to`, and the gain between them there.
struct Match {
    std::int64_t frame = -1;
    double gain = 0;
};

Match locate(std::span<const float> heard, std::span<const float> source, std::int64_t from, std::int64_t to);

} // namespace lh::test
