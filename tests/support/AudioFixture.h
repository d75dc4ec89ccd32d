#pragma once

#include <QString>
#include <QStringList>

namespace lh::test {

// Makes real audio files for tests with the ffmpeg command-line tool.
namespace AudioFixture {

// Runs `ffmpeg -y <arguments> <output>`; false (with ffmpeg's message on stderr) on failure.
bool generate(const QStringList& arguments, const QString& output);

// A sine tone of `seconds` at `frequency` Hz; the container and codec follow the extension.
bool tone(const QString& output, double seconds, int sampleRate = 44100, int channels = 2, double frequency = 440.0);

} // namespace AudioFixture
} // namespace lh::test
