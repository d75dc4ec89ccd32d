#include "ControllerFixture.h"

#include <QFile>

#include <algorithm>
#include <functional>
#include <set>

#include <gtest/gtest.h>

namespace lh::test {
namespace {

using NetworkStates = ControllerTest;
using Info = ControllerTest;

TEST_F(NetworkStates, EachFileShowsWhetherItIsLocalCachedWaitingOrBeingCopied)
{
    putInCache("/share/cached.flac");
    startWith({ wholeFile("/m/a.flac"), wholeFile("/share/cached.flac"), wholeFile("/share/new.flac") });
    // A local file needs no state: no entry means local.
    EXPECT_EQ(model.fileStates.value(),
        (FileStateMap { { url("/share/cached.flac"), FileState::cached }, { url("/share/new.flac"), FileState::waiting } }));

    std::vector<FileState> seen;
    const auto subscription = model.fileStates.subscribe([&](const FileStates& states) { seen.push_back(states.at(url("/share/new.flac"))); });
    settle();
    EXPECT_EQ(seen, std::vector<FileState>({ FileState::waiting, FileState::copying, FileState::cached }));

    controller->refreshFileStates(); // nothing changed: nothing announced
    EXPECT_EQ(seen.size(), 3u);
}

// Copies ahead change a few files' states many times a second: a report must not copy the
// states of every file the list names, which held the window a tenth of a second at 20,000.
TEST_F(NetworkStates, CopyReportsLeaveTheBulkOfTheStatesShared)
{
    std::vector<Track> rows;
    for (int number = 0; number < 2000; ++number)
        rows.push_back(wholeFile("/share/" + std::to_string(number) + ".flac"));
    startWith(rows);
    std::vector<FileStates> seen;
    const auto subscription = model.fileStates.subscribe([&](const FileStates& states) { seen.push_back(states); });
    settle();
    ASSERT_GT(seen.size(), 100u);
    std::size_t wholeCopies = 0;
    for (std::size_t index = 1; index < seen.size(); ++index)
        wholeCopies += seen[index].sharesBulkWith(seen[index - 1]) ? 0 : 1;
    EXPECT_LT(wholeCopies * 20, seen.size());
    EXPECT_EQ(model.fileStates.value().state(url("/share/0.flac")), FileState::cached);
}

// A copy that arrives may evict others: their rows show waiting again.
TEST_F(NetworkStates, RowsWhoseCopiesWereEvictedShowWaitingAgain)
{
    cache = std::make_unique<AudioFileCache>(FileURL(dir.path().toStdString() + "/cache", true), 12); // three copies
    std::vector<Track> rows;
    for (int number = 0; number < 12; ++number)
        rows.push_back(wholeFile("/share/" + std::to_string(number) + ".flac"));
    startWith(rows);
    settle();
    ASSERT_EQ(model.fileStates.value().state(url("/share/0.flac")), FileState::cached);
    controller->play(8, 1, false);
    settle();
    EXPECT_EQ(model.fileStates.value().state(url("/share/8.flac")), FileState::cached);
    EXPECT_EQ(model.fileStates.value().state(url("/share/0.flac")), FileState::waiting);
    const FileStateMap shown = model.fileStates.value().map();
    controller->refreshFileStates();
    EXPECT_EQ(model.fileStates.value().map(), shown);
}

// Each change of the descriptions costs the window a pass over every row: those read while
// the main thread was busy arrive as one change.
TEST_F(NetworkStates, StreamDescriptionsReadMeanwhileReachTheModelInOneChange)
{
    startWith({ wholeFile("/m/a.flac"), wholeFile("/m/b.flac"), wholeFile("/m/c.flac") });
    int changes = 0;
    const auto subscription = model.streamInfo.subscribe([&](const StreamInfoMap&) { ++changes; });
    background.runAll();
    mainThread.runAll();
    EXPECT_EQ(changes, 2); // on subscribing, then once for all three
    EXPECT_EQ(model.streamInfo.value().size(), 3u);
    controller->readMissingStreamInfo(); // nothing left to read
    settle();
    EXPECT_EQ(reader->streamReads().size(), 3u);
}

// Edits and download reports change the file states file by file; after every step, and after
// every job that step leads to, they equal the states worked out afresh from the whole playlist,
// and once settled every row shown has its description, no whole file is listed beside its cue
// tracks, and the info panel shows a listed file.
TEST_F(NetworkStates, AfterEachEditAndReportTheStatesEqualAFreshPass)
{
    const auto sheet = [](const char* file) {
        return std::string("FILE \"") + file + "\" WAVE\n  TRACK 01 AUDIO\n    TITLE \"One\"\n    INDEX 01 00:00:00\n"
            + "  TRACK 02 AUDIO\n    TITLE \"Two\"\n    INDEX 01 01:00:00\n";
    };
    sheets["/m/album.cue"] = sheet("album.flac");
    sheets["/share/live.cue"] = sheet("live.flac");
    folders["/m"] = { "album.cue", "album.flac" };
    folders["/share"] = { "live.cue", "live.flac" };
    putInCache("/share/cached.flac");
    startWith({ wholeFile("/m/a.flac"), wholeFile("/share/cached.flac"), wholeFile("/share/b.flac"), wholeFile("/m/c.flac") });
    const std::vector<std::pair<const char*, std::function<void()>>> steps = {
        { "start", [] {} },
        { "add a local file", [&] { perform(AddTracksCommand({ url("/m/d.flac") })); } },
        { "add network files", [&] { perform(AddTracksCommand({ url("/share/e.flac"), url("/share/f.flac") })); } },
        { "add a file listed already", [&] { perform(AddTracksCommand({ url("/share/e.flac"), url("/m/a.flac") })); } },
        { "remove a network row", [&] { perform(RemoveTracksCommand({ 2 })); } },
        { "remove a local row", [&] { perform(RemoveTracksCommand({ 0 })); } },
        { "play a row", [&] { perform(PlayTrackCommand(3)); } },
        { "remove the playing row", [&] { perform(RemoveTracksCommand({ 3 })); } },
        { "a file goes from the share", [&] {
             files->missing.insert("g.flac");
             perform(AddTracksCommand({ url("/share/g.flac") }));
         } },
        { "add a file, then its sheet", [&] {
             perform(AddTracksCommand({ url("/m/album.flac") }));
             perform(AddTracksCommand({ url("/m/album.cue") }));
         } },
        { "add a network file and its sheet at once", [&] { perform(AddTracksCommand({ url("/share/live.flac"), url("/share/live.cue") })); } },
        { "open a file listed already", [&] { perform(OpenTracksCommand({ url("/m/c.flac") })); } },
        { "remove a row of a file listed twice", [&] {
             perform(ShowInfoCommand(std::int64_t(model.tracks.value().size()) - 1));
             perform(RemoveTracksCommand({ std::int64_t(model.tracks.value().size()) - 1 }));
             EXPECT_TRUE(model.info.value().has_value());
         } },
        { "remove the shown file's last row", [&] {
             perform(ShowInfoCommand(0));
             perform(RemoveTracksCommand({ 0 }));
         } },
        { "the share goes away", [&] {
             files->isAway = true;
             perform(AddTracksCommand({ url("/share/h.flac") }));
         } },
    };
    const auto expectRowsFresh = [&] {
        const std::vector<Track> rows = model.tracks.value().toVector();
        const auto isListed = [&](const FileURL& file) {
            return std::ranges::any_of(rows, [&](const Track& track) { return track.url == file; });
        };
        for (const Track& track : rows) {
            EXPECT_FALSE(track.isWholeFile() && std::ranges::any_of(rows, [&](const Track& other) {
                return other.url == track.url && !other.isWholeFile();
            })) << track.url.path();
        }
        if (const auto& info = model.info.value()) {
            EXPECT_TRUE(isListed(info->url)) << info->url.path();
        }
    };
    // A removed file's entry goes in the background: only listed files are compared.
    const auto expectFresh = [&] {
        FileStateMap incremental = model.fileStates.value().map();
        std::erase_if(incremental, [&](const auto& entry) {
            return std::ranges::none_of(model.tracks.value(), [&](const Track& track) { return track.url == entry.first; });
        });
        controller->refreshFileStates();
        EXPECT_EQ(model.fileStates.value().map(), incremental);
    };
    for (const auto& [what, step] : steps) {
        SCOPED_TRACE(what);
        step();
        expectFresh();
        // Between a copy's arrival in the cache and its report reaching the main thread the
        // states lag by design: they are compared whenever nothing is on its way.
        while (actor.runOne() || threads.runOne() || mainThread.runOne() || background.runOne()) {
            if (actor.pendingCount() + threads.pendingCount() + mainThread.pendingCount() == 0)
                expectFresh();
        }
        for (const Track& track : model.tracks.value()) {
            if (!track.isRemote || cache->copy(track.url)) {
                EXPECT_TRUE(model.streamInfo.value().contains(track.url)) << track.url.path();
            }
        }
        expectRowsFresh();
    }
}

// A long playlist costs the reading of what is shown: rows are read as they come into view.
TEST_F(NetworkStates, OnlyTheRowsShownAndTheCurrentOneAreRead)
{
    std::vector<Track> tracks;
    for (int row = 0; row < 500; ++row)
        tracks.push_back(wholeFile("/m/" + std::to_string(row) + ".flac"));
    startWith(tracks);
    perform(ShowRowsCommand(0, 20));
    perform(PlayTrackCommand(300));
    settle();
    std::set<std::string> expected { "300.flac" };
    for (int row = 0; row < 20; ++row)
        expected.insert(std::to_string(row) + ".flac");
    const std::vector<std::string> reads = reader->streamReads();
    EXPECT_EQ(std::set(reads.begin(), reads.end()), expected);

    perform(ShowRowsCommand(480, 30)); // past the end: what there is
    settle();
    EXPECT_EQ(model.streamInfo.value().size(), 41u);
    EXPECT_TRUE(model.streamInfo.value().contains(url("/m/499.flac")));
}

TEST_F(NetworkStates, AFileListedTwiceHasOneStateAndIsReadOnce)
{
    // The whole-file row stands for the file until its cue tracks replace it.
    startWith({ wholeFile("/share/album.flac"), cueTrack("/share/album.flac", 0, 60, "One"),
        cueTrack("/share/album.flac", 60, std::nullopt, "Two") });
    settle();
    EXPECT_EQ(model.fileStates.value().size(), 1u);
    EXPECT_EQ(reader->streamReads(), std::vector<std::string>({ cache->copy(url("/share/album.flac"))->lastPathComponent() }));
    EXPECT_EQ(model.streamInfo.value().at(url("/share/album.flac")).duration, 600);
}

TEST_F(NetworkStates, ANetworkFileIsReadFromItsCopyOnceItArrives)
{
    startWith({ wholeFile("/share/x.flac") });
    EXPECT_TRUE(reader->streamReads().empty());
    settle();
    ASSERT_EQ(reader->streamReads().size(), 1u);
    EXPECT_EQ(reader->streamReads().front(), cache->copy(url("/share/x.flac"))->lastPathComponent());
    EXPECT_TRUE(model.streamInfo.value().contains(url("/share/x.flac")));
}

TEST_F(NetworkStates, AfterARemovalTheRemovedFilesAreNoLongerCopiedAhead)
{
    startWith({ wholeFile("/m/a.flac"), wholeFile("/share/x.flac"), wholeFile("/share/y.flac") });
    perform(PlayTrackCommand(0));
    perform(RemoveTracksCommand({ 1 }));
    settle();
    EXPECT_FALSE(cache->copy(url("/share/x.flac")));
    EXPECT_TRUE(cache->copy(url("/share/y.flac")));
    EXPECT_EQ(model.fileStates.value().size(), 1u); // y's; the local a needs none
}

TEST_F(Info, ACueTrackShowsItsOwnTitleArtistAndLength)
{
    startWith({ cueTrack("/m/Someone - album.flac", 60, 150, "Two") });
    perform(ShowInfoCommand(0));
    ASSERT_TRUE(model.info.value());
    EXPECT_TRUE(model.info.value()->isLoading);
    EXPECT_EQ(model.info.value()->title, QStringLiteral("Two"));
    settle();
    const TrackInfo& info = *model.info.value();
    EXPECT_FALSE(info.isLoading);
    EXPECT_EQ(info.title, QStringLiteral("Two"));
    EXPECT_EQ(info.artist, QStringLiteral("Band"));
    EXPECT_EQ(info.duration, 90);
}

TEST_F(Info, ALocalRowFillsInWhenReadUnlessClosedFirst)
{
    startWith({ wholeFile("/m/a.flac"), wholeFile("/m/b.flac") });
    settle();
    perform(ShowInfoCommand(0));
    EXPECT_EQ(*model.info.value(), TrackInfo::placeholder(url("/m/a.flac")));
    settle();
    EXPECT_EQ(model.info.value()->title, QStringLiteral("Tagged"));

    perform(ShowInfoCommand(1));
    perform(CloseInfoCommand());
    settle();
    EXPECT_FALSE(model.info.value());

    perform(ShowInfoCommand(7));
    EXPECT_FALSE(model.info.value());
}

TEST_F(Info, AnUncopiedNetworkRowShowsWhatTheRowKnowsAtOnce)
{
    startWith({ wholeFile("/m/a.flac"), wholeFile("/share/Artist - Song (1999).flac") });
    perform(ShowInfoCommand(0));
    perform(ShowInfoCommand(1)); // cancels the read of a
    ASSERT_TRUE(model.info.value());
    EXPECT_FALSE(model.info.value()->isLoading);
    EXPECT_EQ(model.info.value()->title, QStringLiteral("Song"));
    background.runAll();
    mainThread.runAll();
    EXPECT_EQ(model.info.value()->title, QStringLiteral("Song"));
}

TEST_F(NetworkStates, ASavedPlaylistListingATrackTwiceIsRestoredWithOneRow)
{
    startWith({ wholeFile("/share/a.flac"), wholeFile("/share/b.flac"), wholeFile("/share/a.flac") });
    EXPECT_EQ(model.tracks.value().size(), 2u);
    EXPECT_FALSE(model.currentIndex.value());
    EXPECT_EQ(model.fileStates.value().size(), 2u);
}

} // namespace
} // namespace lh::test

