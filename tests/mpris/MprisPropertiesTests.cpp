#include "MprisProperties.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace lh {
namespace {

Track wholeFile(const char* path)
{
    return Track { FileURL(path), 0, std::nullopt, std::nullopt, std::nullopt, std::nullopt, false, false };
}

Track cueTrack(const char* path, double start, std::optional<QString> title, std::optional<QString> artist)
{
    return Track { FileURL(path), start, std::nullopt, std::move(title), std::move(artist), std::nullopt, false, false };
}

MprisSnapshot withCurrent(std::vector<Track> tracks, std::int64_t index, double duration = 0)
{
    MprisSnapshot snapshot;
    snapshot.tracks = std::move(tracks);
    snapshot.currentIndex = index;
    snapshot.duration = duration;
    return snapshot;
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
        { "loading", loading, "Playing", true, false },
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
    EXPECT_TRUE(types.contains(QStringLiteral("audio/x-opus+ogg")));
    EXPECT_TRUE(types.contains(QStringLiteral("application/x-cue")));
    EXPECT_FALSE(types.contains(QString()));
}

} // namespace
} // namespace lh
