#include "DisplayTexts.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <cmath>
#include <limits>

namespace lh {
namespace {

using namespace DisplayTexts;

Track file(const char* path, const char* artist = nullptr)
{
    Track track;
    track.url = FileURL(path);
    if (artist)
        track.artist = QString::fromUtf8(artist);
    return track;
}

Track cue(const char* path, double start, std::optional<double> end, const char* title, const char* artist)
{
    Track track = file(path, artist);
    track.start = start;
    track.end = end;
    track.title = QString::fromUtf8(title);
    return track;
}

StreamInfo stream(std::optional<double> duration, std::optional<std::int64_t> bitRate,
    std::optional<double> sampleRate, std::optional<std::int64_t> channels)
{
    return StreamInfo { duration, bitRate, sampleRate, channels };
}

QString lines(const LcdLines& lines)
{
    return lines.title + QStringLiteral(" | ") + lines.artist;
}

QString formatOf(const Track& track, const StreamInfoMap& info = {})
{
    return formatText({ track }, 0, info);
}

struct Case {
    const char* what;
    QString actual;
    const char* expected;
};

TEST(DisplayTexts, ExamplesGiveTheDesignedTexts)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const Track song = file("/music/Artist - Song.mp3");
    const Track flac = file("/music/take.flac");
    const Track noExtension = file("/music/README");
    const std::vector<Track> one { song };