namespace lh::test {
namespace {

using PlayingTags = ControllerTest;

// Read in the background from what is played (a network file's copy), once per file however
// many of its cue tracks play, and announced once when they arrive.
TEST_F(PlayingTags, AreReadFromThePlayedFileOncePerFile)
{
    startWith({ cueTrack("/share/album.flac", 0, 60, "One"), cueTrack("/share/album.flac", 60, std::nullopt, "Two"), wholeFile("/m/b.flac") });
    settle();
    int changes = 0;
    const auto subscription = model.playingTags.subscribe([&](const std::optional<MediaTags>&) { ++changes; });
    perform(PlayTrackCommand(0));
    EXPECT_FALSE(model.playingTags.value()); // never read on the main thread
    settle();
    ASSERT_TRUE(model.playingTags.value());
    EXPECT_EQ(model.playingTags.value()->url, url("/share/album.flac"));
    EXPECT_EQ(model.playingTags.value()->title, QStringLiteral("Tagged"));
    ASSERT_TRUE(model.playingTags.value()->artFile);
    EXPECT_TRUE(model.playingTags.value()->artFile->path().starts_with(cache->folder().path()));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(model.playingTags.value()->artFile->path())));
    EXPECT_FALSE(model.playingTags.value()->artwork);
    EXPECT_EQ(reader->tagReads(), std::vector<std::string> { cache->copy(url("/share/album.flac"))->lastPathComponent() });

    perform(NextCommand());
    settle();
    EXPECT_EQ(reader->tagReads().size(), 1u);
    perform(NextCommand());
    EXPECT_FALSE(model.playingTags.value()); // the album's tags do not describe b.flac
    settle();
    EXPECT_EQ(reader->tagReads().back(), "b.flac");
    EXPECT_EQ(model.playingTags.value()->url, url("/m/b.flac"));
    EXPECT_EQ(changes, 4); // subscribing, the album, cleared, b.flac: nothing for the second cue track
}

} // namespace
} // namespace lh::test
