#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lh::test {

// A PulseAudio server of the test's own (`pulseaudio -n`) with a null sink, recorded from its
// monitor when asked: the sound path a desktop has, on a machine without a card. While it is
// set up, this process plays through it (SDL_AUDIODRIVER names PulseAudio, so the sound
// server's own output is chosen).
class PrivatePulseServer {
protected:
    enum class Sinks { nullSink, none };

    // Empty when the server is up and this process points at it; otherwise why not.
    std::string setUpServer();
    void tearDownServer();

    // Empty when the server is up with its null sink as the default (idle sinks suspend after
    // a second, as desktop configurations have it), or with no sink at all; otherwise why not.
    std::string startServer(Sinks sinks = Sinks::nullSink);

    QString pactlOutput(const QStringList& arguments);
    bool pactl(const QStringList& arguments);
    bool hasStream();
    // The server's numbers of the streams playing, one a line.
    QString streamIds();
    bool isStreamCorked();
    // The name of the sink the first stream plays to.
    QString sinkOfTheStream();
    bool isSinkSuspended();
    // The latency the server set the default sink to, in seconds.
    std::optional<double> sinkConfiguredLatency();
    // Records the null sink's monitor, stereo 32-bit float at 44.1 kHz, to `path`.
    bool record(const QString& path);
    void stopRecording();

    QTemporaryDir dir;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QProcess server;
    QProcess recorder;

private:
    std::vector<std::pair<const char*, QByteArray>> saved_;
};

} // namespace lh::test
