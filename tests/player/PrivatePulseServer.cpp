#include "PrivatePulseServer.h"

#include "EventLoop.h"
#include "SdlOutput.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>

namespace lh::test {

using namespace std::chrono_literals;

std::string PrivatePulseServer::setUpServer()
{
#ifdef __SANITIZE_THREAD__
    return "ThreadSanitizer cannot follow the processes QProcess starts";
#endif
    if (!dir.isValid())
        return "no temporary folder";
    for (const char* name : { "runtime", "home" }) {
        QDir(dir.path()).mkdir(name);
        QFile::setPermissions(dir.path() + "/" + name, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    environment.insert("XDG_RUNTIME_DIR", dir.path() + "/runtime");
    environment.insert("HOME", dir.path() + "/home");
    environment.insert("PULSE_SERVER", "unix:" + dir.path() + "/runtime/pulse/native");
    // A second server on the machine's session bus would fight the desktop's for its names.
    environment.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir.path() + "/no-bus");
    if (std::string whyNot = startServer(); !whyNot.empty())
        return whyNot;
    for (const char* name : { "XDG_RUNTIME_DIR", "HOME", "PULSE_SERVER" }) {
        saved_.emplace_back(name, qgetenv(name));
        qputenv(name, environment.value(name).toLocal8Bit());
    }
    qputenv("SDL_AUDIODRIVER", "pulseaudio");
    SDL_AudioQuit();
    return {};
}

void PrivatePulseServer::tearDownServer()
{
    // A quit while a stream is still being closed would close it a second time.
    EXPECT_TRUE(runEventsUntil([] { return !SdlOutput::isClosingDevices(); }, 5s));
    SDL_AudioQuit();
    qputenv("SDL_AUDIODRIVER", "dummy");
    for (const auto& [name, value] : saved_)
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
    saved_.clear();
    for (QProcess* process : { &recorder, &server }) {
        process->terminate();
        if (!process->waitForFinished(3000))
            process->kill();
        process->waitForFinished(3000);
    }
}

std::string PrivatePulseServer::startServer(Sinks sinks)
{
    server.setProcessEnvironment(environment);
    server.setProcessChannelMode(QProcess::MergedChannels);
    QStringList arguments { "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit", "--use-pid-file=no",
        "-L", "module-native-protocol-unix auth-anonymous=1" };
    if (sinks == Sinks::nullSink)
        arguments << "-L" << "module-null-sink sink_name=test_sink format=float32le rate=44100 channels=2" << "-L" << "module-suspend-on-idle timeout=1";
    server.start("pulseaudio", arguments);
    if (!server.waitForStarted(5000))
        return "PulseAudio cannot be started here: " + server.errorString().toStdString();
    const bool isUp = runEventsUntil([&] { return server.state() != QProcess::Running || pactl({ "info" }); }, 10s);
    if (!isUp || server.state() != QProcess::Running)
        return "no PulseAudio server came up: " + server.readAll().toStdString();
    if (sinks == Sinks::none)
        return {};
    return pactl({ "set-default-sink", "test_sink" }) ? std::string() : std::string("no default sink");
}

QString PrivatePulseServer::pactlOutput(const QStringList& arguments)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start("pactl", arguments);
    process.waitForFinished(3000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

bool PrivatePulseServer::pactl(const QStringList& arguments)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start("pactl", arguments);
    return process.waitForFinished(3000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool PrivatePulseServer::hasStream()
{
    return !streamIds().isEmpty();
}

QString PrivatePulseServer::streamIds()
{
    QStringList ids;
    for (const QString& line : pactlOutput({ "list", "short", "sink-inputs" }).split('\n', Qt::SkipEmptyParts))
        ids << line.section('\t', 0, 0);
    return ids.join('\n');
}

bool PrivatePulseServer::isStreamCorked()
{
    return pactlOutput({ "list", "sink-inputs" }).contains("Corked: yes");
}

QString PrivatePulseServer::sinkOfTheStream()
{
    const QString number = pactlOutput({ "list", "short", "sink-inputs" }).section('\t', 1, 1);
    for (const QString& line : pactlOutput({ "list", "short", "sinks" }).split('\n')) {
        if (!number.isEmpty() && line.section('\t', 0, 0) == number)
            return line.section('\t', 1, 1);
    }
    return {};
}

bool PrivatePulseServer::isSinkSuspended()
{
    return pactlOutput({ "list", "short", "sinks" }).contains("SUSPENDED");
}

std::optional<double> PrivatePulseServer::sinkConfiguredLatency()
{
    static const QRegularExpression configured(QStringLiteral("configured (\\d+) usec"));
    const QRegularExpressionMatch match = configured.match(pactlOutput({ "list", "sinks" }));
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1).toDouble() / 1e6;
}

bool PrivatePulseServer::record(const QString& path)
{
    recorder.setProcessEnvironment(environment);
    recorder.setStandardOutputFile(path);
    recorder.start("parec", { "-d", "test_sink.monitor", "--raw", "--format=float32le", "--rate=44100", "--channels=2", "--latency-msec=10" });
    return recorder.waitForStarted(3000);
}

void PrivatePulseServer::stopRecording()
{
    recorder.terminate();
    recorder.waitForFinished(3000);
}

} // namespace lh::test
