#pragma once

#include "Track.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace lh::test {

// A slow chirp whose every sample is known, in any format, whole or cut into three parts, and
// the means to play such files in turn through the real engine.
namespace Chirp {

inline constexpr int rate = 44100;
// Cut at frames that fall on no codec's block size.
inline constexpr std::int64_t cuts[] = { 0, 66150 + 37, 132300 + 411, 198450 };

QString source(); // raw 32-bit float, mono, 44.1 kHz

// The chirp encoded by ffmpeg with `encoding` (its default codec for the extension when empty),
// or with `part` ≥ 0 the stretch between two cuts.
QString file(const QString& extension, int part = -1, const QStringList& encoding = {});

// The chirp, or a part, as a 16-bit WAV file, for encoders of their own.
QString wav(int part = -1);

// A straight decode, in the device's two channels.
std::vector<float> decoded(const QString& path);

Track window(const QString& path, double start, std::optional<double> end);

// Plays `tracks` in order through a playback on the real engine, each following the one before
// it as the controller has it follow, each at its gain in `gains` (none: all at 1), and returns
// the tracks in the order the playback reported them.
std::vector<Track> playInTurn(const std::vector<Track>& tracks, const std::vector<float>& gains = {});

// A captured stream without its silent tail.
std::vector<float> trimmed(std::vector<float> output);

// Frames inserted (positive) or lost (negative) at the cut `at` of the source, going by where
// the source's frames after it are heard.
std::int64_t gapAt(const std::vector<float>& output, const std::vector<float>& source, std::int64_t at);

} // namespace Chirp
} // namespace lh::test
