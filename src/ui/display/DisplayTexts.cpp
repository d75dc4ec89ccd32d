#include "DisplayTexts.h"

#include "PlaybackTimeFormatter.h"

#include <QFile>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace lh::DisplayTexts {

namespace {

QString fromFileName(const std::string& bytes)
{
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

QString channelsText(std::int64_t channels)
{
    if (channels == 1)
        return QStringLiteral("Mono");
    if (channels == 2)
        return QStringLiteral("Stereo");
    return QStringLiteral("%1 channels").arg(channels);
}

void appendStreamParts(QStringList& parts, const StreamInfo& info)
{
    if (info.bitRate)
        parts << QStringLiteral("%1 kbps").arg(std::llround(double(*info.bitRate) / 1000));
    if (info.sampleRate)
        parts << QString::asprintf("%g kHz", std::round(*info.sampleRate / 100) / 10);
    if (info.channels)
        parts << channelsText(*info.channels);
}

} // namespace

LcdLines lcdInfo(const TrackList& tracks, std::optional<std::int64_t> currentIndex)
{
    const Track* track = trackAt(tracks, currentIndex);
    if (!track)
        return { QStringLiteral("Not Playing"), QString() };
    auto [title, artist] = TrackName::titleAndArtist(*track);
    return { std::move(title), std::move(artist) };
}

QString formatText(const TrackList& tracks, std::optional<std::int64_t> currentIndex,
    const StreamInfoMap& streamInfo)
{
    const Track* track = trackAt(tracks, currentIndex);
    if (!track)
        return QString();
    QStringList parts;
    if (const QString extension = fromFileName(track->url.pathExtension()); !extension.isEmpty())
        parts << extension.toUpper();
    if (const auto info = streamInfo.find(track->url); info != streamInfo.end())
        appendStreamParts(parts, info->second);
    return parts.join(QStringLiteral(" · "));
}

QString rowDurationText(const Track& track, const StreamInfoMap& streamInfo, const DurationMap& known)
{
    std::optional<double> end = track.end;
    if (!end) {
        if (const auto info = streamInfo.find(track.url); info != streamInfo.end())
            end = info->second.duration;
        else if (const auto duration = known.find(track.url); duration != known.end())
            end = duration->second;
    }
    if (!end)
        return QString();
    // Negative, infinite and NaN lengths all read "0:00".
    return PlaybackTimeFormatter::string(*end - track.start);
}

std::vector<QString> rowDurationTexts(const std::vector<Track>& tracks, const StreamInfoMap& streamInfo)
{
    std::vector<QString> texts;
    texts.reserve(tracks.size());
    for (const Track& track : tracks)
        texts.push_back(rowDurationText(track, streamInfo));
    return texts;
}

QString countText(std::int64_t count)
{
    return count == 1 ? QStringLiteral("1 song") : QStringLiteral("%1 songs").arg(count);
}

QString statusText(std::int64_t count, std::optional<double> sleepTimeRemaining, bool isReadingFolder, bool isWalkWaiting)
{
    if (isReadingFolder && isWalkWaiting)
        return QStringLiteral("%1 — waiting for the share…").arg(countText(count));
    if (isReadingFolder)
        return QStringLiteral("%1 — reading folder…").arg(countText(count));
    if (!sleepTimeRemaining)
        return countText(count);
    // A timer past its end (or a broken clock value) counts as no time left rather than a
    // negative or undefined number of minutes.
    const double seconds = std::isfinite(*sleepTimeRemaining) ? std::max(0.0, *sleepTimeRemaining) : 0.0;
    const auto minutes = static_cast<std::int64_t>(std::ceil(std::min(seconds, 9e15) / 60));
    return QStringLiteral("%1 — stops in %2 min").arg(countText(count)).arg(minutes);
}

} // namespace lh::DisplayTexts
