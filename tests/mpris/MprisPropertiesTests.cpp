#include "MprisProperties.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace lh {
namespace {

Track wholeFile(const char* path)
{
    return Track { FileURL(path), 0, std::nullopt, std::nullopt, std::nullopt, false };
}

Track cueTrack(const char* path, double start, std::optional<QString> title, std::optional<QString> artist)
{
    return Track { FileURL(path), start, std::nullopt, std::move(title), std::move(artist), false };
}

MprisSnapshot withCurrent(std::vector<Track> tracks, std::int64_t index, double duration = 0)
{
    MprisSnapshot snapshot;
    snapshot.tracks = std::move(tracks);
    snapshot.currentIndex = index;
    snapshot.duration = duration;
    return snapshot;
}

TEST(MprisProperties, TitleAndArtistFollowTheDisplay)
{
    const struct {
        Track track;
        QString title;
        QString artist;
    } cases[] = {
        { cueTrack("/m/album.flac", 0, QStringLiteral("Intro"), QStringLiteral("Band")), QStringLiteral("Intro"), QStringLiteral("Band") },
        { cueTrack("/m/Who - What.flac", 0, QStringLiteral("Intro"), std::nullopt), QStringLiteral("Intro"), QString() },
        { wholeFile("/m/Artist - Song.mp3"), QStringLiteral("Song"), QStringLiteral("Artist") },
        { wholeFile("/m/A - B - C.mp3"), QStringLiteral("B - C"), QStringLiteral("A") },
        { wholeFile("/m/plain.name.ogg"), QStringLiteral("plain.name"), QString() },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.track.url.path());
        const auto [title, artist] = MprisProperties::titleAndArtist(c.track);
        EXPECT_EQ(title, c.title);
        EXPECT_EQ(artist, c.artist);
    }
}

TEST(MprisProperties, StatusAndAbilitiesFollowTheControls)
{
    MprisSnapshot empty;
    MprisSnapshot loading = withCurrent({ wholeFile("/m/a.mp3") }, 0);
    loading.isLoading = true;
    const MprisSnapshot paused = withCurrent({ wholeFile("/m/a.mp3") }, 0, 60);
    MprisSnapshot playing = paused;
    playing.isPlaying = true;
    const struct {
        const char* name;
        MprisSnapshot snapshot;
        const char* status;
        bool canPlay;
        bool canSeek;
    } cases[] = {
        { "empty", empty, "Stopped", false, false },
        { "loading", loading, "Stopped", true, false },
        { "paused", paused, "Paused", true, true },
        { "playing", playing, "Playing", true, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QVariantMap properties = MprisProperties::player(c.snapshot);
        EXPECT_EQ(properties.value("PlaybackStatus").toString(), QLatin1String(c.status));
        for (const char* name : { "CanPlay", "CanPause", "CanGoNext", "CanGoPrevious" })
            EXPECT_EQ(properties.value(name).toBool(), c.canPlay) << name;
        EXPECT_EQ(properties.value("CanSeek").toBool(), c.canSeek);
        EXPECT_TRUE(properties.value("CanControl").toBool());
    }
}

TEST(MprisProperties, TrackIdsTellCueTracksOfOneFileApart)
{
    const Track first = cueTrack("/m/album.flac", 0, QStringLiteral("One"), std::nullopt);
    const Track second = cueTrack("/m/album.flac", 241.5, QStringLiteral("Two"), std::nullopt);
    EXPECT_NE(MprisProperties::trackId(first), MprisProperties::trackId(second));
    EXPECT_EQ(MprisProperties::metadata(MprisSnapshot {}).value("mpris:trackid").value<QDBusObjectPath>(), MprisProperties::noTrackId());
}

TEST(MprisProperties, RootNamesTheDesktopEntryAndItsTypes)
{
    const QVariantMap root = MprisProperties::root();
    EXPECT_EQ(root.value("DesktopEntry").toString(), QStringLiteral("larkhaven"));
    const QStringList types = root.value("SupportedMimeTypes").toStringList();
    EXPECT_TRUE(types.contains(QStringLiteral("audio/flac")));
    EXPECT_TRUE(types.contains(QStringLiteral("application/x-cue")));
    EXPECT_FALSE(types.contains(QString()));
}

} // namespace
} // namespace lh

namespace lh {
namespace {

MediaTags fullTags(const char* path)
{
    MediaTags tags;
    tags.url = FileURL(path);
    tags.title = QStringLiteral("Morning Song");
    tags.artists = { QStringLiteral("The Larks") };
    tags.album = QStringLiteral("First Light");
    tags.trackNumber = 1;
    tags.discNumber = 2;
    tags.genres = { QStringLiteral("Folk") };
    tags.year = QStringLiteral("2004");
    tags.artFile = FileURL("/cache/covers/ab.png");
    return tags;
}

TEST(MprisProperties, TagsFillInWhatTheyHaveAndOnlyForTheirOwnFile)
{
    MediaTags untagged;
    untagged.url = FileURL("/m/01 Morning Song.flac");
    const auto none = QVariant();
    const QStringList larks { QStringLiteral("The Larks") };
    const struct {
        const char* name;
        Track track;
        std::optional<MediaTags> tags;
        QVariant title, artist, album, albumArtist, trackNumber, genre, year, artUrl;
    } cases[] = {
        { "tagged", wholeFile("/m/01 Morning Song.flac"), fullTags("/m/01 Morning Song.flac"), "Morning Song", larks,
            "First Light", none, 1, QStringList { "Folk" }, "2004", "file:///cache/covers/ab.png" },
        { "untagged", wholeFile("/m/01 Morning Song.flac"), untagged, "01 Morning Song", none, none, none, none, none, none, none },
        { "tags of the file before", wholeFile("/m/Who - Next.flac"), fullTags("/m/01 Morning Song.flac"), "Next",
            QStringList { "Who" }, none, none, none, none, none, none },
        { "cue track", cueTrack("/m/album.flac", 60, QStringLiteral("Dusk"), QStringLiteral("Wren")), fullTags("/m/album.flac"),
            "Dusk", QStringList { "Wren" }, "First Light", larks, none, QStringList { "Folk" }, "2004", "file:///cache/covers/ab.png" },
        { "cue track without performer", cueTrack("/m/album.flac", 60, QStringLiteral("Dusk"), std::nullopt), fullTags("/m/album.flac"),
            "Dusk", none, "First Light", larks, none, QStringList { "Folk" }, "2004", "file:///cache/covers/ab.png" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MprisSnapshot snapshot = withCurrent({ c.track }, 0, 60);
        snapshot.tags = c.tags;
        const QVariantMap metadata = MprisProperties::metadata(snapshot);
        EXPECT_EQ(metadata.value("xesam:title"), c.title);
        EXPECT_EQ(metadata.value("xesam:artist"), c.artist);
        EXPECT_EQ(metadata.value("xesam:album"), c.album);
        EXPECT_EQ(metadata.value("xesam:albumArtist"), c.albumArtist);
        EXPECT_EQ(metadata.value("xesam:trackNumber"), c.trackNumber);
        EXPECT_EQ(metadata.value("xesam:discNumber").isValid(), c.trackNumber.isValid());
        EXPECT_EQ(metadata.value("xesam:genre"), c.genre);
        EXPECT_EQ(metadata.value("xesam:contentCreated"), c.year);
        EXPECT_EQ(metadata.value("mpris:artUrl"), c.artUrl);
        EXPECT_EQ(metadata.value("mpris:length").toLongLong(), 60'000'000);
    }
}

} // namespace
} // namespace lh
