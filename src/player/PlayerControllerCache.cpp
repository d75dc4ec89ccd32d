// The restored rows' durations as the metadata cache knew them: looked up in the background
// without touching any file, so rows on a share that is away show theirs too.
#include "PlayerController.h"

#include <algorithm>
#include <utility>

namespace lh {
namespace {

// Lookups per background job: a few milliseconds, after which stream reads waiting behind the
// lookups get their turn.
constexpr std::size_t lookupsPerJob = 4096;

} // namespace

struct PlayerController::DurationLookup {
    TrackList tracks;
    std::shared_ptr<MetadataCache> cache;
    Executor& background;
    std::shared_ptr<Executor> mainThread;
    Weak controller;
    std::size_t firstShown;
    std::size_t shownEnd;
    std::size_t next = 0; // the next row of the pass over all of them
    DurationMap found;

    // Rows [first, end) in one go.
    void lookUp(std::size_t first, std::size_t end)
    {
        std::vector<const FileURL*> urls;
        std::vector<std::string> paths;
        for (std::size_t row = first; row < end; ++row) {
            const FileURL& url = tracks[row].url;
            if (found.contains(url))
                continue;
            urls.push_back(&url);
            paths.push_back(url.path());
        }
        const auto durations = cache->knownDurations(paths);
        for (std::size_t index = 0; index < urls.size(); ++index) {
            if (durations[index])
                found.emplace(*urls[index], float(*durations[index]));
        }
    }

    void deliver(DurationMap durations) const
    {
        mainThread->execute([weak = controller, durations = std::move(durations)]() mutable {
            if (auto alive = weak.lock())
                (*alive)->receiveKnownDurations(std::move(durations));
        });
    }
};

// Looked up once the database is open: until then every lookup would miss.
void PlayerController::lookUpKnownDurations()
{
    const auto& cache = environment_.metadataCache;
    if (!cache || model_.tracks.value().empty())
        return;
    cache->afterOpening([weak = Weak(self_), mainThread = mainThread_] {
        mainThread->execute([weak] {
            if (auto alive = weak.lock())
                (*alive)->startDurationLookup();
        });
    });
}

void PlayerController::startDurationLookup()
{
    const TrackList& tracks = model_.tracks.value();
    const std::size_t first = std::min(std::size_t(firstShownRow_), tracks.size());
    auto lookup = std::make_shared<DurationLookup>(DurationLookup { tracks, environment_.metadataCache, background_,
        mainThread_, Weak(self_), first, std::min(tracks.size(), first + std::size_t(shownRowCount_)), 0, {} });
    background_.execute([lookup] {
        // The rows in view first, shown on their own, then all of them.
        lookup->lookUp(lookup->firstShown, lookup->shownEnd);
        lookup->deliver(lookup->found);
        lookUpDurations(lookup);
    });
}

void PlayerController::lookUpDurations(std::shared_ptr<DurationLookup> lookup)
{
    const std::size_t end = std::min(lookup->tracks.size(), lookup->next + lookupsPerJob);
    lookup->lookUp(lookup->next, end);
    lookup->next = end;
    if (lookup->next == lookup->tracks.size()) {
        lookup->deliver(std::move(lookup->found));
        return;
    }
    Executor& background = lookup->background;
    background.execute([lookup = std::move(lookup)]() mutable { lookUpDurations(std::move(lookup)); });
}

// Set whole: an edit of a million entries would copy them all on the main thread.
void PlayerController::receiveKnownDurations(DurationMap durations)
{
    SharedDurations previous = model_.knownDurations.value();
    model_.knownDurations.set(SharedDurations(std::move(durations)));
    freeOn(background_, std::move(previous));
}

} // namespace lh
