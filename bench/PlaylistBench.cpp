#include "Playlist.h"

#include <set>

#include <benchmark/benchmark.h>

namespace {

std::vector<lh::Track> makeTracks(std::int64_t count, const char* folder)
{
    std::vector<lh::Track> tracks;
    tracks.reserve(static_cast<std::size_t>(count));
    for (std::int64_t i = 0; i < count; ++i) {
        lh::Track track;
        track.url = lh::FileURL(std::string(folder) + "/Artist " + std::to_string(i % 500) + "/Album/" + std::to_string(i) + ".flac");
        if (i % 4 == 0) { // every fourth a cue track
            track.start = static_cast<double>(i % 13) * 60.0;
            track.title = QStringLiteral("Track %1").arg(i);
        }
        tracks.push_back(std::move(track));
    }
    return tracks;
}

// Adding N new tracks to an N-track playlist; reported per added track, so a linear
// implementation shows the same figure at every size.
void newTracksIntoPlaylistOfSameSize(benchmark::State& state)
{
    const auto existing = makeTracks(state.range(0), "/mnt/nas/old");
    const auto added = makeTracks(state.range(0), "/mnt/nas/new");
    for (auto _ : state)
        benchmark::DoNotOptimize(lh::Playlist::newTracks(added, existing));
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.counters["ns_per_track"] = benchmark::Counter(static_cast<double>(state.range(0)),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(newTracksIntoPlaylistOfSameSize)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

void remoteFilesOfALargePlaylist(benchmark::State& state)
{
    auto tracks = makeTracks(state.range(0), "/mnt/nas");
    for (std::size_t i = 0; i < tracks.size(); i += 2)
        tracks[i].isRemote = true;
    for (auto _ : state)
        benchmark::DoNotOptimize(lh::Playlist::remoteFiles(tracks, state.range(0) / 2));
}
BENCHMARK(remoteFilesOfALargePlaylist)->Arg(100'000)->Unit(benchmark::kMillisecond);

} // namespace

// The row list's own part of the edits at a million rows: appending one row or 10,000, and
// removing one row or every 200th.
void editsOfAMillionRows(benchmark::State& state)
{
    const lh::TrackList tracks = makeTracks(1'000'000, "/home/me/Music");
    const auto added = makeTracks(state.range(0) == 1 ? 10'000 : 1, "/home/me/New");
    std::set<std::int64_t> rows;
    for (std::int64_t row = 1; row < (state.range(0) == 2 ? 2 : 1'000'000); row += 200)
        rows.insert(row);
    for (auto _ : state) {
        const bool isAdd = state.range(0) < 2;
        benchmark::DoNotOptimize(isAdd ? tracks.appending(added) : tracks.removing(rows));
    }
}
BENCHMARK(editsOfAMillionRows)->ArgName("edit")->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
