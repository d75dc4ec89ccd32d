#include "PlaylistStore.h"

#include "JsonReader.h"
#include "Preferences.h"

#include <QJsonDocument>
#include <QStringDecoder>

#include <bitset>
#include <type_traits>

namespace lh {
namespace {

constexpr std::string_view uriScheme = "file://";

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

// From the path as stored, in UTF-8.
std::optional<FileURL> restoredURL(std::string path)
{
    if (path.starts_with(uriScheme)) {
        auto url = FileURL::fromUserInput(path);
        if (!url)
            return std::nullopt;
        return FileURL(url->path()).normalizedFileURL();
    }
    if (!path.starts_with('/'))
        return std::nullopt; // never written; a relative path has no meaning here
    return FileURL(std::move(path)).normalizedFileURL();
}

// One stored element's fields as the reader meets them: a key given twice counts with its last
// value, as in a QJsonObject, and a value of the wrong type counts as absent.
struct Fields {
    enum class Key : std::size_t {
        path,
        title,
        artist,
        album,
        start,
        end,
        remote,
        embedded,
        trackGain,
        trackPeak,
        albumGain,
        albumPeak,
        sheet,
        count,
    };

    std::optional<JsonReader::String> path;
    std::optional<JsonReader::String> title;
    std::optional<JsonReader::String> artist;
    std::optional<JsonReader::String> album;
    std::optional<double> start;
    std::optional<double> end;
    std::optional<bool> remote;
    std::optional<bool> embedded;
    std::optional<double> trackGain;
    std::optional<double> trackPeak;
    std::optional<double> albumGain;
    std::optional<double> albumPeak;
    std::optional<JsonReader::String> sheet;
    // What writing the track back would lose: keys this version does not know (a newer
    // version's), and keys whose last value has a type this version never writes there.
    bool hasUnknownKey = false;
    std::bitset<std::size_t(Key::count)> misread;

