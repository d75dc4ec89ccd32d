#include "ControllerFixture.h"

#include "PlaylistStore.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <fstream>

namespace lh::test {
namespace {

const char* const albumSheet = "PERFORMER \"Band\"\n"
                               "FILE \"album.flac\" WAVE\n"
                               "  TRACK 01 AUDIO\n"
                               "    TITLE \"One\"\n"
                               "    INDEX 01 00:00:00\n"
                               "  TRACK 02 AUDIO\n"
                               "    TITLE \"Two\"\n"
                               "    INDEX 01 01:00:00\n";

// Written for the CD image the ripper made; the third entry lies past the file's 600 seconds.
const char* const imageSheet = "TITLE \"Image\"\nPERFORMER \"Band\"\nFILE \"CDImage.wav\" WAVE\n"
                               "TRACK 01 AUDIO\nTITLE \"Uno\"\nINDEX 01 00:00:00\n"
                               "TRACK 02 AUDIO\nTITLE \"Dos\"\nINDEX 01 01:00:00\n"
                               "TRACK 03 AUDIO\nTITLE \"Late\"\nINDEX 01 20:00:00\n";

class Editing : public ControllerTest {
protected:
    Editing()
    {
        sheets["/m/album.cue"] = albumSheet;
        folders["/m"] = { "album.cue", "album.flac", "a.flac" };
    }

    // What the store holds once the stored form, built in the background, has arrived.
    std::vector<Track> saved()
    {
        settle();
        return storedNow();
    }

    std::vector<Track> storedNow() const
    {
        return PlaylistStore(*defaults, QStringLiteral("savedPlaylist")).load([](const FileURL&) { return false; });
    }

