#include "PlaylistSort.h"

#include <gtest/gtest.h>

#include <map>

namespace lh {
namespace {

using PlaylistSort::Order;

Track file(const std::string& path)
{
    Track track;
    track.url = FileURL(path);
    return track;
}

Track cue(const std::string& path, const char* title, double start)
{
    Track track = file(path);
    track.title = QString::fromUtf8(title);
    track.start = start;
    return track;
}

std::vector<std::string> names(const std::vector<Track>& tracks, const std::vector<std::size_t>& order)
{
    std::vector<std::string> result;
    for (const std::size_t row : order)
        result.push_back(tracks[row].title ? tracks[row].title->toStdString() : tracks[row].url.lastPathComponent());
    return result;
}

// The tags the player knows: only "b.flac" has a track number in them.
std::optional<int> knownNumber(const Track& track)
{
    return track.url.lastPathComponent() == "b.flac" ? std::optional(2) : std::nullopt;
}

TEST(PlaylistSort, EachOrderOverTheWholeListOrOnlyTheChosenRowsAmongTheirPlaces)
{
    const std::vector<Track> tracks {
        file("/m/Zed/10 Song.flac"), // 0
        file("/m/alpha/2 Song.flac"), // 1
        file("/m/Beta/b.flac"), // 2
        file("/m/Beta/01 Intro.mp3"), // 3
        file("/m/Éclair/notes.flac"), // 4
    };
    const struct {
        Order order;
        std::vector<std::size_t> rows;
        std::vector<std::string> expected;
    } cases[] = {
        // Numbers in names as a file manager orders them, case and accents aside.
        { Order::byName, {}, { "01 Intro.mp3", "2 Song.flac", "10 Song.flac", "b.flac", "notes.flac" } },
        { Order::byFilePath, {}, { "2 Song.flac", "01 Intro.mp3", "b.flac", "notes.flac", "10 Song.flac" } },
        // Tags first, then the name's number; rows with neither last, in their order.
        { Order::byTrackNumber, {}, { "01 Intro.mp3", "2 Song.flac", "b.flac", "10 Song.flac", "notes.flac" } },
        { Order::reversed, {}, { "notes.flac", "01 Intro.mp3", "b.flac", "2 Song.flac", "10 Song.flac" } },
        { Order::reversed, { 1, 3 }, { "10 Song.flac", "01 Intro.mp3", "b.flac", "2 Song.flac", "notes.flac" } },
        { Order::byName, { 0, 1, 4 }, { "2 Song.flac", "10 Song.flac", "b.flac", "01 Intro.mp3", "notes.flac" } },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(names(tracks, PlaylistSort::permutation(tracks, c.order, c.rows, knownNumber, {})), c.expected)
            << "order " << int(c.order) << " over " << c.rows.size() << " rows";
    }
}

TEST(PlaylistSort, AnImagesCueTracksKeepTheirOrderAmongThemselvesByTrackNumber)
{
    const std::vector<Track> tracks { file("/m/3 c.flac"), cue("/m/CDImage.flac", "One", 0), cue("/m/CDImage.flac", "Two", 60),
        file("/m/1 a.flac") };
    EXPECT_EQ(names(tracks, PlaylistSort::permutation(tracks, Order::byTrackNumber, {}, {}, {})),
        (std::vector<std::string> { "1 a.flac", "3 c.flac", "One", "Two" }));
}

TEST(PlaylistSort, ShuffleIsAPermutationOfTheChosenRowsOnly)
{
    std::vector<Track> tracks;
    for (int i = 0; i < 50; ++i)
        tracks.push_back(file("/m/" + std::to_string(i) + ".flac"));
    std::vector<std::size_t> rows;
    for (std::size_t row = 10; row < 40; row += 3)
        rows.push_back(row);
    const auto order = PlaylistSort::permutation(tracks, Order::shuffled, rows, {}, [](std::int64_t lower, std::int64_t) { return lower; });
    std::map<std::size_t, int> seen;
    for (std::size_t i = 0; i < order.size(); ++i) {
        ++seen[order[i]];
        if (std::find(rows.begin(), rows.end(), i) == rows.end())
            EXPECT_EQ(order[i], i) << "a row that was not chosen moved";
        else
            EXPECT_NE(std::find(rows.begin(), rows.end(), order[i]), rows.end());
    }
    EXPECT_EQ(seen.size(), tracks.size());
    EXPECT_NE(order[rows.front()], rows.front()) << "nothing was shuffled";
}

} // namespace
} // namespace lh
