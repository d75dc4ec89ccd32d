#include "Playlist.h"

#include <gtest/gtest.h>

namespace lh {
namespace {

Track whole(const char* path, bool isRemote = false)
{
    return Track { FileURL(path), 0, std::nullopt, std::nullopt, std::nullopt, std::nullopt, isRemote, false };
}

Track cue(const char* path, double start, const char* title = "T", bool isRemote = false)
{
    return Track { FileURL(path), start, std::nullopt, QString(title), QString("P"), std::nullopt, isRemote, false };
}

std::vector<std::string> paths(const std::vector<Track>& tracks)
{
    std::vector<std::string> out;
    for (const Track& t : tracks)
        out.push_back(t.url.path() + "@" + std::to_string(static_cast<int>(t.start)));
    return out;
}

TEST(PlaylistNewTracks, TheSameWholeFileTwiceInOneBatchIsAddedOnce)
{
    EXPECT_EQ(Playlist::newTracks({ whole("/a"), whole("/a") }, {}), std::vector<Track>({ whole("/a") }));
}

TEST(PlaylistNewTracks, ACueTrackIsTheSameEntryWhenFileAndStartMatchWhateverItsTitle)
{
    const std::vector<Track> existing { cue("/a", 0, "One"), cue("/a", 60, "Two") };
    const auto added = Playlist::newTracks({ cue("/a", 0, "Renamed"), cue("/a", 90, "Three") }, existing);
    EXPECT_EQ(paths(added), std::vector<std::string>({ "/a@90" }));
}

TEST(PlaylistNewTracks, AWholeFileIsRefusedWhenItsFileIsPresentInAnyForm)
{
    EXPECT_TRUE(Playlist::newTracks({ whole("/a") }, { whole("/a") }).empty());
    EXPECT_TRUE(Playlist::newTracks({ whole("/a") }, { cue("/a", 120) }).empty());
    EXPECT_TRUE(Playlist::newTracks({ cue("/a", 0), whole("/a") }, {}).size() == 1);
}

TEST(PlaylistNewTracks, CueTracksOfAFilePresentAsAWholeFileAreAdded)
{
    EXPECT_EQ(Playlist::newTracks({ cue("/a", 0), cue("/a", 60) }, { whole("/a") }).size(), 2u);
    const auto batch = Playlist::newTracks({ whole("/a"), cue("/a", 0), cue("/a", 60) }, {});
    EXPECT_EQ(batch.size(), 3u);
    EXPECT_EQ(Playlist::wholeFiles(batch, batch), std::vector<std::size_t>({ 0 }));
}

TEST(PlaylistNewTracks, KeepsInputOrderAndTellsNegativeZeroFromNothing)
{
    const auto added = Playlist::newTracks({ cue("/b", 0), cue("/a", -0.0), cue("/a", 0.0), whole("/c") }, {});
    EXPECT_EQ(paths(added), std::vector<std::string>({ "/b@0", "/a@0", "/c@0" }));
    EXPECT_TRUE(Playlist::newTracks({ cue("/x", 0.0) }, { cue("/x", -0.0) }).empty()) << "0.0 and -0.0 are one key";
}

TEST(PlaylistNewTracks, AWholeFileAndACueTrackAtZeroAreDifferentKeys)
{
    EXPECT_EQ(Playlist::newTracks({ cue("/a", 0) }, { whole("/a") }).size(), 1u);
}

TEST(PlaylistWholeFiles, ReturnsAscendingRowsOfWholeFilesTheAddedCueTracksCover)
{
    const std::vector<Track> playlist { whole("/a"), cue("/a", 0), whole("/b"), whole("/c"), cue("/c", 0) };
    EXPECT_EQ(Playlist::wholeFiles(playlist, { cue("/c", 0), cue("/a", 0) }), std::vector<std::size_t>({ 0, 3 }));
    EXPECT_TRUE(Playlist::wholeFiles(playlist, { whole("/a"), whole("/c") }).empty());
    EXPECT_TRUE(Playlist::wholeFiles(playlist, {}).empty());
}

struct CandidatesCase {
    Playlist::Index from;
    Playlist::Index step;
    bool wraps;
    std::vector<std::string> expected;
};

class PlaylistCandidates : public ::testing::TestWithParam<CandidatesCase> {};

TEST_P(PlaylistCandidates, WalkInTheGivenOrder)
{
    const std::vector<Track> tracks { whole("/0"), whole("/1"), whole("/2"), whole("/3") };
    std::vector<std::string> names;
    for (const Track& t : Playlist::candidates(tracks, GetParam().from, GetParam().step, GetParam().wraps))
        names.push_back(t.url.path().substr(1));
    EXPECT_EQ(names, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Playlist, PlaylistCandidates,
    ::testing::Values(
        CandidatesCase { 2, +1, true, { "2", "3", "0", "1" } },
        CandidatesCase { 2, -1, true, { "2", "1", "0", "3" } },
        CandidatesCase { 2, -1, false, { "2", "1", "0" } },
        CandidatesCase { 2, +1, false, { "2", "3" } },
        CandidatesCase { 3, +1, false, { "3" } },
        CandidatesCase { 3, +1, true, { "3", "0", "1", "2" } },
        CandidatesCase { 0, -1, false, { "0" } },
        CandidatesCase { 4, +1, false, {} }));

TEST(PlaylistCandidatesEmpty, AnEmptyPlaylistHasNothingToTry)
{
    EXPECT_TRUE(Playlist::candidates({}, 0, +1, true).empty());
    EXPECT_TRUE(Playlist::candidates({}, 0, -1, false).empty());
}

TEST(PlaylistRemoteFiles, CurrentFirstThenFollowingWrappingEachFileOnce)
{
    const std::vector<Track> tracks {
        whole("/local"), cue("/net/x", 0, "1", true), cue("/net/x", 60, "2", true), whole("/net/y", true), whole("/net/z", true)
    };
    EXPECT_EQ(Playlist::remoteFiles(tracks, 3), std::vector<FileURL>({ FileURL("/net/y"), FileURL("/net/z"), FileURL("/net/x") }));
    EXPECT_EQ(Playlist::remoteFiles(tracks, 2), std::vector<FileURL>({ FileURL("/net/x"), FileURL("/net/y"), FileURL("/net/z") }));
    EXPECT_EQ(Playlist::remoteFiles(tracks, std::nullopt).front(), FileURL("/net/x")) << "no current row starts at 0";
}

TEST(PlaylistRemoteFiles, NothingWhenEveryTrackIsLocalOrThePlaylistIsEmpty)
{
    EXPECT_TRUE(Playlist::remoteFiles({ whole("/a"), cue("/b", 0) }, 0).empty());
    EXPECT_TRUE(Playlist::remoteFiles({}, std::nullopt).empty());
}

} // namespace
} // namespace lh
