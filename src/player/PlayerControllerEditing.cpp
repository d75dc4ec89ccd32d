// Adding, opening and removing playlist rows, and keeping the stored playlist in step.
#include "PlayerController.h"

#include "Playlist.h"

#include <algorithm>
#include <iterator>
#include <unordered_set>

namespace lh {

namespace {

bool isCueSheet(const FileURL& url)
{
    std::string extension = url.pathExtension();
    std::ranges::transform(extension, extension.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == "cue";
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
    auto arrive = [&mainThread = mainThread_, weak = Weak(self_)](Outcome<std::vector<Track>> outcome) {
        // On the import's thread or the watchdog's: back to the main thread first.
        mainThread.execute([weak, outcome = std::move(outcome)] {
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
            [](const FileURL& url) { return !isCueSheet(url); });
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

    const auto& tracks = model_.tracks.value();
    std::vector<Track> kept;
    kept.reserve(static_cast<std::size_t>(count) - valid.size());
    std::unordered_set<FileURL> gone; // files of removed rows, until a kept row shows otherwise
    auto removed = valid.begin();
    for (std::int64_t row = 0; row < count; ++row) {
        const Track& track = tracks[static_cast<std::size_t>(row)];
        if (removed != valid.end() && *removed == row) {
            gone.insert(track.url);
            ++removed;
        } else {
            kept.push_back(track);
        }
    }
    for (auto track = kept.begin(); track != kept.end() && !gone.empty(); ++track)
        gone.erase(track->url);
    model_.tracks.set(std::move(kept));
    persistTracks();

    const auto& infos = model_.streamInfo.value();
    if (std::ranges::any_of(gone, [&](const FileURL& url) { return infos.contains(url); }))
        model_.streamInfo.modify([&](StreamInfoMap& all) {
            for (const FileURL& url : gone)
                all.erase(url);
        });
    refreshFileStates();

    if (const auto current = model_.currentIndex.value()) {
        if (valid.contains(*current)) {
            resetPlayback();
            model_.currentIndex.set(std::nullopt);
        } else {
            const auto below = std::distance(valid.begin(), valid.lower_bound(*current));
            model_.currentIndex.set(*current - below);
        }
    }
    if (const auto& info = model_.info.value(); info && gone.contains(info->url))
        closeInfo();
    downloadAhead();
    reconsiderUpcoming();
}

void PlayerController::persistTracks()
{
    store_.save(model_.tracks.value());
}

} // namespace lh
