#include "AudioFiles.h"

#include "AudioFixture.h"
#include "ChildProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

namespace lh::test::AudioFiles {
namespace {

QString folder()
{
    const QString path = QStringLiteral(LARKHAVEN_PLAYER_FIXTURES);
    QDir().mkpath(path);
    return path;
}

} // namespace

QString made(const QString& name, const std::function<bool(const QString& output)>& make)
{
    const QString target = folder() + "/" + name;
    if (QFile::exists(target))
        return target;
    // Tests run in parallel: make the file under a name of our own, then move it into place.
    const QString dot = name.contains('.') ? name.mid(name.lastIndexOf('.')) : QString();
    const QString partial = QStringLiteral("%1/partial-%2-%3%4").arg(folder(), name).arg(QCoreApplication::applicationPid()).arg(dot);
    if (!make(partial)) {
        ADD_FAILURE() << "cannot make " << qPrintable(name);
        return target;
    }
    QFile::rename(partial, target); // fails harmlessly when another test was quicker
    QFile::remove(partial);
    return target;
}

QString path(const QString& name, const QStringList& ffmpegArguments)
{
    return made(name, [&](const QString& output) { return AudioFixture::generate(ffmpegArguments, output); });
}

QString madeBy(const QString& name, const QStringList& command)
{
    return made(name, [&](const QString& output) {
        std::vector<std::string> argv;
        for (const QString& argument : command + QStringList { output })
            argv.push_back(QFile::encodeName(argument).toStdString());
        if (ChildProcess::run(argv, "/dev/null", std::chrono::minutes(2)))
            return true;
        std::fprintf(stderr, "%s failed for %s\n", qPrintable(command.value(0)), qPrintable(output));
        return false;
    });
}

QString fullScaleTone(const QString& name, double seconds, int channels)
{
    // One expression per channel: ffmpeg's own upmix would lower each channel by 3 dB.
    QStringList expressions;
    for (int channel = 0; channel < channels; ++channel)
        expressions << QStringLiteral("cos(2*PI*1000*t)");
    const QString source = QStringLiteral("aevalsrc=%1:s=44100:d=%2").arg(expressions.join('|')).arg(seconds);
    return path(name, { "-f", "lavfi", "-i", source, "-c:a", "pcm_f32le" });
}

QString noiseSource()
{
    return path("noise.f32", { "-f", "lavfi", "-i", "anoisesrc=d=130:c=white:r=44100:a=0.3:s=7", "-f", "f32le", "-c:a", "pcm_f32le" });
}

QString noise(const QString& extension)
{
    QStringList arguments { "-f", "f32le", "-ar", "44100", "-ac", "1", "-i", noiseSource() };
    if (extension == "m4a")
        arguments << "-aac_pns" << "0" << "-b:a" << "192k";
    if (extension == "mp3")
        arguments << "-b:a" << "192k";
    return path("noise." + extension, arguments);
}

std::vector<float> readFloats(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    std::vector<float> samples(static_cast<std::size_t>(bytes.size()) / sizeof(float));
    std::memcpy(samples.data(), bytes.constData(), samples.size() * sizeof(float));
    return samples;
}

} // namespace lh::test::AudioFiles