    std::vector<std::string> names() const
    {
        std::vector<std::string> result;
        for (const Track& track : model.tracks.value())
            result.push_back(track.title ? track.title->toStdString() : track.url.lastPathComponent());
        return result;
    }
};

TEST_F(Editing, PlainFilesAreAddedAndSavedAtOnceAndADuplicateChangesNothing)
{
    start();
    perform(AddTracksCommand({ url("/m/a.flac"), url("/m/b.mp3") }));
    EXPECT_EQ(names(), std::vector<std::string>({ "a.flac", "b.mp3" }));
    EXPECT_EQ(saved(), model.tracks.value());

    int notifications = 0;
    const auto subscription = model.tracks.subscribe([&](const auto&) { ++notifications; });
    PlaylistStore(*defaults, QStringLiteral("savedPlaylist")).save({}); // a save would undo this
    perform(AddTracksCommand({ url("/m/a.flac") }));
    EXPECT_EQ(notifications, 1); // the initial delivery only
    EXPECT_TRUE(saved().empty());
}

TEST_F(Editing, AFileAddedAfterACueSheetLandsAfterItsTracks)
{
    start();
    perform(AddTracksCommand({ url("/m/album.cue") }));
    perform(AddTracksCommand({ url("/m/a.flac") }));
    EXPECT_TRUE(model.tracks.value().empty());
    EXPECT_TRUE(controller->isAddPending());
    settle();
    EXPECT_EQ(names(), std::vector<std::string>({ "One", "Two", "a.flac" }));
    EXPECT_FALSE(controller->isAddPending());
    EXPECT_EQ(saved(), model.tracks.value());
}

TEST_F(Editing, ALongListOfFilesIsImportedInTheBackgroundAndLandsInRequestOrder)
{
    start();
    std::vector<FileURL> many;
    for (std::size_t i = 0; i <= PlayerController::inlineAddLimit; ++i)
        many.push_back(url("/m/" + std::to_string(i) + ".flac"));
    perform(AddTracksCommand(many));
    perform(AddTracksCommand({ url("/m/a.flac"), url("/m/0.flac") }));
    EXPECT_TRUE(model.tracks.value().empty());
    settle();
    const auto listed = names();
    ASSERT_EQ(listed.size(), many.size() + 1);
    EXPECT_EQ(listed.front(), "0.flac");
    EXPECT_EQ(listed[many.size() - 1], std::to_string(PlayerController::inlineAddLimit) + ".flac");
    EXPECT_EQ(listed.back(), "a.flac"); // and 0.flac not twice
    EXPECT_EQ(saved(), model.tracks.value());
}

// A long list goes in a step at a time, each step a main-thread job of its own, and an add asked
// for meanwhile still lands after all of it; the caller hears of the add once, at its end.
TEST_F(Editing, ALongAddGoesInAStepAtATimeAndTheNextAddWaitsForItsEnd)
{
    start();
    std::vector<FileURL> many;
    for (std::size_t i = 0; i <= 2 * PlayerController::appendStepRows; ++i)
        many.push_back(url("/m/" + std::to_string(i) + ".flac"));
    std::optional<PlayerController::Imported> heard;
    controller->addTracks(many, [&](const PlayerController::Imported& imported) { heard = imported; });
    perform(AddTracksCommand({ url("/m/a.flac") }));
    threads.runAll();
    mainThread.runOne(); // the import's arrival and the first step
    EXPECT_EQ(model.tracks.value().size(), PlayerController::appendStepRows);
    EXPECT_FALSE(heard);
    settle();
    const auto listed = names();
    ASSERT_EQ(listed.size(), many.size() + 1);
    EXPECT_EQ(listed[PlayerController::appendStepRows], std::to_string(PlayerController::appendStepRows) + ".flac");
    EXPECT_EQ(listed.back(), "a.flac");
    ASSERT_TRUE(heard);
    ASSERT_EQ(heard->leading.size(), PlayerController::Imported::keptTracks);
    EXPECT_EQ(heard->leading.front().url, many.front());
    EXPECT_EQ(heard->count, many.size());
    EXPECT_EQ(saved(), model.tracks.value());
}

TEST_F(Editing, AFolderIsWalkedInTheBackgroundAndAddedInRequestOrder)
{
    const std::string top = QFile::encodeName(dir.path()).toStdString() + "/Album";
    ASSERT_TRUE(QDir().mkpath(dir.path() + "/Album/Sub"));
    for (const char* name : { "/Sub/c.mp3", "/10 a.flac", "/2 b.flac", "/notes.txt" })
        std::ofstream(top + name);
    start();
    // Neither name is known to be a folder: only the walk finds out, off the main thread.
    perform(AddTracksCommand({ FileURL(top), FileURL(top + "/notes.txt") }));
    perform(AddTracksCommand({ url("/m/a.flac") }));
    EXPECT_TRUE(model.tracks.value().empty());
    EXPECT_TRUE(controller->isAddPending());
    settle();
    EXPECT_EQ(names(), std::vector<std::string>({ "2 b.flac", "10 a.flac", "c.mp3", "a.flac" }));
    EXPECT_EQ(saved(), model.tracks.value());
}

// A library on a slow share takes long to list: its rows arrive while the walk goes on, whole
// folders at a time in the walk's order, and the add ends once the walk has.
TEST_F(Editing, AWalkHandsItsRowsOverWhileItGoesOn)
{
    const std::string top = QFile::encodeName(dir.path()).toStdString() + "/Library";
    for (const char* album : { "/1 First", "/2 Second", "/3 Third" }) {
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(top + album)));
        for (const char* name : { "/1 a.flac", "/2 b.mp3" })
            std::ofstream(top + album + name);
    }
    start();
    stallClockStep = PlayerController::walkHandOverInterval; // each look at the clock finds it time
    perform(AddTracksCommand({ FileURL(top) }));
    threads.runAll(); // the whole walk
    mainThread.runOne();
    EXPECT_EQ(model.tracks.value().size(), 2u) << "the first folder's rows, while the walk goes on";
    EXPECT_TRUE(model.isReadingFolder.value());
    settle();
    std::vector<std::string> paths;
    for (const Track& track : model.tracks.value())
        paths.push_back(track.url.path().substr(top.size()));
    EXPECT_EQ(paths, std::vector<std::string>({ "/1 First/1 a.flac", "/1 First/2 b.mp3", "/2 Second/1 a.flac", "/2 Second/2 b.mp3",
                         "/3 Third/1 a.flac", "/3 Third/2 b.mp3" }));
    EXPECT_FALSE(model.isReadingFolder.value());
    EXPECT_EQ(saved(), model.tracks.value());
}

TEST_F(Editing, CueTracksReplaceTheWholeFileRowAndStopItsPlayback)
{
    startWith({ wholeFile("/m/a.flac"), wholeFile("/m/album.flac") });
    perform(PlayTrackCommand(1));
    perform(AddTracksCommand({ url("/m/album.cue") }));
    settle();
    EXPECT_EQ(names(), std::vector<std::string>({ "a.flac", "One", "Two" }));
    EXPECT_FALSE(model.isPlaying.value());
    EXPECT_EQ(model.currentIndex.value(), std::nullopt);
    EXPECT_EQ(saved(), model.tracks.value());
}