    const Case cases[] = {
        { "name: artist and title", displayName(cue("/a.flac", 0, {}, "Title", "Artist")), "Artist - Title" },
        { "name: title alone", displayName(cue("/a.flac", 0, {}, "Title", nullptr)), "Title" },
        { "name: file without tags", displayName(song), "Artist - Song" },
        { "name: the artist alone is never used", displayName(file("/x/b.wav", "Someone")), "b" },

        { "lcd: no index", lines(lcdInfo(one, std::nullopt)), "Not Playing | " },
        { "lcd: negative index", lines(lcdInfo(one, -1)), "Not Playing | " },
        { "lcd: index past the end", lines(lcdInfo(one, 1)), "Not Playing | " },
        { "lcd: empty playlist", lines(lcdInfo({}, 0)), "Not Playing | " },
        { "lcd: file name split", lines(lcdInfo(one, 0)), "Song | Artist" },
        { "lcd: split at the first separator", lines(lcdInfo({ file("/m/A - B - C.mp3") }, 0)), "B - C | A" },
        { "lcd: no separator", lines(lcdInfo({ flac }, 0)), "take | " },
        { "lcd: cue title and artist", lines(lcdInfo({ cue("/a.flac", 0, {}, "T", "P") }, 0)), "T | P" },
        { "lcd: cue title without artist", lines(lcdInfo({ cue("/a.flac", 0, {}, "T", nullptr) }, 0)), "T | " },

        { "format: no current track", formatText(one, std::nullopt, {}), "" },
        { "format: index outside", formatText(one, 3, {}), "" },
        { "format: extension only", formatOf(song), "MP3" },
        { "format: full", formatOf(flac, { { flac.url, stream(200, 912'400, 44100, 2) } }), "FLAC · 912 kbps · 44.1 kHz · Stereo" },
        { "format: halves round away from zero", formatOf(flac, { { flac.url, stream({}, 127'500, 48000, 1) } }), "FLAC · 128 kbps · 48 kHz · Mono" },
        { "format: other channel counts", formatOf(flac, { { flac.url, stream({}, {}, 22050, 6) } }), "FLAC · 22.1 kHz · 6 channels" },
        { "format: zero channels", formatOf(flac, { { flac.url, stream({}, {}, {}, 0) } }), "FLAC · 0 channels" },
        { "format: no extension", formatOf(noExtension, { { noExtension.url, stream({}, 320'000, {}, {}) } }), "320 kbps" },
        { "format: info of another file", formatOf(flac, { { song.url, stream({}, 320'000, {}, {}) } }), "FLAC" },

        { "row: cue stretch", rowDurationText(cue("/a.flac", 120, 300, "T", nullptr), {}), "3:00" },
        { "row: cue end wins over the stream", rowDurationText(cue("/a.flac", 0, 61.9, "T", nullptr), { { FileURL("/a.flac"), stream(999, {}, {}, {}) } }), "1:01" },
        { "row: last cue track runs to the file's end", rowDurationText(cue("/a.flac", 100, {}, "T", nullptr), { { FileURL("/a.flac"), stream(3825, {}, {}, {}) } }), "62:05" },
        { "row: whole file without stream info", rowDurationText(song, {}), "" },
        { "row: what the cache knew, until the file is read", rowDurationText(song, {}, { { song.url, 75.0f } }), "1:15" },
        { "row: a read wins over the cache", rowDurationText(song, { { song.url, stream(61, {}, {}, {}) } }, { { song.url, 75.0f } }), "1:01" },
        { "row: a cue track's own end wins over the cache", rowDurationText(cue("/a.flac", 0, 61.9, "T", nullptr), {}, { { FileURL("/a.flac"), 999.0f } }), "1:01" },
        { "row: stream info without duration", rowDurationText(song, { { song.url, stream({}, 1, {}, {}) } }), "" },
        { "row: end before start", rowDurationText(cue("/a.flac", 300, 120, "T", nullptr), {}), "0:00" },
        { "row: infinite", rowDurationText(song, { { song.url, stream(infinity, {}, {}, {}) } }), "0:00" },
        { "row: NaN", rowDurationText(song, { { song.url, stream(nan, {}, {}, {}) } }), "0:00" },

        { "count 0", countText(0), "0 songs" },
        { "count 1", countText(1), "1 song" },
        { "count 2", countText(2), "2 songs" },

        { "tooltip: days", countToolTip(20013, { 61 * 86'400 + 4 * 3600 + 12 * 60 + 7.9, 0 }), "20,013 songs, 61 days 4:12:07" },
        { "tooltip: one day", countToolTip(2, { 86'405, 0 }), "2 songs, 1 day 0:00:05" },
        { "tooltip: hours", countToolTip(3, { 3725, 0 }), "3 songs, 1:02:05" },
        { "tooltip: one song", countToolTip(1, { 75, 0 }), "1 song, 1:15" },
        { "tooltip: some not known yet", countToolTip(3, { 75, 1 }), "3 songs, at least 1:15" },
        { "tooltip: none known yet", countToolTip(2, { 0, 2 }), "2 songs" },
        { "tooltip: empty", countToolTip(0, {}), "0 songs" },

        { "status: no timer", statusText(12, std::nullopt), "12 songs" },
        { "status: 89.5 s", statusText(1, 89.5), "1 song — stops in 2 min" },
        { "status: reading a folder", statusText(7900, 89.5, true), "7900 songs — reading folder…" },
        { "status: a walk waiting for its share", statusText(7900, std::nullopt, true, true), "7900 songs — waiting for the share…" },
        { "status: no walk, nothing to wait for", statusText(7900, std::nullopt, false, true), "7900 songs" },
        { "status: 61 s", statusText(0, 61), "0 songs — stops in 2 min" },
        { "status: 60 s", statusText(3, 60), "3 songs — stops in 1 min" },
        { "status: 0 s", statusText(3, 0), "3 songs — stops in 0 min" },
        { "status: past the end", statusText(3, -61), "3 songs — stops in 0 min" },
        { "status: NaN", statusText(3, nan), "3 songs — stops in 0 min" },
    };
    for (const Case& test : cases)
        EXPECT_EQ(test.actual, QString::fromUtf8(test.expected)) << test.what;
}

// Every place that names the current row, for each kind of row, with tag titles off and on.
TEST(DisplayTexts, ShowTagTitlesNamesTaggedWholeFilesAndNothingElse)
{
    const Track tagged = file("/m/Someone - track01.flac");
    const Track taggedTitleOnly = file("/m/02 - track02.flac");
    const Track untagged = file("/m/Ana Silva - Demo.wav");
    const Track known = file("/m/track04.flac");
    const Track cueTrack = cue("/m/image.flac", 0, 60, "Sheet Title", "Sheet Artist");
    TagNames names;
    names.known = TagNames::Map {
        { tagged.url, TagName { QStringLiteral("Sunset Boulevard"), QStringLiteral("Ana Silva") } },
        { taggedTitleOnly.url, TagName { QStringLiteral("Harbour"), QString() } },
        { cueTrack.url, TagName { QStringLiteral("Image Title"), QStringLiteral("Image Artist") } },
        { known.url, TagName { QStringLiteral("Stale"), QStringLiteral("Old") } },
    };
    names.read = TagNames::Map { { untagged.url, std::nullopt }, { known.url, TagName { QStringLiteral("Fresh"), QString() } } };
    struct Row {
        const char* what;
        Track track;
        const char* off; // row | display title | display artist | window title
        const char* on;
    };
    const Row rows[] = {
        { "a tagged file", tagged, "Someone - track01|track01|Someone|Someone - track01 — Larkhaven",
            "Sunset Boulevard|Sunset Boulevard|Ana Silva|Sunset Boulevard — Larkhaven" },
        { "a title tag without artist", taggedTitleOnly, "02 - track02|track02||02 - track02 — Larkhaven",
            "Harbour|Harbour||Harbour — Larkhaven" },
        { "a file whose tags hold no title", untagged, "Ana Silva - Demo|Demo|Ana Silva|Ana Silva - Demo — Larkhaven",
            "Ana Silva - Demo|Demo|Ana Silva|Ana Silva - Demo — Larkhaven" },
        { "a read wins over the cache", known, "track04|track04||track04 — Larkhaven", "Fresh|Fresh||Fresh — Larkhaven" },
        { "a cue track keeps its sheet", cueTrack, "Sheet Artist - Sheet Title|Sheet Title|Sheet Artist|Sheet Artist - Sheet Title — Larkhaven",
            "Sheet Artist - Sheet Title|Sheet Title|Sheet Artist|Sheet Artist - Sheet Title — Larkhaven" },
        { "a file not known yet", file("/m/Band - New.mp3"), "Band - New|New|Band|Band - New — Larkhaven",
            "Band - New|New|Band|Band - New — Larkhaven" },
    };
    for (const Row& row : rows) {
        for (const bool isOn : { false, true }) {
            const TagNames shown = isOn ? names : TagNames {};
            const LcdLines lcd = lcdInfo({ row.track }, 0, shown);
            const QString all = QStringList { rowName(row.track, shown), lcd.title, lcd.artist, windowTitle({ row.track }, 0, shown) }
                                    .join(u'|');
            EXPECT_EQ(all, QString::fromUtf8(isOn ? row.on : row.off)) << row.what << (isOn ? " (on)" : " (off)");
        }
    }
    EXPECT_EQ(windowTitle({}, std::nullopt, names), QStringLiteral("Larkhaven"));
}

TEST(DisplayTexts, RowDurationsFollowThePlaylist)
{
    const std::vector<Track> tracks { file("/a.mp3"), cue("/b.flac", 0, 5, "T", nullptr) };
    const std::vector<QString> texts = rowDurationTexts(tracks, { { FileURL("/a.mp3"), stream(75, {}, {}, {}) } });
    EXPECT_EQ(texts, (std::vector<QString> { QStringLiteral("1:15"), QStringLiteral("0:05") }));
}

} // namespace
} // namespace lh