    bool isUnderstood() const { return !hasUnknownKey && misread.none(); }
};

template <class Value>
void readField(JsonReader& reader, Fields& fields, Fields::Key key, std::optional<Value>& into)
{
    using Type = JsonReader::Type;
    constexpr Type written = std::is_same_v<Value, double> ? Type::number
        : std::is_same_v<Value, bool>                      ? Type::boolean
                                                           : Type::string;
    const bool isMisread = reader.peek() != written;
    fields.misread[std::size_t(key)] = isMisread;
    if (isMisread) {
        reader.skip();
        into.reset();
    } else if constexpr (written == Type::number) {
        into = reader.number();
    } else if constexpr (written == Type::boolean) {
        into = reader.boolean();
    } else {
        into = reader.string();
    }
}

Fields readFields(JsonReader& reader)
{
    Fields fields;
    reader.beginObject();
    while (const auto key = reader.nextKey()) {
        if (key->is("path"))
            readField(reader, fields, Fields::Key::path, fields.path);
        else if (key->is("remote"))
            readField(reader, fields, Fields::Key::remote, fields.remote);
        else if (key->is("start"))
            readField(reader, fields, Fields::Key::start, fields.start);
        else if (key->is("end"))
            readField(reader, fields, Fields::Key::end, fields.end);
        else if (key->is("title"))
            readField(reader, fields, Fields::Key::title, fields.title);
        else if (key->is("artist"))
            readField(reader, fields, Fields::Key::artist, fields.artist);
        else if (key->is("album"))
            readField(reader, fields, Fields::Key::album, fields.album);
        else if (key->is("embedded"))
            readField(reader, fields, Fields::Key::embedded, fields.embedded);
        else if (key->is("trackGain"))
            readField(reader, fields, Fields::Key::trackGain, fields.trackGain);
        else if (key->is("trackPeak"))
            readField(reader, fields, Fields::Key::trackPeak, fields.trackPeak);
        else if (key->is("albumGain"))
            readField(reader, fields, Fields::Key::albumGain, fields.albumGain);
        else if (key->is("albumPeak"))
            readField(reader, fields, Fields::Key::albumPeak, fields.albumPeak);
        else if (key->is("sheet"))
            readField(reader, fields, Fields::Key::sheet, fields.sheet);
        else {
            fields.hasUnknownKey = true;
            reader.skip();
        }
    }
    return fields;
}

std::optional<QString> text(const std::optional<JsonReader::String>& string)
{
    return string ? std::optional(string->toQString()) : std::nullopt;
}

CueGains gains(const Fields& fields)
{
    return CueGains(fields.trackGain, fields.trackPeak, fields.albumGain, fields.albumPeak);
}

void insertGains(QJsonObject& object, const CueGains& gains)
{
    const auto insert = [&](const char* key, std::optional<double> value) {
        if (value)
            object.insert(QLatin1StringView(key), *value);
    };
    insert("trackGain", gains.trackGain());
    insert("trackPeak", gains.trackPeak());
    insert("albumGain", gains.albumGain());
    insert("albumPeak", gains.albumPeak());
}

// The cue tracks of one image follow each other and name one file: they share its URL, as the
// tracks of an import do.
class URLs {
public:
    std::optional<FileURL> url(const JsonReader::String& path)
    {
        if (!path.decoded && lastText_ && path.utf8 == *lastText_)
            return last_;
        last_ = restoredURL(path.toStdString());
        lastText_ = path.decoded ? std::nullopt : std::optional(path.utf8);
        return last_;
    }

private:
    std::optional<FileURL> last_;
    // The last path's text as written; none when it was written with escapes (an empty text
    // would match an empty path).
    std::optional<std::string_view> lastText_;
};

// The cue tracks of one sheet follow each other too: its path is read and interned once a run.
class Sheets {
public:
    InternedURL sheet(const std::optional<JsonReader::String>& path)
    {
        if (!path)
            return {};
        if (const auto url = urls_.url(*path); url != last_) {
            last_ = url;
            interned_ = url ? InternedURL(*url) : InternedURL();
        }
        return interned_;
    }

private:
    URLs urls_;
    std::optional<FileURL> last_;
    InternedURL interned_;
};

std::optional<Track> restoredTrack(const Fields& fields, URLs& urls, Sheets& sheets, const PlaylistStore::IsRemote& isRemote)
{
    const auto url = fields.path ? urls.url(*fields.path) : std::nullopt;
    if (!url)
        return std::nullopt;
    return Track {
        .url = *url,
        .start = fields.start.value_or(0),
        .end = fields.end,
        .title = text(fields.title),
        .artist = text(fields.artist),
        .album = text(fields.album),
        .isRemote = fields.remote ? *fields.remote : isRemote(*url),
        .isFromEmbeddedSheet = fields.embedded.value_or(false),
        .gains = gains(fields),
        .sheet = fields.title ? sheets.sheet(fields.sheet) : InternedURL(),
    };
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

PlaylistStore::Restored PlaylistStore::restore(const IsRemote& isRemote) const
{
    const auto text = defaults_->text(key_);
    return text ? restoredTracks(text->view(), isRemote) : Restored {};
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

PlaylistStore::Restored PlaylistStore::restoredTracks(std::string_view text, const IsRemote& isRemote)
{
    JsonReader reader(text);
    if (reader.peek() != JsonReader::Type::array)
        return {}; // anything but an array restores nothing
    reader.beginArray();
    Restored restored { {}, true };
    // Room for elements of 64 bytes, a little less than a path in a music folder takes: pages
    // never written cost no memory, and the list is not moved as it grows.
    restored.tracks.reserve(text.size() / 64);
    URLs urls;
    Sheets sheets;
    while (reader.nextElement()) {
        Fields fields;
        switch (reader.peek()) {
        case JsonReader::Type::object:
            fields = readFields(reader);
            break;
        case JsonReader::Type::string: // a bare path: a whole file
            fields.path = reader.string();
            break;
        default:
            reader.skip();
            break;
        }
        std::optional<Track> element = restoredTrack(fields, urls, sheets, isRemote);
        restored.isWhole = restored.isWhole && element && fields.isUnderstood();
        if (element)
            restored.tracks.push_back(*std::move(element));
    }
    if (reader.failed() || !reader.atEnd())
        return {};
    return restored;
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
    if (track.sheet)
        object.insert("sheet", storedPath(*track.sheet));
    insertGains(object, track.gains);
    return object;
}

} // namespace lh