TEST_F(Editing, OpeningAFileAlreadyListedPlaysItsRow)
{
    startWith({ wholeFile("/m/a.flac"), wholeFile("/m/b.flac") });
    perform(OpenTracksCommand({ url("/m/b.flac") }));
    EXPECT_EQ(model.currentIndex.value(), 1);
    EXPECT_EQ(model.tracks.value().size(), 2u);

    perform(OpenTracksCommand({ url("/m/album.cue") }));
    settle();
    EXPECT_EQ(model.currentIndex.value(), 2);
    EXPECT_EQ(model.tracks.value()[2].title, QStringLiteral("One"));
}

// A list is read in the background like a sheet; its files land in its order, once, beside the
// rows already there, and opening it plays its first file.
TEST_F(Editing, AListOpensInTheBackgroundAndItsFilesLandInItsOrderOnce)
{
    sheets["/lists/mix.m3u8"] = "#EXTM3U\n#EXTINF:-1,B\n/m/b.flac\n../m/a.flac\n/m/album.cue\nfile:///m/b.flac\n/m/gone.flac\n";
    folders["/lists"] = { "mix.m3u8" };
    folders["/m"] = { "album.cue", "album.flac", "a.flac", "b.flac" };
    startWith({ wholeFile("/m/a.flac") });
    perform(OpenTracksCommand({ url("/lists/mix.m3u8") }));
    EXPECT_EQ(names(), std::vector<std::string>({ "a.flac" }));
    ::testing::internal::CaptureStderr();
    settle();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "larkhaven: not added /m/gone.flac: no such file\n");
    EXPECT_EQ(names(), std::vector<std::string>({ "a.flac", "b.flac", "One", "Two" }));
    EXPECT_EQ(model.currentIndex.value(), 1);
    EXPECT_EQ(saved(), model.tracks.value());
}

TEST_F(Editing, AStalledImportStillAddsTheAudioFiles)
{
    start();
    // Neither the sheet nor the list is read on the main thread after the watchdog gave up.
    sheets["/m/mix.m3u"] = "/m/a.flac\n";
    perform(AddTracksCommand({ url("/m/album.cue"), url("/m/mix.m3u"), url("/m/c.flac") }));
    ASSERT_EQ(watchdogs.size(), 1u);
    stallNow += stallLimit + std::chrono::seconds(1); // the sheet's read never returns
    EXPECT_FALSE(watchdogs.front()());
    mainThread.runAll();
    EXPECT_EQ(names(), std::vector<std::string>({ "c.flac" }));
    EXPECT_FALSE(controller->isAddPending());
    settle(); // the late import result is dropped
    EXPECT_EQ(names(), std::vector<std::string>({ "c.flac" }));
}

// A share that stops answering while its folder is walked keeps the add waiting: when the
// share answers again the walk carries on and every row arrives.
TEST_F(Editing, AWalkThatStallsWaitsForTheShareAndCarriesOn)
{
    const std::string top = QFile::encodeName(dir.path()).toStdString() + "/Library";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(top + "/Album")));
    for (const char* name : { "/Album/1 a.flac", "/Album/2 b.mp3" })
        std::ofstream(top + name);
    start();
    perform(AddTracksCommand({ FileURL(top) }));
    ASSERT_EQ(watchdogs.size(), 2u); // the stall limit's, and the walk's own
    EXPECT_TRUE(watchdogs[1]());
    mainThread.runAll();
    EXPECT_FALSE(model.isWalkWaiting.value());
    stallNow += stallLimit + std::chrono::seconds(1); // the walk's first listing hangs
    EXPECT_FALSE(watchdogs[0]());
    EXPECT_TRUE(watchdogs[1]());
    mainThread.runAll();
    EXPECT_TRUE(controller->isAddPending());
    EXPECT_TRUE(model.isReadingFolder.value());
    EXPECT_TRUE(model.isWalkWaiting.value()); // the status says so
    settle(); // the share answers
    EXPECT_EQ(model.tracks.value().size(), 2u);
    EXPECT_FALSE(controller->isAddPending());
    EXPECT_FALSE(model.isReadingFolder.value());
    EXPECT_FALSE(model.isWalkWaiting.value());
    EXPECT_FALSE(watchdogs[1]()); // the walk's watch ends with it
}

