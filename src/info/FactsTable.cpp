#include "FactsTable.h"

#include <QStringList>

namespace lh::FactsTable {
namespace {

// Artists, album artists and genres can be several; a unit separator cannot be typed into a
// tag editor, so it keeps them apart.
constexpr QChar listSeparator { 0x1f };

std::optional<QString> joined(const std::vector<QString>& values)
{
    if (values.empty())
        return std::nullopt;
    return QStringList(values.begin(), values.end()).join(listSeparator);
}

std::vector<QString> split(const SqliteDatabase::Statement& row, int column)
{
    if (row.isNull(column))
        return {};
    const QStringList parts = row.text(column).split(listSeparator, Qt::SkipEmptyParts);
    return { parts.begin(), parts.end() };
}

std::optional<double> real(const SqliteDatabase::Statement& row, int column)
{
    return row.isNull(column) ? std::nullopt : std::optional(row.real(column));
}

std::optional<float> single(const SqliteDatabase::Statement& row, int column)
{
    return row.isNull(column) ? std::nullopt : std::optional(float(row.real(column)));
}

std::optional<std::int64_t> integer(const SqliteDatabase::Statement& row, int column)
{
    return row.isNull(column) ? std::nullopt : std::optional(row.integer(column));
}

std::optional<QString> text(const SqliteDatabase::Statement& row, int column)
{
    return row.isNull(column) ? std::nullopt : std::optional(row.text(column));
}

template <typename T>
std::optional<double> widened(const std::optional<T>& value)
{
    return value ? std::optional<double>(double(*value)) : std::nullopt;
}

template <typename T>
std::optional<std::int64_t> whole(const std::optional<T>& value)
{
    return value ? std::optional<std::int64_t>(std::int64_t(*value)) : std::nullopt;
}

// Columns after seen, in this order, in selectSql and replaceSql alike.
enum Column {
    size = 1, modified, hasStream, duration, bitRate, sampleRate, channels,
    trackGain, trackPeak, albumGain, albumPeak, embeddedCue, hasTags,
    title, artist, album, albumArtist, trackNumber, discNumber, year, genre,
};
static_assert(selectFromPathColumn == genre + 1);

// Columns after seen in listingFromSql.
namespace listing {
enum Column { size = 1, modified, hasStream, duration, hasTags, title, artist };
static_assert(listingFromPathColumn == artist + 1);
} // namespace listing

StreamInfo readStream(const SqliteDatabase::Statement& row)
{
    StreamInfo stream;
    stream.duration = real(row, duration);
    stream.bitRate = integer(row, bitRate);
    stream.sampleRate = real(row, sampleRate);
    stream.channels = integer(row, channels);
    stream.replayGain = { single(row, trackGain), single(row, trackPeak), single(row, albumGain), single(row, albumPeak) };
    return stream;
}

MediaTags readTags(const SqliteDatabase::Statement& row)
{
    MediaTags tags;
    tags.title = text(row, title);
    tags.artists = split(row, artist);
    tags.album = text(row, album);
    tags.albumArtists = split(row, albumArtist);
    tags.trackNumber = row.isNull(trackNumber) ? std::nullopt : std::optional(int(row.integer(trackNumber)));
    tags.discNumber = row.isNull(discNumber) ? std::nullopt : std::optional(int(row.integer(discNumber)));
    tags.year = text(row, year);
    tags.genres = split(row, genre);
    return tags;
}

} // namespace

const char* const createSql = R"(
CREATE TABLE IF NOT EXISTS files (
    path BLOB PRIMARY KEY NOT NULL,
    seen INTEGER NOT NULL,
    size INTEGER NOT NULL,
    modified INTEGER,
    has_stream INTEGER NOT NULL,
    duration REAL,
    bit_rate INTEGER,
    sample_rate REAL,
    channels INTEGER,
    track_gain REAL,
    track_peak REAL,
    album_gain REAL,
    album_peak REAL,
    embedded_cue INTEGER,
    has_tags INTEGER NOT NULL,
    title TEXT,
    artist TEXT,
    album TEXT,
    album_artist TEXT,
    track_number INTEGER,
    disc_number INTEGER,
    year TEXT,
    genre TEXT
) WITHOUT ROWID;
)";

const char* const selectSql = "SELECT seen, size, modified, has_stream, duration, bit_rate, sample_rate, channels, "
                              "track_gain, track_peak, album_gain, album_peak, embedded_cue, has_tags, title, artist, "
                              "album, album_artist, track_number, disc_number, year, genre FROM files WHERE path = ?1";

