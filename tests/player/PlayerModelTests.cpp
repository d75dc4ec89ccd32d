#include "PlayerModel.h"

#include <gtest/gtest.h>

#include <limits>

namespace lh {
namespace {

std::vector<Track> withFile(std::vector<Track> tracks, const char* path)
{
    tracks.emplace_back().url = FileURL(path);
    return tracks;
}

template <class T>
std::vector<T> collect(const Publisher<T>& publisher, Subscriptions& keep)
{
    auto values = std::make_shared<std::vector<T>>();
    keep.push_back(publisher.sink([values](const T& value) { values->push_back(value); }));
    return *values;
}

TEST(PlayerModel, FreshModelPublishesItsStartingState)
{
    PlayerModel model;
    const PlayerState& state = model;
    Subscriptions keep;
    EXPECT_TRUE(collect(state.tracksPublisher(), keep).at(0).empty());
    EXPECT_EQ(collect(state.currentIndexPublisher(), keep).at(0), std::nullopt);
    EXPECT_EQ(collect(state.isPlayingPublisher(), keep).at(0), false);
    EXPECT_EQ(collect(state.isLoadingPublisher(), keep).at(0), false);
    EXPECT_EQ(collect(state.currentTimePublisher(), keep).at(0), 0.0);
    EXPECT_EQ(collect(state.durationPublisher(), keep).at(0), 0.0);
    EXPECT_EQ(collect(state.volumePublisher(), keep).at(0), 0.8f);
    EXPECT_EQ(collect(state.leftLevelPublisher(), keep).at(0), 0.0);
    EXPECT_EQ(collect(state.rightLevelPublisher(), keep).at(0), 0.0);
    EXPECT_EQ(collect(state.infoPublisher(), keep).at(0), std::nullopt);
    EXPECT_TRUE(collect(state.streamInfoPublisher(), keep).at(0).empty());
    EXPECT_TRUE(collect(state.fileStatesPublisher(), keep).at(0).empty());
    EXPECT_EQ(collect(state.isShuffledPublisher(), keep).at(0), false);
    EXPECT_EQ(collect(state.isRepeatingPublisher(), keep).at(0), true);
    EXPECT_EQ(collect(state.isDimmedPublisher(), keep).at(0), false);
    EXPECT_EQ(collect(state.sleepTimeRemainingPublisher(), keep).at(0), std::nullopt);
}

TEST(PlayerModel, EveryAssignmentNotifiesEvenWhenTheValueIsUnchanged)
{
    PlayerModel model;
    std::vector<bool> seen;
    Subscription subscription = model.isPlayingPublisher().sink([&](bool value) { seen.push_back(value); });
    model.isPlaying.set(false);
    EXPECT_EQ(seen, (std::vector<bool> { false, false }));
}

TEST(PlayerModel, SettingOneStreamInfoEntryDeliversTheWholeMapOnce)
{
    PlayerModel model;
    const FileURL a("/music/a.flac");
    const FileURL b("/music/b.flac");
    model.streamInfo.set(StreamInfoMap { { a, StreamInfo { 1.0, {}, {}, {} } } });
    std::vector<StreamInfoMap> seen;
    Subscription subscription = model.streamInfoPublisher().sink([&](const StreamInfoMap& map) { seen.push_back(map); });
    model.streamInfo.modify([&](StreamInfoMap& map) { map[b] = StreamInfo { 2.0, {}, {}, {} }; });
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].size(), 2u);
    EXPECT_EQ(seen[1].at(b).duration, 2.0);
}

TEST(PlayerModel, SubscriberReadingBackSeesThePreviousPlaylist)
{
    PlayerModel model;
    model.tracks.set(withFile({}, "/music/a.mp3"));
    std::vector<std::size_t> sizesReadBack;
    std::vector<std::size_t> sizesDelivered;
    Subscription subscription = model.tracksPublisher().sink([&](const TrackList& tracks) {
        sizesDelivered.push_back(tracks.size());
        sizesReadBack.push_back(model.tracks.value().size());
    });
    model.tracks.set(withFile(model.tracks.value().toVector(), "/music/b.mp3"));
    EXPECT_EQ(sizesDelivered, (std::vector<std::size_t> { 1, 2 }));
    EXPECT_EQ(sizesReadBack, (std::vector<std::size_t> { 1, 1 }));
}

// A playlist of a hundred thousand rows reaches every binding: they must share it, not copy it.
TEST(PlayerModel, SubscribersShareOnePlaylistAndAChangeLeavesTheOldOneIntact)
{
    PlayerModel model;
    model.tracks.set(withFile({}, "/music/a.mp3"));
    std::vector<TrackList> delivered;
    Subscription first = model.tracksPublisher().sink([&](const TrackList& tracks) { delivered.push_back(tracks); });
    Subscription second = model.tracksPublisher().sink([&](const TrackList& tracks) { delivered.push_back(tracks); });
    ASSERT_EQ(delivered.size(), 2u);
    EXPECT_TRUE(delivered[0].isSameAs(delivered[1]));
    EXPECT_TRUE(delivered[0].isSameAs(model.tracks.value()));

    model.tracks.set(withFile(model.tracks.value().toVector(), "/music/b.mp3"));
    ASSERT_EQ(delivered.size(), 4u);
    EXPECT_EQ(delivered[0].size(), 1u);
    EXPECT_EQ(delivered[2].size(), 2u);
    EXPECT_TRUE(delivered[2].isSameAs(model.tracks.value()));
}

} // namespace
} // namespace lh