TEST_F(Editing, ABackgroundAddEndingAfterTheControllerIsGoneIsDropped)
{
    start();
    bool isCalled = false;
    controller->addTracks({ url("/m/album.cue") }, [&](const auto&) { isCalled = true; });
    controller.reset();
    settle();
    EXPECT_FALSE(isCalled);
    EXPECT_TRUE(model.tracks.value().empty());
}

TEST_F(Editing, RemovingRowsKeepsTheCurrentTrackCurrent)
{
    std::vector<Track> tracks;
    for (const char* name : { "/m/0.flac", "/m/1.flac", "/m/2.flac", "/m/3.flac", "/m/4.flac", "/m/5.flac" })
        tracks.push_back(wholeFile(name));
    startWith(tracks);
    perform(PlayTrackCommand(4));
    perform(RemoveTracksCommand({ 1, 2, 9 }));
    EXPECT_EQ(names(), std::vector<std::string>({ "0.flac", "3.flac", "4.flac", "5.flac" }));
    EXPECT_EQ(model.currentIndex.value(), 2);
    EXPECT_TRUE(model.isPlaying.value());
    EXPECT_EQ(saved(), model.tracks.value());

    perform(RemoveTracksCommand({ 2 }));
    EXPECT_EQ(model.currentIndex.value(), std::nullopt);
    EXPECT_FALSE(model.isPlaying.value());
    EXPECT_FALSE(engine.loaded);
}

TEST_F(Editing, ARemovalOfRowsOutsideThePlaylistSavesAndAnnouncesNothing)
{
    startWith({ wholeFile("/m/a.flac") });
    int notifications = 0;
    const auto subscription = model.tracks.subscribe([&](const auto&) { ++notifications; });
    PlaylistStore(*defaults, QStringLiteral("savedPlaylist")).save({});
    perform(RemoveTracksCommand({ -1, 1, 7 }));
    EXPECT_EQ(notifications, 1);
    EXPECT_TRUE(saved().empty());
}

// The store takes the rows themselves at once and builds their stored form when it writes.
TEST_F(Editing, EveryEditReachesTheStoreAtOnceAndQuittingLosesNone)
{
    start();
    perform(AddTracksCommand({ url("/m/a.flac") }));
    perform(AddTracksCommand({ url("/m/b.mp3") }));
    EXPECT_EQ(storedNow(), model.tracks.value());

    perform(RemoveTracksCommand({ 0 }));
    controller.reset(); // quitting with nothing run
    ASSERT_EQ(storedNow().size(), 1u);
    EXPECT_EQ(storedNow().front().url, url("/m/b.mp3"));
}

TEST_F(Editing, RemovingTheLastRowOfTheShownFileClosesTheInfoPanel)
{
    startWith({ cueTrack("/m/album.flac", 0, 60, "One"), cueTrack("/m/album.flac", 60, std::nullopt, "Two"), wholeFile("/m/a.flac") });
    settle();
    ASSERT_TRUE(model.streamInfo.value().contains(url("/m/album.flac")));
    perform(ShowInfoCommand(0));
    perform(RemoveTracksCommand({ 2 }));
    EXPECT_TRUE(model.info.value());
    settle(); // the maps without the removed file are made in the background
    EXPECT_FALSE(model.streamInfo.value().contains(url("/m/a.flac")));
    EXPECT_FALSE(model.fileStates.value().contains(url("/m/a.flac")));
    perform(RemoveTracksCommand({ 0 }));
    EXPECT_TRUE(model.info.value());
    perform(RemoveTracksCommand({ 0 }));
    EXPECT_FALSE(model.info.value());
    settle(); // also: the pending read of the closed panel reports nothing
    EXPECT_TRUE(model.streamInfo.value().empty());
    EXPECT_FALSE(model.info.value());
}

// The maps without the removed files are made from the maps of the moment; a map that changed
// before they were ready must lose the same entries and keep its news.
TEST_F(Editing, ARemovalForgetsTheRemovedFilesAlsoFromMapsThatChangedMeanwhile)
{
    startWith({ wholeFile("/m/a.flac"), wholeFile("/m/b.flac"), wholeFile("/m/c.flac") });
    settle();
    perform(RemoveTracksCommand({ 0, 1 }));
    perform(RemoveTracksCommand({ 0 }));
    model.streamInfo.modify([&](StreamInfoMap& infos) { infos[url("/m/new.flac")] = StreamInfo { 1.0, {}, {}, {} }; });
    settle();
    EXPECT_EQ(model.streamInfo.value().get(), (StreamInfoMap { { url("/m/new.flac"), StreamInfo { 1.0, {}, {}, {} } } }));
    EXPECT_TRUE(model.fileStates.value().empty());
}

