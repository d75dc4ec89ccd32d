#include "PlaylistStore.h"

#include "Preferences.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace lh {
namespace {

class PlaylistStoreTest : public ::testing::Test {
protected:
    std::unique_ptr<Preferences> open() const { return std::make_unique<Preferences>(dir.path() + "/preferences.json"); }

    // A remote test that counts its questions; everything under /net/ is remote.
    PlaylistStore::IsRemote isRemote = [this](const FileURL& url) {
        ++remoteQuestions;
        return url.path().starts_with("/net/");
    };

    QTemporaryDir dir;
    std::unique_ptr<Preferences> preferences = open();
    PlaylistStore store { *preferences, "savedPlaylist" };
    int remoteQuestions = 0;
};

Track whole(FileURL url, bool isRemote = false)
{
    return Track { std::move(url), 0, std::nullopt, std::nullopt, std::nullopt, std::nullopt, isRemote, false };
}

Track cueTrack()
{
    return Track { FileURL("/music/a.flac"), 0, 61.5, QStringLiteral("One"), QStringLiteral("Band"), std::nullopt, false, false };
}

// Saved as JSON values, or as the tracks themselves turned into JSON only when the file is
// written: both read back alike, in the same run and after a relaunch.
using Save = std::function<void(PlaylistStore&, const std::vector<Track>&)>;
const std::vector<std::pair<const char*, Save>> saves {
    { "as values", [](PlaylistStore& store, const std::vector<Track>& tracks) { store.save(tracks); } },
    { "as tracks", [](PlaylistStore& store, const std::vector<Track>& tracks) { store.saveShared(tracks); } },
};

TEST_F(PlaylistStoreTest, StoresOnlyTheKeysThatDifferFromTheDefaults)
{
    const QJsonArray expected {
        QJsonObject { { "path", "/music/a.flac" }, { "remote", false } },
        QJsonObject { { "path", "/music/a.flac" }, { "remote", false }, { "end", 61.5 }, { "title", "One" }, { "artist", "Band" } },
        QJsonObject { { "path", "/net/b.mp3" }, { "remote", true }, { "start", 12.25 }, { "title", "Two" }, { "trackGain", -6.5 },
            { "albumGain", -7 }, { "albumPeak", 1 } },
    };
    for (const auto& [how, save] : saves) {
        SCOPED_TRACE(how);
        save(store, { whole(FileURL("/music/a.flac")), cueTrack(),
            Track { FileURL("/net/b.mp3"), 12.25, std::nullopt, QStringLiteral("Two"), std::nullopt, std::nullopt, true, false,
                CueGains(-6.5, std::nullopt, -7, 1) } });
        EXPECT_EQ(preferences->object("savedPlaylist"), QJsonValue(expected));
        save(store, {});
        EXPECT_EQ(preferences->object("savedPlaylist"), QJsonValue(QJsonArray()));
    }
}

TEST_F(PlaylistStoreTest, RestoresWhatItSavedAfterARelaunch)
{
    std::vector<Track> tracks { cueTrack(), Track { FileURL("/net/Caf\xC3\xA9.flac"), 0.5, 9.75, QString(), QString(), std::nullopt, true, false },
        whole(FileURL("/music/Caf\xE9/01.flac")),
        Track { FileURL("/music/image.flac"), 60, std::nullopt, QStringLiteral("Two"), std::nullopt, QStringLiteral("Album"), false, true,
            CueGains(-6.54, 0.988525, -7.89, 1.2) } };
    // The cue tracks of a sheet file keep the sheet, a path that is not UTF-8 included.
    for (const char* sheet : { "/music/Caf\xE9/Album.cue", "/music/Album.cue" }) {
        tracks.push_back(Track { FileURL("/music/Album.wav"), 0, 60, QStringLiteral("One"), std::nullopt, std::nullopt, false, false, {},
            InternedURL(FileURL(sheet)) });
        tracks.push_back(tracks.back());
        tracks.back().start = 60;
    }
    for (const auto& [how, save] : saves) {
        SCOPED_TRACE(how);
        preferences->set(QJsonValue(), "savedPlaylist");
        preferences->set(true, "other"); // written beside it
        PlaylistStore fresh(*preferences, "savedPlaylist");
        save(fresh, tracks);
        preferences.reset();
        preferences = open();
        EXPECT_EQ(PlaylistStore(*preferences, "savedPlaylist").load(isRemote), tracks);
        EXPECT_TRUE(preferences->boolean("other"));
        EXPECT_EQ(remoteQuestions, 0);
    }
}

// What the file holds already replaces the value read without a write; the next change of any
// setting writes it.
TEST_F(PlaylistStoreTest, TracksTheFileHoldsAreWrittenWithTheNextChange)
{
    store.save({ cueTrack() });
    preferences.reset();
    preferences = open();
    PlaylistStore(*preferences, "savedPlaylist").saveShared(std::vector { whole(FileURL("/music/b.flac")) }, Preferences::Write::withNextChange);
    preferences->flush();
    EXPECT_EQ(PlaylistStore(*open(), "savedPlaylist").load(isRemote), std::vector { cueTrack() });
    preferences->set(0.5, "volume");
    preferences->flush();
    EXPECT_EQ(PlaylistStore(*open(), "savedPlaylist").load(isRemote), std::vector { whole(FileURL("/music/b.flac")) });
}

TEST_F(PlaylistStoreTest, SkipsElementsItCannotReadOneByOne)
{
    const QJsonArray stored { "/music/./x/../bare.mp3", QJsonObject { { "start", 3.0 } }, 42, QJsonArray(), QJsonValue(),
        QJsonObject { { "path", 7 } }, QJsonObject { { "path", "relative.mp3" } }, QJsonObject { { "path", "file:///x%ZZ" } },
        QJsonObject { { "path", "/net/x.flac" }, { "start", "3" }, { "end", true }, { "title", 5 }, { "artist", QJsonArray() },
            { "remote", "yes" }, { "unknown", 1 } },
        // An empty path after one written with an escape is no path either.
        QJsonObject { { "path", "/m/tab\t.mp3" }, { "remote", false } }, QJsonObject { { "path", "" }, { "remote", false } } };
    preferences->set(stored, "savedPlaylist");
    EXPECT_EQ(store.load(isRemote),
        std::vector({ whole(FileURL("/music/bare.mp3")), whole(FileURL("/net/x.flac"), true), whole(FileURL("/m/tab\t.mp3")) }));
    EXPECT_EQ(remoteQuestions, 2) << "asked only where \"remote\" is missing or not a Boolean";
}

// Rewritten, an element holding what this version does not understand (a newer version's field,
// a value of another type than the one written) would lose it: the restore says it did not read
// it whole, though its track is restored as well as it can be.
TEST_F(PlaylistStoreTest, AnElementWithAFieldItDoesNotUnderstandIsNotReadWhole)
{
    const std::vector<std::pair<const char*, bool>> playlists {
        { R"([{"path":"/m/a.flac","remote":false,"start":12.5,"end":20,"title":"T","artist":"A","album":"B","embedded":true}])", true },
        { R"(["/m/a.flac"])", true },
        { R"([{"path":"/m/a.flac"}])", true },
        { R"([{"path":"/m/a.flac","title":"T","trackGain":-6.5,"trackPeak":0.5,"albumGain":-7,"albumPeak":1}])", true },
        { R"([{"path":"/m/a.flac","title":"T","trackGain":"-6.5 dB"}])", false },
        { R"([{"path":"/m/a.flac","title":"T","sheet":"/m/a.cue"}])", true },
        { R"([{"path":"/m/a.flac","title":"T","sheet":["/m/a.cue"]}])", false },
        { R"([{"path":"/m/a.flac","remote":false,"rating":5}])", false },
        { R"([{"path":"/m/a.flac","remote":false,"start":"12.5"}])", false },
        { R"([{"path":"/m/a.flac","remote":null,"title":5}])", false },
        // A key given twice counts with its last value, as Qt reads it.
        { R"([{"path":"/m/a.flac","start":"x","start":12.5}])", true },
        { R"([{"path":"/m/a.flac","start":12.5,"start":"x"}])", false },
    };
    for (const auto& [text, isWhole] : playlists) {
        SCOPED_TRACE(text);
        const PlaylistStore::Restored restored = PlaylistStore::restoredTracks(text, isRemote);
        EXPECT_EQ(restored.isWhole, isWhole);
        ASSERT_EQ(restored.tracks.size(), 1u);
        EXPECT_EQ(restored.tracks[0].url, FileURL("/m/a.flac"));
    }
}

TEST_F(PlaylistStoreTest, AStoredRemoteFlagIsTrustedOverTheTest)
{
    preferences->set(QJsonArray { QJsonObject { { "path", "/net/a.flac" }, { "remote", false } } }, "savedPlaylist");
    EXPECT_EQ(store.load(isRemote), std::vector({ whole(FileURL("/net/a.flac")) }));
    EXPECT_EQ(remoteQuestions, 0);
}

TEST_F(PlaylistStoreTest, AMissingOrWrongValueRestoresAnEmptyPlaylist)
{
    EXPECT_TRUE(store.load(isRemote).empty());
    preferences->set(QJsonObject { { "path", "/a.mp3" } }, "savedPlaylist");
    EXPECT_TRUE(store.load(isRemote).empty());
    preferences->set("/a.mp3", "savedPlaylist");
    EXPECT_TRUE(store.load(isRemote).empty());
}

// What a stored value restores once Qt has read it: read from Qt's own text of it.
PlaylistStore::Restored restoredThroughQt(const QJsonValue& stored, const PlaylistStore::IsRemote& isRemote)
{
    if (!stored.isArray())
        return {};
    const QByteArray text = QJsonDocument(stored.toArray()).toJson(QJsonDocument::Compact);
    return PlaylistStore::restoredTracks(std::string_view(text.constData(), std::size_t(text.size())), isRemote);
}

// Stored playlists are read element by element from the file's text as it lies; they must give
// what the same text read by Qt as a whole document gives: the same tracks, and the same answer
// to whether the tracks stand for every element. Each file is also read with a playlist long
// enough to stay text in the store.
TEST_F(PlaylistStoreTest, ReadingTheStoredTextGivesWhatTheWholeDocumentGave)
{
    const std::vector<QByteArray> playlists {
        R"([{"path":"/music/a.flac","remote":false},{"path":"/music/a.flac","remote":false}])",
        "[\"/music/bare.mp3\", {\"path\":\"/net/x.flac\"}, {\"path\":\"file:///music/Caf%E9/%FF.flac\",\"remote\":false}]",
        R"([{"path":"/music/image.flac","remote":false,"end":61.5,"title":"One","artist":"Band","album":"Al","embedded":true},
            {"path":"/music/image.flac","remote":false,"start":61.5,"title":"Two \"live\" \u00e9\ud83c\udfb5","embedded":false}])",
        "[\"/music/\xE6\x97\xA5\xE6\x9C\xAC/\xC3\x87" "a va?\t.flac\", \"/m/a\\/b\\\\c.mp3\", \"/music/./x/../n.mp3\", {\"path\":\"/m/\\u0000.mp3\"}]",
        R"([{"path":"/m/u.flac","remote":false,"rating":{"stars":[5,{}]},"start":"3","end":true,"title":5,"artist":null},
            {"path":7,"path":"/m/dup.flac","remote":true,"remote":"x","start":1,"start":2e0},
            {"pa\u0074h":"/m/escaped-key.flac","end":-0,"album":""}])",
        R"([42, null, [], {}, {"path":"relative.mp3"}, {"path":"file:///x%ZZ"}, "/m/kept.mp3"])",
        // Qt drops a byte-order mark that opens a key, as it does one that opens a value.
        "[{\"\xEF\xBB\xBFpath\":\"/m/marked-key.flac\",\"\xEF\xBB\xBFremote\":false}]",
        R"({"path":"/a.mp3"})", R"("/a.mp3")", "7", "[]",
        R"([{"path":"/m/a.flac"}, {"path":"/m/b.flac")", R"(["/m/a.flac",])", "[\"\\x\xC3\"]", R"([1.5.2])",
    };
    int folder = 0;
    for (const QByteArray& playlist : playlists) {
        for (const bool isLarge : { false, true }) {
            QByteArray value = playlist;
            for (int i = 0; isLarge && value.startsWith('[') && i < 3000; ++i)
                value.insert(1, QStringLiteral("\"/music/padding/%1.flac\",").arg(i).toUtf8());
            const QByteArray file = "{\"volume\":0.5,\"savedPlaylist\":" + value + "}";
            SCOPED_TRACE(file.left(300).toStdString());

            const QString path = dir.path() + QStringLiteral("/%1/preferences.json").arg(++folder);
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile out(path);
            ASSERT_TRUE(out.open(QIODevice::WriteOnly));
            out.write(file);
            out.close();
            ::testing::internal::CaptureStderr();
            Preferences stored(path);
            const PlaylistStore::Restored restored = PlaylistStore(stored, "savedPlaylist").restore(isRemote);
            ::testing::internal::GetCapturedStderr();

            const QJsonValue whole = QJsonDocument::fromJson(file).object().value("savedPlaylist");
            const PlaylistStore::Restored expected = restoredThroughQt(whole, isRemote);
            EXPECT_EQ(restored.tracks, expected.tracks);
            EXPECT_EQ(restored.isWhole, expected.isWhole);
        }
    }
}

TEST(PlaylistStore, KeepsAPathThatIsNotUTF8ByteForByte)
{
    const std::vector<Track> tracks { whole(FileURL("/music/Caf\xE9/\xFF\x01 a%20b.flac")) };
    const QJsonArray stored = PlaylistStore::storedValue(tracks);
    EXPECT_EQ(stored[0].toObject()["path"].toString(), QStringLiteral("file:///music/Caf%E9/%FF%01%20a%2520b.flac"));
    EXPECT_EQ(PlaylistStore::restoredTracks(QJsonDocument(stored).toJson().toStdString(), [](const FileURL&) { return false; }).tracks,
        tracks);
}

} // namespace
} // namespace lh
