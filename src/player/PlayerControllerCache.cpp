// What the metadata cache knew of the rows' files: their durations, and their tag names while
// the user asks for tag titles. Looked up in the background without touching any file, so rows
// on a share that is away show theirs too: the restored rows at launch, rows added later as
// they come.
#include "PlayerController.h"

#include <algorithm>
#include <utility>

namespace lh {
namespace {

// Lookups per background job: a few milliseconds, after which stream reads waiting behind the
// lookups get their turn.
constexpr std::size_t lookupsPerJob = 4096;

} // namespace

// What the lookups found so far, as the model has it. Touched only by jobs on the background
// executor, which runs one at a time: passes that overlap (a launch's and a drop's) each add
// to what the other delivered instead of replacing it.
struct PlayerController::CacheLookups {
    std::shared_ptr<MetadataCache> cache;
    std::shared_ptr<Executor> mainThread;
    Weak controller;
    SharedDurations durations;
    SharedValue<TagNames::Map> names;
};

// One pass over rows [first, end) of `tracks`, the rows in view among them first.
struct PlayerController::CachePass {
    std::shared_ptr<CacheLookups> lookups;
    Executor& background;
    TrackList tracks;
    std::size_t first;
    std::size_t end;
    std::size_t shownFirst;
    std::size_t shownEnd;
    bool withNames;
    std::size_t next = 0; // the next row of the pass over all of them
    DurationMap durations;
    TagNames::Map names;

    // Rows [from, to) in one go.
    void lookUp(std::size_t from, std::size_t to)
    {
        std::vector<const FileURL*> urls;
        std::vector<std::string> paths;
        for (std::size_t row = from; row < to; ++row) {
            const FileURL& url = tracks[row].url;
            if (durations.contains(url) || (withNames && names.contains(url))
                || (!urls.empty() && *urls.back() == url)) // the cue tracks of one file follow each other
                continue;
            urls.push_back(&url);
            paths.push_back(url.path());
        }
        if (withNames)
            return lookUpListings(urls, paths);
        const auto found = lookups->cache->knownDurations(paths);
        for (std::size_t index = 0; index < urls.size(); ++index) {
            if (found[index])
                durations.emplace(*urls[index], float(*found[index]));
        }
    }

    void lookUpListings(const std::vector<const FileURL*>& urls, const std::vector<std::string>& paths)
    {
        const auto found = lookups->cache->knownListings(paths);
        for (std::size_t index = 0; index < urls.size(); ++index) {
            if (!found[index])
                continue;
            if (const auto& stream = found[index]->stream; stream && stream->duration)
                durations.emplace(*urls[index], float(*stream->duration));
            if (const auto& tags = found[index]->tags) {
                if (auto name = TagNames::of(*tags))
                    names.emplace(*urls[index], std::move(name));
            }
        }
    }

    // Adds what was found to what the model has and hands the whole to the main thread.
    void deliver()
    {
        if (durations.empty() && names.empty())
            return;
        lookups->durations = merged(lookups->durations, std::move(durations));
        durations = {};
        if (withNames) {
            lookups->names = merged(lookups->names, std::move(names));
            names = {};
        }
        lookups->mainThread->execute([weak = lookups->controller, durations = lookups->durations,
                                         names = withNames ? std::optional(lookups->names) : std::nullopt] {
            if (auto alive = weak.lock())
                (*alive)->receiveKnown(durations, names);
        });
    }