// The rows stand for the stored list once they are restored, unless part of it could not be
// read whole: that part (a newer version's, say) is not overwritten by a change of another
// setting, nor is the row it belongs to written back without it.
TEST_F(Editing, AStoredElementThatCannotBeReadWholeSurvivesUntilThePlaylistIsEdited)
{
    const std::vector<std::pair<const char*, QJsonArray>> playlists {
        { "an element without a track", { QJsonObject { { "path", "/m/a.flac" } }, QJsonObject { { "future", 1 } } } },
        { "a newer version's field", { QJsonObject { { "path", "/m/a.flac" }, { "remote", false }, { "rating", 5 } } } },
        { "a value of another type", { QJsonObject { { "path", "/m/a.flac" }, { "remote", false }, { "start", "12.5" } } } },
    };
    for (const auto& [what, playlist] : playlists) {
        SCOPED_TRACE(what);
        controller.reset();
        defaults->set(playlist, "savedPlaylist");
        start();
        ASSERT_EQ(model.tracks.value().size(), 1u);
        perform(SetVolumeCommand(0.5f));
        defaults->flush();
        EXPECT_EQ(QJsonDocument(defaults->object("savedPlaylist")->toArray()).toJson().toStdString(),
            QJsonDocument(playlist).toJson().toStdString());
        perform(AddTracksCommand({ url("/m/b.flac") }));
        EXPECT_EQ(storedNow().size(), 2u);
        EXPECT_EQ(defaults->object("savedPlaylist")->toArray().size(), 2); // a and b
    }
}

// A file listed again while its removal was still being worked out stays described.
TEST_F(Editing, AFileListedAgainBeforeItsRemovalIsFinishedKeepsItsStateAndDescription)
{
    startWith({ wholeFile("/share/a.flac"), wholeFile("/m/b.flac") }); // a network file has a state
    settle();
    perform(RemoveTracksCommand({ 0 }));
    background.runAll(); // the maps without a.flac are made
    controller->append({ wholeFile("/share/a.flac") });
    settle();
    EXPECT_TRUE(model.streamInfo.value().contains(url("/share/a.flac")));
    EXPECT_TRUE(model.fileStates.value().contains(url("/share/a.flac")));
}

// The image plays on as the track that holds its position: nothing is reloaded, and the model
// speaks of that track from then on. Rows after it move down; the stored playlist has the tracks.
TEST_F(Editing, AnImageWithASheetInsideBecomesItsTracksInPlaceAndPlaysOn)
{
    reader->embeddedSheets["/m/image.flac"] = imageSheet;
    startWith({ wholeFile("/m/a.flac"), wholeFile("/m/image.flac"), wholeFile("/m/b.flac") });
    perform(PlayTrackCommand(1));
    engine.time = 70;
    settle();
    EXPECT_EQ(names(), std::vector<std::string>({ "a.flac", "Uno", "Dos", "b.flac" }));
    EXPECT_EQ(model.currentIndex.value(), 2);
    EXPECT_TRUE(model.isPlaying.value());
    EXPECT_EQ(loadedNames(), std::vector<std::string>({ "image.flac" }));
    EXPECT_DOUBLE_EQ(model.duration.value(), engine.fileDuration - 60); // to the end of the file
    EXPECT_DOUBLE_EQ(model.currentTime.value(), 10);
    const Track& dos = model.tracks.value()[2];
    EXPECT_EQ(dos.album, QStringLiteral("Image"));
    EXPECT_TRUE(dos.isFromEmbeddedSheet);
    EXPECT_EQ(saved(), model.tracks.value());

    // A sheet opened later takes their place the same way, and its track at 65 s plays on.
    sheets["/m/image.cue"] = "FILE \"image.flac\" WAVE\nTRACK 01 AUDIO\nTITLE \"Eins\"\nINDEX 01 00:00:00\n"
                             "TRACK 02 AUDIO\nTITLE \"Zwei\"\nINDEX 01 01:05:00\nTRACK 03 AUDIO\nTITLE \"Drei\"\nINDEX 01 01:20:00\n";
    folders["/m"] = { "a.flac", "b.flac", "image.flac", "image.cue" };
    perform(AddTracksCommand({ url("/m/image.cue") }));
    settle();
    EXPECT_EQ(names(), std::vector<std::string>({ "a.flac", "Eins", "Zwei", "Drei", "b.flac" }));
    EXPECT_EQ(model.currentIndex.value(), 2);
    EXPECT_TRUE(model.isPlaying.value());
    EXPECT_EQ(loadedNames(), std::vector<std::string>({ "image.flac" }));
    EXPECT_DOUBLE_EQ(model.currentTime.value(), 5);
    EXPECT_DOUBLE_EQ(model.duration.value(), 15);
    EXPECT_EQ(saved(), model.tracks.value());

    perform(PlayTrackCommand(4));
    EXPECT_EQ(model.currentIndex.value(), 4);
    EXPECT_EQ(loadedNames().back(), "b.flac");
}

