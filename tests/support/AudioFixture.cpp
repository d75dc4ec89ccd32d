#include "AudioFixture.h"

#include "ChildProcess.h"

#include <QFile>
#include <QTemporaryFile>

#include <cstdio>
#include <string>
#include <vector>

namespace lh::test::AudioFixture {

bool generate(const QStringList& arguments, const QString& output)
{
    std::vector<std::string> argv { "ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-y" };
    for (const QString& argument : arguments + QStringList { output })
        argv.push_back(QFile::encodeName(argument).toStdString());

    QTemporaryFile log;
    log.open();
    if (ChildProcess::run(argv, QFile::encodeName(log.fileName()).toStdString(), std::chrono::minutes(2)))
        return true;
    std::fprintf(stderr, "ffmpeg failed for %s: %s\n", qPrintable(output), log.readAll().constData());
    return false;
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
