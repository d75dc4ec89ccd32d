#include "TrackList.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace lh {
namespace {

// Every fifth row on a share, so that some leaves hold network rows and others none.
std::vector<Track> rows(int first, int count)
{
    std::vector<Track> tracks;
    for (int row = first; row < first + count; ++row) {
        Track& track = tracks.emplace_back();
        track.url = FileURL("/m/" + std::to_string(row) + ".flac");
        track.isRemote = row % 5 == 0;
    }
    return tracks;
}

std::set<std::int64_t> every(std::int64_t step, std::int64_t from, std::int64_t to)
{
    std::set<std::int64_t> picked;
    for (std::int64_t row = from; row < to; row += step)
        picked.insert(row);
    return picked;
}

// One edit, made to the shared list and to a plain vector alike.
struct Edit {
    const char* what;
    std::function<TrackList(const TrackList&)> shared;
    std::function<void(std::vector<Track>&)> plain;
};

Edit removal(const char* what, std::function<std::set<std::int64_t>(std::int64_t size)> pick)
{
    return { what, [=](const TrackList& list) { return list.removing(pick(std::int64_t(list.size()))); },
        [=](std::vector<Track>& tracks) {
            const auto picked = pick(std::int64_t(tracks.size()));
            for (auto row = picked.rbegin(); row != picked.rend(); ++row)
                tracks.erase(tracks.begin() + *row);
        } };
}

Edit appending(const char* what, int first, int count)
{
    return { what, [=](const TrackList& list) { return list.appending(rows(first, count)); },
        [=](std::vector<Track>& tracks) {
            const auto added = rows(first, count);
            tracks.insert(tracks.end(), added.begin(), added.end());
        } };
}

// What a walk over the plain rows finds: each network row from `first` on, then from the start.
std::vector<std::size_t> remoteRows(const std::vector<Track>& tracks, std::size_t first)
{
    std::vector<std::size_t> found;
    for (std::size_t k = 0; k < tracks.size(); ++k) {
        const std::size_t row = (first + k) % tracks.size();
        if (tracks[row].isRemote)
            found.push_back(row);
    }
    return found;
}

// After each edit of a long chain, the shared list reads as the plain one worked out afresh:
// row by row, at sets of rows, by iteration from any row, and in its walks over the network rows.
TEST(TrackList, EachEditReadsAsTheSameEditOfAPlainList)
{
    const std::vector<Edit> edits = {
        appending("fill", 0, 300),
        appending("append one", 300, 1),
        appending("append one more", 301, 1),
        removal("remove the first", [](auto) { return std::set<std::int64_t> { 0 }; }),
        removal("remove the last", [](auto size) { return std::set<std::int64_t> { size - 1 }; }),
        removal("remove every seventh", [](auto size) { return every(7, 3, size); }),
        removal("remove a run", [](auto) { return every(1, 40, 90); }),
        appending("append many", 1000, 100),
        removal("remove one in each leaf", [](auto size) { return every(TrackList::leafCapacity, 5, size); }),
        // Leaves shared without some of their rows, then edited again: rows on both sides of a
        // gap, ranges that start or end inside one, and leaves that fall below half and merge.
        removal("remove another in each leaf", [](auto size) { return every(TrackList::leafCapacity - 1, 2, size); }),
        removal("remove two more in each leaf", [](auto size) { return every(7, 0, size); }),
        { "splice ranges of gapped leaves",
            [](const TrackList& list) {
                TrackList::Builder builder;
                builder.append(list, 3, 9);
                builder.append(list, 9, 30);
                builder.append(list, 1, 2);
                builder.append(list, 31, list.size());
                return std::move(builder).finish();
            },
            [](std::vector<Track>& tracks) {
                std::vector<Track> spliced(tracks.begin() + 3, tracks.begin() + 30);
                spliced.push_back(tracks[1]);
                spliced.insert(spliced.end(), tracks.begin() + 31, tracks.end());
                tracks = spliced;
            } },
        removal("remove until leaves merge", [](auto size) { return every(3, 1, size); }),
        { "splice runs and new rows",
            [](const TrackList& list) {
                TrackList::Builder builder;
                builder.append(list, 10, 60);
                builder.append(rows(2000, 3));
                builder.append(list, 0, 10);
                builder.append(list, 60, list.size());
                return std::move(builder).finish();
            },
            [](std::vector<Track>& tracks) {
                std::vector<Track> spliced(tracks.begin() + 10, tracks.begin() + 60);
                const auto added = rows(2000, 3);
                spliced.insert(spliced.end(), added.begin(), added.end());
                spliced.insert(spliced.end(), tracks.begin(), tracks.begin() + 10);
                spliced.insert(spliced.end(), tracks.begin() + 60, tracks.end());
                tracks = spliced;
            } },
        removal("remove all but one", [](auto size) { return every(1, 1, size); }),
        removal("remove the rest", [](auto) { return std::set<std::int64_t> { 0 }; }),
        appending("append to nothing", 3000, 20),
    };
    TrackList list;
    std::vector<Track> plain;
    for (const Edit& edit : edits) {
        SCOPED_TRACE(edit.what);
        const TrackList before = list;
        const std::vector<Track> plainBefore = plain;
        list = edit.shared(list);
        edit.plain(plain);
        EXPECT_EQ(before, plainBefore); // the old list is left as it was

        ASSERT_EQ(list.size(), plain.size());
        EXPECT_EQ(list.toVector(), plain);
        for (const auto& rows : { every(1, 0, std::int64_t(plain.size())), every(3, 2, std::int64_t(plain.size())), every(40, 7, std::int64_t(plain.size())) }) {
            std::vector<std::size_t> visited;
            list.forEachAt(rows, [&](std::size_t row, const Track& track) {
                EXPECT_EQ(track, plain[row]);
                visited.push_back(row);
            });
            EXPECT_EQ(visited, std::vector<std::size_t>(rows.begin(), rows.end()));
        }
        for (std::size_t row = 0; row < plain.size(); ++row) {
            ASSERT_EQ(list[row], plain[row]) << row;
            ASSERT_EQ(std::vector<Track>(list.from(row), list.end()), std::vector<Track>(plain.begin() + std::ptrdiff_t(row), plain.end()));
            std::vector<std::size_t> walked;
            list.forEachRemote(row, [&](std::size_t found, const Track& track) {
                EXPECT_EQ(track, plain[found]);
                walked.push_back(found);
            });
            ASSERT_EQ(walked, remoteRows(plain, row)) << row;
        }
    }
}

} // namespace
} // namespace lh