// Stored tracks show at once and are not read again; a playlist stored before they were known
// (the image as one row) gets them when the launch's read finds the sheet.
TEST_F(Editing, ARestoreShowsTheImageTracks)
{
    reader->embeddedSheets["/m/image.flac"] = imageSheet;
    reader->embeddedSheets["/m/old.flac"] = imageSheet;
    startWith({ cueTrack("/m/image.flac", 0, 60, "Uno"), wholeFile("/m/old.flac") });
    EXPECT_EQ(names(), std::vector<std::string>({ "Uno", "old.flac" }));
    settle();
    EXPECT_EQ(names(), std::vector<std::string>({ "Uno", "Uno", "Dos" }));
    EXPECT_EQ(reader->sheetReads(), std::vector<std::string>({ "old.flac" }));
}

// A network image is looked into only through its local copy, never on the share.
TEST_F(Editing, ANetworkImageIsReadFromItsCopy)
{
    putInCache("/share/image.flac");
    reader->embeddedSheets[cache->copy(url("/share/image.flac"))->path()] = imageSheet;
    startWith({ wholeFile("/share/image.flac") });
    settle();
    EXPECT_EQ(names(), std::vector<std::string>({ "Uno", "Dos" }));
    EXPECT_TRUE(model.tracks.value()[0].isRemote);
    EXPECT_EQ(std::ranges::count(reader->sheetReads(), "image.flac"), 0);

    // Its tracks count as its rows: removed and added again, it is still shown as a network file.
    perform(RemoveTracksCommand({ 0, 1 }));
    settle();
    perform(AddTracksCommand({ url("/share/image.flac") }));
    settle();
    EXPECT_EQ(names(), std::vector<std::string>({ "Uno", "Dos" }));
    EXPECT_TRUE(model.fileStates.value().contains(url("/share/image.flac")));
}

// The sheet the user opened wins; an image opened alone uses the one inside it, even with a
// sheet beside it. Opened after the image was split, the sheet's tracks take the split ones'
// place, once however often it is opened, and the image added again changes nothing.
TEST_F(Editing, TheSheetTheUserOpenedWinsOverTheOneInsideTheFile)
{
    reader->embeddedSheets["/m/album.flac"] = imageSheet;
    using Adds = std::vector<std::vector<FileURL>>; // one after another, each read through
    const struct {
        Adds adds;
        std::vector<std::string> rows;
    } cases[] = {
        { { { url("/m/album.cue") } }, { "One", "Two" } },
        { { { url("/m/album.flac"), url("/m/album.cue") } }, { "One", "Two" } },
        { { { url("/m/album.flac") } }, { "Uno", "Dos" } },
        { { { url("/m/album.flac") }, { url("/m/a.flac") }, { url("/m/album.cue") } }, { "One", "Two", "a.flac" } },
        { { { url("/m/album.flac") }, { url("/m/album.cue") }, { url("/m/album.cue"), url("/m/album.flac") } }, { "One", "Two" } },
    };
    start();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rows.front() + " after " + std::to_string(c.adds.size()) + " adds");
        for (const auto& add : c.adds) {
            perform(AddTracksCommand(add));
            settle();
        }
        EXPECT_EQ(names(), c.rows);
        EXPECT_EQ(saved(), model.tracks.value());
        std::set<std::int64_t> all;
        for (std::int64_t row = 0; row < std::int64_t(model.tracks.value().size()); ++row)
            all.insert(row);
        perform(RemoveTracksCommand(all));
        settle();
    }
}

} // namespace
} // namespace lh::test
