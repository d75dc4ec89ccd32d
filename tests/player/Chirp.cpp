#include "Chirp.h"

#include "AudioDecoder.h"
#include "AudioFiles.h"
#include "AudioPlayerEngine.h"
#include "CapturedOutput.h"
#include "EventLoop.h"
#include "Playback.h"

#include <gtest/gtest.h>

#include <chrono>

namespace lh::test::Chirp {

using namespace std::chrono_literals;

QString source()
{
    return AudioFiles::path("chirp.f32",
        { "-f", "lavfi", "-i", "aevalsrc=0.5*cos(2*PI*(200*t+300*t*t)):s=44100:d=4.5", "-f", "f32le", "-c:a", "pcm_f32le" });
}

namespace {

QStringList sourceArguments(int part, QString& name, const QString& extension)
{
    QStringList arguments { "-f", "f32le", "-ar", "44100", "-ac", "1", "-i", source() };
    name = "chirp." + extension;
    if (part >= 0) {
        arguments << "-af" << QStringLiteral("atrim=start_sample=%1:end_sample=%2,asetpts=PTS-STARTPTS").arg(cuts[part]).arg(cuts[part + 1]);
        name = QStringLiteral("chirp-%1.%2").arg(part).arg(extension);
    }
    return arguments;
}

} // namespace

QString file(const QString& extension, int part, const QStringList& encoding)
{
    QString name;
    const QStringList arguments = sourceArguments(part, name, extension);
    if (!encoding.isEmpty())
        name = QStringLiteral("%1-%2").arg(QString::number(qHash(encoding.join(' ')), 16), name);
    return AudioFiles::path(name, arguments + encoding);
}

QString wav(int part)
{
    QString name;
    const QStringList arguments = sourceArguments(part, name, "s16.wav");
    return AudioFiles::path(name, arguments + QStringList { "-c:a", "pcm_s16le" });
}

std::vector<float> decoded(const QString& path)
{
    AudioDecoder decoder(FileURL::fromLocalFile(path));
    decoder.setOutputChannels(2);
    std::vector<float> samples;
    for (auto block = decoder.decode(); !block.samples.empty(); block = decoder.decode())
        samples.insert(samples.end(), block.samples.begin(), block.samples.end());
    return samples;
}

Track window(const QString& path, double start, std::optional<double> end)
{
    Track track;
    track.url = FileURL::fromLocalFile(path);
    track.start = start;
    track.end = end;
    return track;
}

std::vector<Track> playInTurn(const std::vector<Track>& tracks, const std::vector<float>& gains)
{
    const auto gain = [&](std::size_t i) { return i < gains.size() ? gains[i] : 1.0f; };
    AudioPlayerEngine engine;
    engine.setVolume(1);
    Playback playback(engine);
    bool hasFinished = false;
    playback.setOnFinished([&] { hasFinished = true; });
    std::vector<Track> reported;
    EXPECT_TRUE(playback.start(tracks.front(), tracks.front().url, gain(0)));
    reported.push_back(*playback.track());
    for (std::size_t i = 1; i < tracks.size(); ++i) {
        EXPECT_TRUE(playback.setUpcoming(Playback::Upcoming { tracks[i], tracks[i].url, gain(i) }));
        if (!test::runEventsUntil([&] { return playback.advance(); }, 10s))
            break;
        reported.push_back(*playback.track());
        EXPECT_LT(playback.position(), 0.1);
    }
    EXPECT_TRUE(test::runEventsUntil([&] { return hasFinished; }, 10s));
    return reported;
}

std::vector<float> trimmed(std::vector<float> output)
{
    while (!output.empty() && output.back() == 0.0f)
        output.pop_back();
    return output;
}

std::int64_t gapAt(const std::vector<float>& output, const std::vector<float>& source, std::int64_t at)
{
    constexpr std::int64_t after = 4096;
    const auto from = static_cast<std::size_t>(2 * (at + after));
    const Match match = locate(std::span(output).subspan(from), source, at + after - 3000, at + after + 3000);
    return at + after - match.frame;
}

} // namespace lh::test::Chirp
