// Adding, opening and removing playlist rows, and keeping the stored playlist in step.
#include "PlayerController.h"

#include "Playlist.h"
#include "SupportedAudio.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <tuple>
#include <unordered_set>

namespace lh {

namespace {

// `map` without the entries of `urls`; nothing when it holds none of them.
template <typename Map>
std::optional<SharedValue<Map>> without(const SharedValue<Map>& map, const std::unordered_set<FileURL>& urls)
{
    if (std::ranges::none_of(urls, [&](const FileURL& url) { return map.contains(url); }))
        return std::nullopt;
    return map.modified([&](Map& all) {
        for (const FileURL& url : urls)
            all.erase(url);
    });
}

// Puts a map made in the background in place, if the model's map is still the one it was made
// from; a map that changed meanwhile has the same entries dropped here instead. Notifies only
// when an entry went.
template <typename Map>
void replace(Observable<SharedValue<Map>>& property, const SharedValue<Map>& base,
    std::optional<SharedValue<Map>>& rebuilt, const std::unordered_set<FileURL>& urls)
{
    if (!property.value().isSameAs(base))
        rebuilt = without(property.value(), urls);
    if (rebuilt)
        property.set(std::move(*rebuilt));
}

} // namespace

void PlayerController::addTracks(const std::vector<FileURL>& urls, AddCompletion then)
{
    // Plain audio files need no file read (the remote test reads only the mount list), so
    // they are added at once, unless an earlier add is still under way: additions always land
    // in the order they were asked for.
    if (!TrackImporter::needsReading(urls) && !FolderWalker::mayHoldFolders(urls) && pendingAdds_.empty()) {
        const auto tracks = importer().tracks(urls);
        append(tracks);
        if (then)
            then(tracks);
        return;
    }
    pendingAdds_.push_back(BackgroundAdd { ++addCount_, urls, std::move(then), std::make_shared<FolderWalker>(urls) });
    if (pendingAdds_.size() == 1)
        startNextAdd();
}

void PlayerController::startNextAdd()
{
    const BackgroundAdd& add = pendingAdds_.front();
    // Every file read or folder listing counts as progress, so only a read that hangs (a
    // share gone silent) runs into the limit, not a long list of sheets.
    auto import = [readFile = environment_.readFile, listFolder = environment_.listFolder,
                      isRemote = environment_.isRemote, walker = add.walker](const Progress& progress) {
        const TrackImporter importer(
            [&](const FileURL& url) {
                auto bytes = readFile(url);
                progress();
                return bytes;
            },
            [&](const FileURL& url) {
                auto names = listFolder(url);
                progress();
                return names;
            },
            remoteTest(isRemote));
        return importer.tracks(walker->walk(progress));
    };
    auto arrive = [mainThread = mainThread_, weak = Weak(self_)](Outcome<std::vector<Track>> outcome) {
        // On the import's thread or the watchdog's, maybe long after the controller is gone:
        // back to the main thread first.
        mainThread->execute([weak, outcome = std::move(outcome)] {
            auto alive = weak.lock();
            if (!alive)
                return;
            std::optional<std::vector<Track>> imported;
            if (outcome.hasValue())
                imported = outcome.value();
            (*alive)->finishAdd(std::move(imported));
        });
    };
    withStallLimit<std::vector<Track>>(stallLimit_, std::move(import), std::move(arrive), environment_.stallRuntime);
}

void PlayerController::finishAdd(std::optional<std::vector<Track>> imported)
{
    BackgroundAdd add = std::move(pendingAdds_.front());
    if (!imported) {
        // The sheets could not be read in time (or at all), or a folder walk stalled: the
        // audio files found until then are still added, and they need no reading.
        std::vector<FileURL> audio;
        std::ranges::copy_if(add.walker->foundSoFar(), std::back_inserter(audio),
            [](const FileURL& url) { return !SupportedAudio::isCueSheet(url); });
        imported = importer().tracks(audio);
    }
    append(*imported);
    if (add.completion)
        add.completion(*imported);
    pendingAdds_.pop_front();
    if (!pendingAdds_.empty())
        startNextAdd();
}

void PlayerController::openTracks(const std::vector<FileURL>& urls)
{
    addTracks(urls, [weak = Weak(self_)](const std::vector<Track>& imported) {
        auto alive = weak.lock();
        if (!alive || imported.empty())
            return;
        PlayerController& controller = **alive;
        // The file may have been in the playlist already: its existing row plays.
        const Track& first = imported.front();
        const auto& tracks = controller.model_.tracks.value();
        const auto row = std::ranges::find_if(tracks, [&](const Track& track) {
            return track.url == first.url && (first.isWholeFile() || track.start == first.start);
        });
        if (row != tracks.end())
            controller.play(row - tracks.begin(), 1, true);
    });
}

void PlayerController::append(const std::vector<Track>& tracks)
{
    const auto added = Playlist::newTracks(tracks, model_.tracks.value());
    if (added.empty())
        return;
    model_.tracks.modify([&](std::vector<Track>& all) { all.insert(all.end(), added.begin(), added.end()); });
    persistTracks();
    readMissingStreamInfo();
    refreshFileStates();
    downloadAhead();
    // Whole-file rows of a file the new cue tracks now cover give way to them.
    const auto superseded = Playlist::wholeFiles(model_.tracks.value(), added);
    if (!superseded.empty())
        removeTracks(std::set<std::int64_t>(superseded.begin(), superseded.end()));
    reconsiderUpcoming();
}

void PlayerController::removeTracks(const std::set<std::int64_t>& indices)
{
    const auto count = static_cast<std::int64_t>(model_.tracks.value().size());
    std::set<std::int64_t> valid;
    std::ranges::copy_if(indices, std::inserter(valid, valid.end()), [count](std::int64_t row) { return row >= 0 && row < count; });
    if (valid.empty())
        return;

    TrackList before = model_.tracks.value();
    std::vector<Track> kept;
    kept.reserve(static_cast<std::size_t>(count) - valid.size());
    std::unordered_set<FileURL> removedFiles;
    auto removed = valid.begin();
    for (std::int64_t row = 0; row < count; ++row) {
        const Track& track = before[static_cast<std::size_t>(row)];
        if (removed != valid.end() && *removed == row) {
            removedFiles.insert(track.url);
            ++removed;
        } else {
            kept.push_back(track);
        }
    }
    model_.tracks.set(std::move(kept));
    freeOn(background_, std::move(before));
    persistTracks();

    if (const auto current = model_.currentIndex.value()) {
        if (valid.contains(*current)) {
            resetPlayback();
            model_.currentIndex.set(std::nullopt);
        } else {
            const auto below = std::distance(valid.begin(), valid.lower_bound(*current));
            model_.currentIndex.set(*current - below);
        }
    }
    if (const auto& info = model_.info.value();
        info && std::ranges::none_of(model_.tracks.value(), [&](const Track& track) { return track.url == info->url; }))
        closeInfo();
    // The remaining rows' states and stream descriptions stand; only the removed files' go.
    forgetUnlisted(std::move(removedFiles));
    downloadAhead();
    reconsiderUpcoming();
}

// Dropping the removed files' entries copies the per-file maps, which for a large playlist
// costs the main thread several times what the rest of a removal does. So the files no row
// names any more are found, and the new maps made, on the background executor from the
// playlist and maps of the moment; back here they replace the model's maps, unless the playlist
// changed meanwhile (a file may be listed again): then the same is done over for it. The maps
// replaced are freed in the background.
void PlayerController::forgetUnlisted(std::unordered_set<FileURL> urls)
{
    background_.execute([urls = std::move(urls), tracks = model_.tracks.value(), streamInfo = model_.streamInfo.value(),
                            fileStates = model_.fileStates.value(), mainThread = mainThread_, weak = Weak(self_)]() mutable {
        for (auto track = tracks.begin(); track != tracks.end() && !urls.empty(); ++track)
            urls.erase(track->url);
        if (urls.empty())
            return;
        auto lessStreamInfo = without(streamInfo, urls);
        auto lessFileStates = without(fileStates, urls);
        mainThread->execute([weak, urls = std::move(urls), tracks = std::move(tracks), streamInfo = std::move(streamInfo),
                                fileStates = std::move(fileStates), lessStreamInfo = std::move(lessStreamInfo),
                                lessFileStates = std::move(lessFileStates)]() mutable {
            auto alive = weak.lock();
            if (!alive)
                return;
            PlayerController& controller = **alive;
            if (!controller.model_.tracks.value().isSameAs(tracks)) {
                controller.forgetUnlisted(std::move(urls));
                return;
            }
            replace(controller.model_.streamInfo, streamInfo, lessStreamInfo, urls);
            replace(controller.model_.fileStates, fileStates, lessFileStates, urls);
            freeOn(controller.background_, std::make_tuple(std::move(streamInfo), std::move(fileStates)));
        });
    });
}

// Building the stored form of a large playlist takes long, so it is built on the background
// executor from the playlist itself (a shared value nothing changes), and handed to the store
// back on the main thread. Of a burst of saves only the latest is built; one still pending
// when the controller goes is stored by the destructor.
void PlayerController::persistTracks()
{
    auto snapshot = std::make_shared<const TrackList>(model_.tracks.value());
    unsavedTracks_ = snapshot;
    background_.execute([weakSnapshot = std::weak_ptr(snapshot), mainThread = mainThread_, weak = Weak(self_)] {
        const auto tracks = weakSnapshot.lock();
        if (!tracks)
            return; // superseded by a later save, or stored already
        QJsonArray stored = PlaylistStore::storedValue(*tracks);
        mainThread->execute([weak, weakSnapshot, stored = std::move(stored)] {
            auto alive = weak.lock();
            if (!alive)
                return;
            PlayerController& controller = **alive;
            const auto& unsaved = controller.unsavedTracks_;
            if (!unsaved || unsaved.owner_before(weakSnapshot) || weakSnapshot.owner_before(unsaved))
                return; // a later save is under way
            controller.store_.saveStored(stored);
            freeOn(controller.background_, std::move(controller.unsavedTracks_));
        });
    });
}

} // namespace lh
