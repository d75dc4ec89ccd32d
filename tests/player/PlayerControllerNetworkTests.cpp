#include "ControllerFixture.h"

#include <QFile>

#include <gtest/gtest.h>

namespace lh::test {
namespace {

using NetworkStates = ControllerTest;
using Info = ControllerTest;

TEST_F(NetworkStates, EachFileShowsWhetherItIsLocalCachedWaitingOrBeingCopied)
{
    putInCache("/share/cached.flac");
    startWith({ wholeFile("/m/a.flac"), wholeFile("/share/cached.flac"), wholeFile("/share/new.flac") });
    EXPECT_EQ(model.fileStates.value(),
        (FileStateMap { { url("/m/a.flac"), FileState::local }, { url("/share/cached.flac"), FileState::cached },
            { url("/share/new.flac"), FileState::waiting } }));

    std::vector<FileState> seen;
    const auto subscription = model.fileStates.subscribe([&](const FileStateMap& states) { seen.push_back(states.at(url("/share/new.flac"))); });
    settle();
    EXPECT_EQ(seen, std::vector<FileState>({ FileState::waiting, FileState::copying, FileState::cached }));

    controller->refreshFileStates(); // nothing changed: nothing announced
    EXPECT_EQ(seen.size(), 3u);
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
    EXPECT_EQ(reader->streamReads.size(), 3u);
}

TEST_F(NetworkStates, AFileListedTwiceHasOneStateAndIsReadOnce)
{
    // The whole-file row stands for the file until its cue tracks replace it.
    startWith({ wholeFile("/m/album.flac"), cueTrack("/m/album.flac", 0, 60, "One"), cueTrack("/m/album.flac", 60, std::nullopt, "Two") });
    settle();
    EXPECT_EQ(model.fileStates.value().size(), 1u);
    EXPECT_EQ(reader->streamReads, std::vector<std::string>({ "album.flac" }));
    EXPECT_EQ(model.streamInfo.value().at(url("/m/album.flac")).duration, 600);
}

TEST_F(NetworkStates, ANetworkFileIsReadFromItsCopyOnceItArrives)
{
    startWith({ wholeFile("/share/x.flac") });
    EXPECT_TRUE(reader->streamReads.empty());
    settle();
    ASSERT_EQ(reader->streamReads.size(), 1u);
    EXPECT_EQ(reader->streamReads.front(), cache->copy(url("/share/x.flac"))->lastPathComponent());
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
    EXPECT_EQ(model.fileStates.value().size(), 2u);
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
    startWith({ wholeFile("/m/a.flac"), wholeFile("/m/b.flac"), wholeFile("/m/a.flac") });
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
    EXPECT_EQ(reader->tagReads, std::vector<std::string> { cache->copy(url("/share/album.flac"))->lastPathComponent() });

    perform(NextCommand());
    settle();
    EXPECT_EQ(reader->tagReads.size(), 1u);
    perform(NextCommand());
    EXPECT_FALSE(model.playingTags.value()); // the album's tags do not describe b.flac
    settle();
    EXPECT_EQ(reader->tagReads.back(), "b.flac");
    EXPECT_EQ(model.playingTags.value()->url, url("/m/b.flac"));
    EXPECT_EQ(changes, 4); // subscribing, the album, cleared, b.flac: nothing for the second cue track
}

} // namespace
} // namespace lh::test
