#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace lh::test {

// Audio files the player tests share, made once per build and kept in the build tree, so
// every test process after the first finds them ready.
namespace AudioFiles {

// The file `name`, made with `ffmpeg <arguments> <file>` when it does not exist yet.
QString path(const QString& name, const QStringList& ffmpegArguments);

// The file `name`, made by running `command` with the file's path appended, when it does not
// exist yet: for formats whose own encoder is the one people use.
QString madeBy(const QString& name, const QStringList& command);

// The file `name`, made by `make` at the path it is given, when it does not exist yet.
QString made(const QString& name, const std::function<bool(const QString& output)>& make);

// A tone at full scale (a cosine, so the first sample is not zero).
QString fullScaleTone(const QString& name, double seconds, int channels);

// Two minutes and ten seconds of white noise, mono, 44.1 kHz: the samples themselves tell the
// position, so a stretch of output can be placed exactly in the file.
QString noiseSource(); // raw 32-bit float
QString noise(const QString& extension); // "flac", "mp3" or "m4a", encoded from the source

// Raw 32-bit float samples.
std::vector<float> readFloats(const QString& path);

} // namespace AudioFiles
} // namespace lh::test
