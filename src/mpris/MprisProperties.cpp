#include "MprisProperties.h"

#include "DesktopEntry.h"
#include "TrackName.h"

#include <QCryptographicHash>
#include <QStringList>

#include <cmath>

namespace lh {

const Track* MprisSnapshot::currentTrack() const
{
    return trackAt(tracks, currentIndex);
}

const MediaTags* MprisSnapshot::currentTags() const
{
    const Track* track = currentTrack();
    return track && tags && tags->url == track->url ? &*tags : nullptr;
}

namespace MprisProperties {
namespace {

QStringList listOf(const std::vector<QString>& texts)
{
    return QStringList(texts.begin(), texts.end());
}

void insertText(QVariantMap& values, const char* key, const std::optional<QString>& text)
{
    if (text)
        values.insert(QString::fromLatin1(key), *text);
}

void insertList(QVariantMap& values, const char* key, const std::vector<QString>& texts)
{
    if (!texts.empty())
        values.insert(QString::fromLatin1(key), listOf(texts));
}

void insertNumber(QVariantMap& values, const char* key, std::optional<int> number)
{
    if (number)
        values.insert(QString::fromLatin1(key), *number);
}

// The file's tags over what the window shows; a cue track's own title and performer stay.
void insertTags(QVariantMap& values, const MediaTags& tags, const Track& track)
{
    if (track.isWholeFile()) {
        insertText(values, "xesam:title", tags.title);
        insertList(values, "xesam:artist", tags.artists);
        insertNumber(values, "xesam:trackNumber", tags.trackNumber);
        insertNumber(values, "xesam:discNumber", tags.discNumber);
    }
    if (!track.album) // a cue sheet's TITLE names the album before any tag
        insertText(values, "xesam:album", tags.album);
    // An album image's own artist is the album's artist of each of its cue tracks.
    insertList(values, "xesam:albumArtist",
        !tags.albumArtists.empty() || track.isWholeFile() ? tags.albumArtists : tags.artists);
    insertList(values, "xesam:genre", tags.genres);
    insertText(values, "xesam:contentCreated", tags.year);
    if (tags.artFile)
        values.insert(QStringLiteral("mpris:artUrl"), QString::fromStdString(tags.artFile->toUri()));
}

} // namespace

QDBusObjectPath trackId(const Track& track)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(QByteArray::fromStdString(track.url.path()));
    hash.addData(QByteArray::number(track.start, 'g', 17));
    // Object path elements allow only [A-Za-z0-9_]: hex digits fit.
    return QDBusObjectPath(QStringLiteral("/org/larkhaven/Larkhaven/Track/t")
        + QString::fromLatin1(hash.result().left(8).toHex()));
}

QDBusObjectPath noTrackId()
{
    return QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"));
}

std::int64_t microseconds(double seconds)
{
    if (!std::isfinite(seconds) || seconds <= 0)
        return 0;
    return std::llround(seconds * 1e6);
}

QVariantMap metadata(const MprisSnapshot& snapshot)
{
    const Track* track = snapshot.currentTrack();
    if (!track)
        return { { QStringLiteral("mpris:trackid"), QVariant::fromValue(noTrackId()) } };
    const auto [title, artist] = TrackName::titleAndArtist(*track);
    QVariantMap values {
        { QStringLiteral("mpris:trackid"), QVariant::fromValue(trackId(*track)) },
        { QStringLiteral("xesam:title"), title },
        { QStringLiteral("xesam:url"), QString::fromStdString(track->url.toUri()) },
    };
    if (!artist.isEmpty())
        values.insert(QStringLiteral("xesam:artist"), QStringList { artist });
    insertText(values, "xesam:album", track->album);
    if (snapshot.duration > 0)
        values.insert(QStringLiteral("mpris:length"), qint64(microseconds(snapshot.duration)));
    if (const MediaTags* tags = snapshot.currentTags())
        insertTags(values, *tags, *track);
    return values;
}

QString playbackStatus(const MprisSnapshot& snapshot)
{
    // A track waiting for its network copy counts as playing, as the Play method counts it:
    // between two share tracks the desktop never hears of a stop.
    if (snapshot.isPlaying || snapshot.isLoading)
        return QStringLiteral("Playing");
    // Only a loaded track resumes where it stopped; anything else starts over.
    return snapshot.duration > 0 ? QStringLiteral("Paused") : QStringLiteral("Stopped");
}

QVariantMap player(const MprisSnapshot& snapshot)
{
    // The same rules as the Controls menu: transport needs a playlist, seeking a loaded track.
    const bool hasTracks = !snapshot.tracks.empty();
    return {
        { QStringLiteral("PlaybackStatus"), playbackStatus(snapshot) },
        { QStringLiteral("LoopStatus"), snapshot.isRepeating ? QStringLiteral("Playlist") : QStringLiteral("None") },
        { QStringLiteral("Rate"), 1.0 },
        { QStringLiteral("MinimumRate"), 1.0 },
        { QStringLiteral("MaximumRate"), 1.0 },
        { QStringLiteral("Shuffle"), snapshot.isShuffled },
        { QStringLiteral("Volume"), double(snapshot.volume) },
        { QStringLiteral("Metadata"), metadata(snapshot) },
        { QStringLiteral("CanGoNext"), hasTracks },
        { QStringLiteral("CanGoPrevious"), hasTracks },
        { QStringLiteral("CanPlay"), hasTracks },
        { QStringLiteral("CanPause"), hasTracks },
        { QStringLiteral("CanSeek"), snapshot.duration > 0 },
        { QStringLiteral("CanControl"), true },
    };
}

QVariantMap root()
{
    const QStringList mimeTypes = QString::fromLatin1(DesktopEntry::mimeTypes).split(u';', Qt::SkipEmptyParts);
    return {
        { QStringLiteral("CanQuit"), true },
        { QStringLiteral("CanRaise"), true },
        { QStringLiteral("HasTrackList"), false },
        { QStringLiteral("Identity"), QStringLiteral("Larkhaven") },
        { QStringLiteral("DesktopEntry"), QString::fromLatin1(DesktopEntry::id) },
        { QStringLiteral("SupportedUriSchemes"), QStringList { QStringLiteral("file") } },
        { QStringLiteral("SupportedMimeTypes"), mimeTypes },
    };
}

} // namespace MprisProperties
} // namespace lh
