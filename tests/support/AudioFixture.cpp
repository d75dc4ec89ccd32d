#include "AudioFixture.h"

#include <QProcess>

#include <cstdio>

namespace lh::test::AudioFixture {

bool generate(const QStringList& arguments, const QString& output)
{
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", QStringList { "-hide_banner", "-loglevel", "error", "-nostdin", "-y" } + arguments + QStringList { output });
    if (!ffmpeg.waitForFinished(120'000) || ffmpeg.exitStatus() != QProcess::NormalExit || ffmpeg.exitCode() != 0) {
        std::fprintf(stderr, "ffmpeg failed for %s: %s\n", qPrintable(output), ffmpeg.readAllStandardError().constData());
        return false;
    }
    return true;
}

bool tone(const QString& output, double seconds, int sampleRate, int channels, double frequency)
{
    const QString source = QStringLiteral("sine=frequency=%1:sample_rate=%2:duration=%3").arg(frequency).arg(sampleRate).arg(seconds);
    QStringList arguments { "-f", "lavfi", "-i", source, "-ac", QString::number(channels) };
    if (output.endsWith(".m4a") || output.endsWith(".aac"))
        arguments << "-aac_pns" << "0"; // no random noise bands: samples stay comparable
    return generate(arguments, output);
}

} // namespace lh::test::AudioFixture
