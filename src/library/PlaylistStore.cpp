#include "PlaylistStore.h"

#include "Preferences.h"

#include <QJsonDocument>
#include <QStringDecoder>

namespace lh {
namespace {

constexpr QStringView uriScheme = u"file://";

// JSON holds text, but a Linux path is bytes. A path that is not valid UTF-8 is kept as a
// percent-encoded file URI instead, which no absolute path can be mistaken for, so it comes
// back byte for byte.
QString storedPath(const FileURL& url)
{
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString path = utf8.decode(QByteArrayView(url.path()));
    if (utf8.hasError())
        return QString::fromStdString(FileURL(url.path()).toUri());
    return path;
}

std::optional<FileURL> restoredURL(const QString& path)
{
    if (path.startsWith(uriScheme)) {
        auto url = FileURL::fromUserInput(path.toStdString());
        if (!url)
            return std::nullopt;
        return FileURL(url->path()).normalizedFileURL();
    }
    if (!path.startsWith(u'/'))
        return std::nullopt; // never written; a relative path has no meaning here
    return FileURL(path.toStdString()).normalizedFileURL();
}

std::optional<QString> string(const QJsonObject& object, const char* key)
{
    const QJsonValue value = object.value(QLatin1StringView(key));
    return value.isString() ? std::optional(value.toString()) : std::nullopt;
}

std::optional<double> number(const QJsonObject& object, const char* key)
{
    const QJsonValue value = object.value(QLatin1StringView(key));
    return value.isDouble() ? std::optional(value.toDouble()) : std::nullopt;
}

} // namespace

PlaylistStore::PlaylistStore(Preferences& defaults, QString key)
    : defaults_(&defaults)
    , key_(std::move(key))
{
}

void PlaylistStore::save(const std::vector<Track>& tracks)
{
    saveStored(storedValue(tracks));
}

void PlaylistStore::saveStored(QJsonArray stored)
{
    defaults_->set(std::move(stored), key_);
}

void PlaylistStore::saveShared(TrackList tracks, Preferences::Write write)
{
    defaults_->setSerialized([tracks = std::move(tracks)] { return storedText(tracks); }, key_, write);
}

std::vector<Track> PlaylistStore::load(const IsRemote& isRemote) const
{
    return restoredTracks(defaults_->object(key_).value_or(QJsonValue()), isRemote);
}

std::optional<std::size_t> PlaylistStore::storedCount() const
{
    const auto stored = defaults_->object(key_);
    if (!stored || !stored->isArray())
        return std::nullopt;
    return std::size_t(stored->toArray().size());
}

QJsonArray PlaylistStore::storedValue(const std::vector<Track>& tracks)
{
    QJsonArray array;
    for (const Track& track : tracks)
        array.append(propertyList(track));
    return array;
}

// One element at a time, so that the whole array never exists as JSON values: for a million
// tracks those would take several times the memory of the tracks themselves.
QByteArray PlaylistStore::storedText(const TrackList& tracks)
{
    QByteArray text = "[";
    for (const Track& track : tracks) {
        if (text.size() > 1)
            text += ',';
        text += QJsonDocument(propertyList(track)).toJson(QJsonDocument::Compact);
    }
    text += ']';
    return text;
}

std::vector<Track> PlaylistStore::restoredTracks(const QJsonValue& stored, const IsRemote& isRemote)
{
    std::vector<Track> tracks;
    const QJsonArray array = stored.toArray(); // anything but an array restores nothing
    tracks.reserve(static_cast<std::size_t>(array.size()));
    for (const QJsonValue& element : array) {
        if (auto restored = track(element, isRemote))
            tracks.push_back(*std::move(restored));
    }
    return tracks;
}

QJsonObject PlaylistStore::propertyList(const Track& track)
{
    QJsonObject object {
        { "path", storedPath(track.url) },
        { "remote", track.isRemote },
    };
    if (track.start > 0)
        object.insert("start", track.start);
    if (track.end)
        object.insert("end", *track.end);
    if (track.title)
        object.insert("title", *track.title);
    if (track.artist)
        object.insert("artist", *track.artist);
    if (track.album)
        object.insert("album", *track.album);
    if (track.isFromEmbeddedSheet)
        object.insert("embedded", true);
    return object;
}

std::optional<Track> PlaylistStore::track(const QJsonValue& element, const IsRemote& isRemote)
{
    QJsonObject object;
    if (element.isObject())
        object = element.toObject();
    else if (element.isString())
        object.insert("path", element);
    else
        return std::nullopt;

    const auto path = string(object, "path");
    const auto url = path ? restoredURL(*path) : std::nullopt;
    if (!url)
        return std::nullopt;
    const QJsonValue remote = object.value(QLatin1StringView("remote"));
    return Track {
        .url = *url,
        .start = number(object, "start").value_or(0),
        .end = number(object, "end"),
        .title = string(object, "title"),
        .artist = string(object, "artist"),
        .isRemote = remote.isBool() ? remote.toBool() : isRemote(*url),
        .album = string(object, "album"),
        .isFromEmbeddedSheet = object.value(QLatin1StringView("embedded")).toBool(false),
    };
}

} // namespace lh