    template <class Map>
    static SharedValue<Map> merged(const SharedValue<Map>& before, Map found)
    {
        if (found.empty())
            return before;
        if (before.empty())
            return SharedValue<Map>(std::move(found));
        return before.modified([&found](Map& all) { all.merge(found); });
    }
};

// Once the database is open: until then every lookup would miss.
void PlayerController::lookUpKnownFacts()
{
    const auto& cache = environment_.metadataCache;
    if (!cache)
        return;
    cache->afterOpening([weak = Weak(self_), mainThread = mainThread_] {
        mainThread->execute([weak] {
            auto alive = weak.lock();
            if (!alive)
                return;
            PlayerController& controller = **alive;
            controller.lookUpKnown(0, controller.model_.tracks.value().size(), controller.model_.showsTagTitles.value());
            controller.fillCache(0);
        });
    });
}

// The filler starts once the launch's lookups are queued: the rows' known durations come first.
void PlayerController::fillCache(std::size_t first)
{
    const auto& cache = environment_.metadataCache;
    if (!cache || !environment_.fillsMetadataCache || cache->state() == MetadataCache::State::opening)
        return;
    if (!filler_) {
        CacheFiller::Options options;
        options.onLearned = [weak = Weak(self_), mainThread = mainThread_](std::vector<CacheFiller::Learned> learned) {
            mainThread->execute([weak, learned = std::move(learned)]() mutable {
                if (auto alive = weak.lock())
                    (*alive)->receiveLearned(std::move(learned));
            });
        };
        filler_ = std::make_unique<CacheFiller>(metadata_.infoReader(), cache, std::move(options));
        holdFillerWhileCopying();
    }
    filler_->fill(model_.tracks.value(), first);
}

// What the filler read joins what the lookups found, as if the cache had known it all along.
void PlayerController::receiveLearned(std::vector<CacheFiller::Learned> learned)
{
    if (!cacheLookups_)
        cacheLookups_ = std::make_shared<CacheLookups>(CacheLookups { environment_.metadataCache, mainThread_, Weak(self_), {}, {} });
    auto pass = std::make_shared<CachePass>(
        CachePass { cacheLookups_, background_, {}, 0, 0, 0, 0, model_.showsTagTitles.value(), 0, {}, {} });
    for (CacheFiller::Learned& file : learned) {
        if (file.duration)
            pass->durations.emplace(file.url, float(*file.duration));
        if (file.tags && pass->withNames) {
            if (auto name = TagNames::of(*file.tags))
                pass->names.emplace(file.url, std::move(name));
        }
    }
    background_.execute([pass] { pass->deliver(); });
}

void PlayerController::holdFillerWhileCopying()
{
    if (!filler_)
        return;
    const bool isCopying = std::any_of(downloadStates_.begin(), downloadStates_.end(),
        [](const auto& entry) { return entry.second == DownloadState::copying; });
    filler_->setHeld(isCopying || model_.isLoading.value());
}

// Rows [first, end) as the metadata cache knows them: all of them at launch, then those added.
void PlayerController::lookUpKnown(std::size_t first, std::size_t end, bool withNames)
{
    const auto& cache = environment_.metadataCache;
    const TrackList& tracks = model_.tracks.value();
    end = std::min(end, tracks.size());
    if (!cache || first >= end)
        return;
    if (!cacheLookups_)
        cacheLookups_ = std::make_shared<CacheLookups>(CacheLookups { cache, mainThread_, Weak(self_), {}, {} });
    const std::size_t shownFirst = std::clamp(std::size_t(std::max<std::int64_t>(0, firstShownRow_)), first, end);
    const std::size_t shownEnd = std::min(end, shownFirst + std::size_t(std::max<std::int64_t>(0, shownRowCount_)));
    auto pass = std::make_shared<CachePass>(
        CachePass { cacheLookups_, background_, tracks, first, end, shownFirst, shownEnd, withNames, first, {}, {} });
    background_.execute([pass] {
        // The rows in view first, shown on their own, then all of them.
        pass->lookUp(pass->shownFirst, pass->shownEnd);
        pass->deliver();
        lookUpRows(pass);
    });
}

void PlayerController::lookUpRows(std::shared_ptr<CachePass> pass)
{
    const std::size_t end = std::min(pass->end, pass->next + lookupsPerJob);
    pass->lookUp(pass->next, end);
    pass->next = end;
    if (pass->next == pass->end) {
        pass->deliver();
        return;
    }
    Executor& background = pass->background;
    background.execute([pass = std::move(pass)]() mutable { lookUpRows(std::move(pass)); });
}

// Set whole: an edit of a million entries would copy them all on the main thread.
void PlayerController::receiveKnown(SharedDurations durations, std::optional<SharedValue<TagNames::Map>> names)
{
    SharedDurations previous = model_.knownDurations.value();
    model_.knownDurations.set(std::move(durations));
    freeOn(background_, std::move(previous));
    if (names && model_.showsTagTitles.value())
        model_.tagNames.set(TagNames { std::move(*names), model_.tagNames.value().read });
}

// Off, the names go; on, the cache's are looked up for every row and reads bring theirs.
void PlayerController::startTagNames(bool shows)
{
    TagNames previous = model_.tagNames.value();
    model_.tagNames.set({});
    freeOn(background_, std::move(previous));
    arrivedTagNames_.clear();
    if (cacheLookups_) {
        // What a later pass delivers starts afresh.
        background_.execute([lookups = cacheLookups_] { lookups->names = {}; });
    }
    if (shows)
        lookUpKnown(0, model_.tracks.value().size(), true);
}

void PlayerController::receiveTags(const MediaTags& tags)
{
    if (!model_.showsTagTitles.value())
        return;
    const bool isFirst = arrivedStreamInfo_.empty() && arrivedTagNames_.empty();
    arrivedTagNames_.insert_or_assign(tags.url, TagNames::of(tags));
    if (isFirst)
        later([](PlayerController& controller) { controller.storeArrivedStreamInfo(); });
}

// Under storeArrivedStreamInfo: the names read arrive with their descriptions, in one change.
void PlayerController::storeArrivedTagNames()
{
    auto arrived = std::exchange(arrivedTagNames_, {});
    if (arrived.empty() || !model_.showsTagTitles.value())
        return;
    TagNames names = model_.tagNames.value();
    names.read = names.read.modified([&arrived](TagNames::Map& read) {
        for (auto& [url, name] : arrived)
            read.insert_or_assign(url, std::move(name));
    });
    model_.tagNames.set(std::move(names));
}

} // namespace lh