const char* const selectFromSql = "SELECT seen, size, modified, has_stream, duration, bit_rate, sample_rate, channels, "
                                  "track_gain, track_peak, album_gain, album_peak, embedded_cue, has_tags, title, artist, "
                                  "album, album_artist, track_number, disc_number, year, genre, path FROM files "
                                  "WHERE path >= ?1 ORDER BY path";

const char* const durationFromSql = "SELECT seen, duration, path FROM files WHERE path >= ?1 AND has_stream "
                                    "AND duration IS NOT NULL ORDER BY path";

const char* const listingFromSql = "SELECT seen, size, modified, has_stream, duration, has_tags, title, artist, path "
                                   "FROM files WHERE path >= ?1 ORDER BY path";

const char* const replaceSql = "INSERT OR REPLACE INTO files (path, seen, size, modified, has_stream, duration, bit_rate, "
                               "sample_rate, channels, track_gain, track_peak, album_gain, album_peak, embedded_cue, has_tags, "
                               "title, artist, album, album_artist, track_number, disc_number, year, genre) VALUES "
                               "(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18, ?19, ?20, "
                               "?21, ?22, ?23)";

const char* const touchSql = "UPDATE files SET seen = ?1 WHERE path = ?2 AND seen < ?1";

const char* const pruneSql = "DELETE FROM files WHERE seen < ?1";

FileFacts readFacts(const SqliteDatabase::Statement& row)
{
    FileFacts facts;
    facts.stamp = { row.integer(size), integer(row, modified) };
    if (row.integer(hasStream) != 0)
        facts.stream = readStream(row);
    if (!row.isNull(embeddedCue))
        facts.hasEmbeddedCueSheet = row.integer(embeddedCue) != 0;
    if (row.integer(hasTags) != 0)
        facts.tags = readTags(row);
    return facts;
}

FileFacts readListing(const SqliteDatabase::Statement& row)
{
    FileFacts facts;
    facts.stamp = { row.integer(listing::size), integer(row, listing::modified) };
    if (row.integer(listing::hasStream) != 0) {
        facts.stream = StreamInfo {};
        facts.stream->duration = real(row, listing::duration);
    }
    if (row.integer(listing::hasTags) != 0) {
        facts.tags = MediaTags {};
        facts.tags->title = text(row, listing::title);
        facts.tags->artists = split(row, listing::artist);
    }
    return facts;
}

std::int64_t readSeen(const SqliteDatabase::Statement& row)
{
    return row.integer(0);
}

// Parameters are the columns shifted by two: the path and the day come first.
void bindFacts(SqliteDatabase::Statement& statement, std::string_view path, std::int64_t day, const FileFacts& facts)
{
    constexpr int shift = 2;
    statement.bind(1, path);
    statement.bind(2, day);
    statement.bind(size + shift, facts.stamp.size);
    statement.bind(modified + shift, facts.stamp.modified);
    statement.bind(hasStream + shift, std::int64_t(facts.stream.has_value()));
    if (const auto& stream = facts.stream) {
        statement.bind(duration + shift, stream->duration);
        statement.bind(bitRate + shift, stream->bitRate);
        statement.bind(sampleRate + shift, stream->sampleRate);
        statement.bind(channels + shift, stream->channels);
        const ReplayGain& gain = stream->replayGain;
        statement.bind(trackGain + shift, widened(gain.trackGain));
        statement.bind(trackPeak + shift, widened(gain.trackPeak));
        statement.bind(albumGain + shift, widened(gain.albumGain));
        statement.bind(albumPeak + shift, widened(gain.albumPeak));
    }
    statement.bind(embeddedCue + shift, whole(facts.hasEmbeddedCueSheet));
    statement.bind(hasTags + shift, std::int64_t(facts.tags.has_value()));
    if (const auto& tags = facts.tags) {
        statement.bind(title + shift, tags->title);
        statement.bind(artist + shift, joined(tags->artists));
        statement.bind(album + shift, tags->album);
        statement.bind(albumArtist + shift, joined(tags->albumArtists));
        statement.bind(trackNumber + shift, whole(tags->trackNumber));
        statement.bind(discNumber + shift, whole(tags->discNumber));
        statement.bind(year + shift, tags->year);
        statement.bind(genre + shift, joined(tags->genres));
    }
}

} // namespace lh::FactsTable
