// Adding, opening and removing playlist rows, and keeping the stored playlist in step.
#include "PlayerController.h"

#include "Playlist.h"
#include "SupportedAudio.h"

#include <algorithm>
#include <atomic>
#include <iterator>
#include <optional>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

namespace lh {

namespace {

// `map` without the entries of `urls`; nothing when it holds none of them.
template <typename Value>
std::optional<Value> without(const Value& map, const std::unordered_set<FileURL>& urls)
{
    if (std::ranges::none_of(urls, [&](const FileURL& url) { return map.contains(url); }))
        return std::nullopt;
    return map.modified([&](auto& all) {
        for (const FileURL& url : urls)
            all.erase(url);
    });
}

// Puts a map made in the background in place, if the model's map is still the one it was made
// from; a map that changed meanwhile has the same entries dropped here instead. Notifies only
// when an entry went.
template <typename Value>
void replace(Observable<Value>& property, const Value& base, std::optional<Value>& rebuilt,
    const std::unordered_set<FileURL>& urls)
{
    if (!property.value().isSameAs(base))
        rebuilt = without(property.value(), urls);
    if (rebuilt)
        property.set(std::move(*rebuilt));
}

// A cue track from a sheet the user opened rather than the one inside its file: the rows of a
// file that are not give way when a sheet for it is read.
bool isFromOpenedSheet(const Track& track)
{
    return !track.isWholeFile() && !track.isFromEmbeddedSheet;
}

// Whether an add walks a folder: a name marked as one, or one that is neither music nor a list.
// Sheets and lists alone are only read, and give up at the stall limit with what they have.
bool walksFolders(const std::vector<FileURL>& urls)
{
    return std::ranges::any_of(urls, [](const FileURL& url) {
        return url.isDirectory()
            || !(SupportedAudio::isSupported(url) || SupportedAudio::isCueSheet(url) || PlaylistFile::isPlaylist(url));
    });
}

bool isStall(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const StalledError&) {
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace

// Shared by a walk's thread, which notes its progress, and a watchdog that tells the main thread
// when the walk starts and stops waiting for the share, as often as that happens.
struct PlayerController::WalkWatch {
    explicit WalkWatch(MonotonicClock::time_point start)
        : lastProgress(start)
    {
    }
    std::atomic<MonotonicClock::time_point> lastProgress;
    std::atomic<bool> hasEnded = false;
    bool isWaiting = false; // the watchdog's own
};

void PlayerController::addTracks(const std::vector<FileURL>& urls, AddCompletion then)
{
    // A few plain audio files need no file read, so they are added at once, unless an earlier
    // add is still under way: additions always land in the order they were asked for. The
    // remote test still looks at each file's name on disk (is it a link to a share?), which
    // for thousands of files holds the main thread longer than a frame: those are imported in
    // the background as a folder is.
    if (urls.size() <= inlineAddLimit && !TrackImporter::needsReading(urls) && !FolderWalker::mayHoldFolders(urls)
        && pendingAdds_.empty()) {
        const auto tracks = importer().tracks(urls);
        append(tracks);
        if (then) {
            Imported imported;
            imported.take(tracks);
            then(imported);
        }
        return;
    }
    pendingAdds_.push_back(BackgroundAdd { ++addCount_, urls, std::move(then), std::make_shared<FolderWalker>(urls), 0, {}, {}, false, false });
    if (pendingAdds_.size() == 1)
        startNextAdd();
}

void PlayerController::startNextAdd()
{
    const BackgroundAdd& add = pendingAdds_.front();
    // A folder walk that meets a stall waits for the share and carries on when it answers: it
    // ends the add itself, with its last rows. Other adds give up at the limit with what they
    // have.
    const bool isWalk = walksFolders(add.urls);
    model_.isReadingFolder.set(FolderWalker::mayHoldFolders(add.urls));
    // Rows arrive while a long walk goes on, a batch of whole folders at a time, in the walk's
    // order: a library on a slow share takes half a minute to list.
    auto handOver = [mainThread = mainThread_, weak = Weak(self_), ticket = add.ticket](
                        std::vector<Track> tracks, std::size_t handedFiles, bool isLast) {
        mainThread->execute([weak, ticket, tracks = std::move(tracks), handedFiles, isLast]() mutable {
            if (auto alive = weak.lock())
                (*alive)->receiveWalked(ticket, std::move(tracks), handedFiles, isLast);
        });
    };
    // Every file read or folder listing counts as progress, so only a read that hangs (a
    // share gone silent) runs into the limit, not a long list of sheets.
    const auto now = environment_.stallRuntime.now;
    const auto watch = std::make_shared<WalkWatch>(now());
    auto import = [readFile = environment_.readFile, listFolder = environment_.listFolder, now, isRemote = environment_.isRemote,
                      walker = add.walker, handOver, isWalk, watch](const Progress& limitProgress) {
        const struct Ended {
            WalkWatch& watch;
            ~Ended() { watch.hasEnded = true; }
        } ended { *watch };
        const Progress progress = [&] {
            watch->lastProgress = now();
            try {
                limitProgress();
            } catch (const StalledError&) {
                if (!isWalk)
                    throw;
            }
        };
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
        std::size_t handed = 0;
        auto lastHandOver = now() - walkHandOverInterval;
        walker->walk([&] {
            progress();
            if (now() - lastHandOver < walkHandOverInterval)
                return;
            auto files = walker->foundFrom(handed);
            if (files.empty())
                return;
            lastHandOver = now();
            handed += files.size();
            handOver(importer.tracks(files), handed, false);
        });
        auto rest = importer.tracks(walker->foundFrom(handed));
        if (!isWalk)
            return rest;
        handOver(std::move(rest), handed, true);
        return std::vector<Track>();
    };
    auto arrive = [mainThread = mainThread_, weak = Weak(self_), isWalk](Outcome<std::vector<Track>> outcome) {
        // On the import's thread or the watchdog's, maybe long after the controller is gone:
        // back to the main thread first.
        mainThread->execute([weak, outcome = std::move(outcome), isWalk]() mutable {
            auto alive = weak.lock();
            if (!alive || (isWalk && (outcome.hasValue() || isStall(outcome.error()))))
                return; // a walk ends its add itself, however long the share keeps it waiting
            std::optional<std::vector<Track>> imported;
            if (outcome.hasValue())
                imported = outcome.takeValue();
            (*alive)->finishAdd(std::move(imported));
        });
    };
    withStallLimit<std::vector<Track>>(stallLimit_, std::move(import), std::move(arrive), environment_.stallRuntime);
    if (isWalk)
        watchWalk(add.ticket, watch);
}

void PlayerController::watchWalk(std::int64_t ticket, std::shared_ptr<WalkWatch> watch)
{
    environment_.stallRuntime.startWatchdog(stallLimit_ / 4,
        [watch = std::move(watch), now = environment_.stallRuntime.now, limit = stallLimit_, mainThread = mainThread_,
            weak = Weak(self_), ticket] {
            if (watch->hasEnded)
                return false;
            const bool isWaiting = now() - watch->lastProgress.load() > limit;
            if (isWaiting != watch->isWaiting) {
                watch->isWaiting = isWaiting;
                mainThread->execute([weak, ticket, isWaiting] {
                    auto alive = weak.lock();
                    if (alive && !(*alive)->pendingAdds_.empty() && (*alive)->pendingAdds_.front().ticket == ticket)
                        (*alive)->model_.isWalkWaiting.set(isWaiting);
                });
            }
            return true;
        });
}

void PlayerController::receiveWalked(std::int64_t ticket, std::vector<Track> tracks, std::size_t handedFiles, bool isLast)
{
    // A batch that comes after its add was given up on was taken with what the walk had found.
    if (pendingAdds_.empty() || pendingAdds_.front().ticket != ticket)
        return;
    if (isLast)
        return finishAdd(std::move(tracks));
    BackgroundAdd& add = pendingAdds_.front();
    add.handedFiles = handedFiles;
    enqueueAppend(add, std::move(tracks));
}

void PlayerController::finishAdd(std::optional<std::vector<Track>> imported)
{
    BackgroundAdd& add = pendingAdds_.front();
    if (!imported) {
        // The sheets or lists could not be read in time (or at all), or a folder walk stalled:
        // the audio files found until then are still added, and they need no reading.
        std::vector<FileURL> audio;
        const auto found = add.walker->foundSoFar();
        std::copy_if(found.begin() + static_cast<std::ptrdiff_t>(std::min(add.handedFiles, found.size())), found.end(),
            std::back_inserter(audio), [](const FileURL& url) { return !TrackImporter::needsReading({ url }); });
        imported = importer().tracks(audio);
    }
    add.isImported = true;
    enqueueAppend(add, std::move(*imported));
}

void PlayerController::enqueueAppend(BackgroundAdd& add, std::vector<Track> tracks)
{
    if (!tracks.empty())
        add.waiting.push_back(std::move(tracks));
    if (!add.isStepDue)
        appendStep(add.ticket);
}

void PlayerController::appendStep(std::int64_t ticket)
{
    if (pendingAdds_.empty() || pendingAdds_.front().ticket != ticket)
        return;
    BackgroundAdd& add = pendingAdds_.front();
    add.isStepDue = false;
    std::vector<Track> step;
    if (!add.waiting.empty()) {
        // Taken from the front batch, which is let go of once it is used up.
        std::vector<Track>& batch = add.waiting.front();
        const auto from = batch.begin() + static_cast<std::ptrdiff_t>(add.waitingFrom);
        const auto to = from + static_cast<std::ptrdiff_t>(std::min(appendStepRows, batch.size() - add.waitingFrom));
        step.assign(std::make_move_iterator(from), std::make_move_iterator(to));
        add.waitingFrom += step.size();
        if (add.waitingFrom == batch.size()) {
            freeOn(background_, std::move(batch));
            add.waiting.pop_front();
            add.waitingFrom = 0;
        }
    }
    append(step);
    add.imported.take(step);
    if (!add.waiting.empty()) {
        add.isStepDue = true;
        later([ticket](PlayerController& controller) { controller.appendStep(ticket); });
    } else if (add.isImported) {
        completeAdd();
    }
}

void PlayerController::Imported::take(const std::vector<Track>& tracks)
{
    const std::size_t kept = std::min(tracks.size(), keptTracks - std::min(keptTracks, leading.size()));
    leading.insert(leading.end(), tracks.begin(), tracks.begin() + static_cast<std::ptrdiff_t>(kept));
    count += tracks.size();
}

void PlayerController::completeAdd()
{
    BackgroundAdd add = std::move(pendingAdds_.front());
    // Still first in line while the caller hears of it: an add it asks for waits behind.
    if (add.completion)
        add.completion(add.imported);
    pendingAdds_.pop_front();
    model_.isWalkWaiting.set(false);
    if (!pendingAdds_.empty()) {
        startNextAdd();
    } else if (model_.isReadingFolder.value()) {
        model_.isReadingFolder.set(false);
        downloadAhead();
    }
}

// The tracks of `tracks` to add. The index tells most of them new without a look at the rows;
// only those it may hold are checked, against the rows that name their files, found in one pass.
std::vector<Track> PlayerController::newTracks(const std::vector<Track>& tracks) const
{
    std::unordered_set<FileURL> suspects;
    for (const Track& track : tracks) {
        if (index_.mayHold(track))
            suspects.insert(track.url);
    }
    std::vector<Track> rows;
    if (!suspects.empty()) {
        for (const Track& row : model_.tracks.value()) {
            if (suspects.contains(row.url))
                rows.push_back(row);
        }
    }
    return Playlist::newTracks(tracks, rows);
}

void PlayerController::openTracks(const std::vector<FileURL>& urls)
{
    addTracks(urls, [weak = Weak(self_)](const Imported& imported) {
        auto alive = weak.lock();
        if (!alive || imported.leading.empty())
            return;
        PlayerController& controller = **alive;
        // The file may have been in the playlist already: its existing row plays. A new one was
        // just appended, so the rows it may be in are looked at first.
        const Track& first = imported.leading.front();
        const TrackList& tracks = controller.model_.tracks.value();
        const auto isFirst = [&](const Track& track) {
            return track.url == first.url && (first.isWholeFile() || track.start == first.start);
        };
        const std::size_t tail = tracks.size() - std::min(tracks.size(), imported.count);
        auto row = std::find_if(tracks.from(tail), tracks.end(), isFirst);
        if (row == tracks.end()) {
            row = std::find_if(tracks.begin(), tracks.from(tail), isFirst);
            if (row == tracks.from(tail))
                return;
        }
        controller.playOpened(std::int64_t(row.row()), std::vector<Track>(imported.leading.begin() + 1, imported.leading.end()));
    });
}

void PlayerController::append(const std::vector<Track>& tracks)
{
    const auto added = newTracks(replaceEmbeddedTracks(tracks));
    if (added.empty())
        return;
    const auto covering = coveringTracks(added);
    // The new list shares all but its last leaf with the old one, whose spine is freed in the
    // background.
    TrackList before = model_.tracks.value();
    model_.tracks.set(before.appending(added));
    lookUpKnown(before.size(), model_.tracks.value().size(), model_.showsTagTitles.value());
    fillCache(before.size());
    freeOn(background_, std::move(before));
    index_.insert(added);
    persistTracks();
    countRemoteRows(added, 1);
    readMissingStreamInfo();
    // Only the new rows' files can have a new state, and only new network rows change what is
    // copied ahead.
    std::vector<FileURL> remote;
    for (const Track& track : added) {
        if (track.isRemote)
            remote.push_back(track.url);
    }
    if (!remote.empty()) {
        updateFileStates(remote);
        // Copies made ahead while nothing plays would share the link with the walk and slow it
        // down; they start once it has ended.
        if (!model_.isReadingFolder.value() || model_.isPlaying.value())
            downloadAhead();
    }
    // Whole-file rows of a file the new cue tracks now cover give way to them.
    const auto superseded = covering.empty() ? std::vector<std::size_t>() : Playlist::wholeFiles(model_.tracks.value(), covering);
    if (!superseded.empty())
        removeTracks(std::set<std::int64_t>(superseded.begin(), superseded.end()));
    reconsiderUpcoming();
}

// The cue tracks among `added` whose file may have a whole-file row to give way: one listed
// before, as the index tells before `added` go into it, or one added whole in the same batch.
// Most adds have none, and then no row is looked at.
std::vector<Track> PlayerController::coveringTracks(const std::vector<Track>& added) const
{
    if (std::ranges::all_of(added, &Track::isWholeFile))
        return {};
    std::unordered_set<FileURL> addedWhole;
    for (const Track& track : added) {
        if (track.isWholeFile())
            addedWhole.insert(track.url);
    }
    std::vector<Track> covering;
    for (const Track& track : added) {
        if (!track.isWholeFile() && (addedWhole.contains(track.url) || index_.mayHoldFile(track.url)))
            covering.push_back(track);
    }
    return covering;
}

// The background read found a sheet inside a file the playlist holds as a whole file. A file
// removed meanwhile, or covered by a sheet the user opened since, keeps what it has: the sheet
// the user chose wins over the one inside the file.
void PlayerController::receiveEmbeddedSheet(const FileURL& url, const CueSheet& sheet, const StreamInfo& info)
{
    const auto& tracks = model_.tracks.value();
    const auto row = std::ranges::find_if(tracks, [&](const Track& track) { return track.url == url && track.isWholeFile(); });
    if (row == tracks.end())
        return;
    const auto replacement = TrackImporter::embeddedTracks(sheet, url, row->isRemote, info.duration);
    if (!replacement.empty())
        replaceRows({ { url, replacement } });
}

// A sheet the user opens for an image already split by the sheet inside it wins as well: its
// tracks take the place of that file's rows rather than joining them. Gives the tracks still to
// be appended.
std::vector<Track> PlayerController::replaceEmbeddedTracks(const std::vector<Track>& tracks)
{
    // Most adds name no file the playlist holds, which the index tells without a pass over the rows.
    std::unordered_set<FileURL> opened;
    for (const Track& track : tracks) {
        if (isFromOpenedSheet(track) && index_.mayHoldFile(track.url))
            opened.insert(track.url);
    }
    if (opened.empty())
        return tracks;
    std::unordered_set<FileURL> split;
    std::vector<Track> kept; // rows of those files that an opened sheet made, which stay
    for (const Track& row : model_.tracks.value()) {
        if (!opened.contains(row.url))
            continue;
        if (row.isFromEmbeddedSheet)
            split.insert(row.url);
        else if (!row.isWholeFile())
            kept.push_back(row);
    }
    if (split.empty())
        return tracks;

    std::unordered_map<FileURL, std::vector<Track>> replacements;
    std::vector<Track> rest;
    for (const Track& track : tracks) {
        if (isFromOpenedSheet(track) && split.contains(track.url))
            replacements[track.url].push_back(track);
        else
            rest.push_back(track);
    }
    // A list that already holds some of the sheet's tracks beside the split ones (kept by an
    // older version) does not get them twice; a file with nothing new keeps its rows.
    for (auto replacement = replacements.begin(); replacement != replacements.end();) {
        replacement->second = Playlist::newTracks(replacement->second, kept);
        replacement = replacement->second.empty() ? replacements.erase(replacement) : std::next(replacement);
    }
    if (!replacements.empty())
        replaceRows(replacements);
    return rest;
}

// Each file's rows that no opened sheet made give way to its tracks, put where the first of
// those rows stood, so an album stays where the user put it. The row playing becomes the track
// that holds the position, and the sound goes on without a break.
void PlayerController::replaceRows(const std::unordered_map<FileURL, std::vector<Track>>& replacements)
{
    TrackList before = model_.tracks.value();
    const auto current = model_.currentIndex.value();
    // The rows that stay are taken over in runs, sharing the leaves a run covers.
    TrackList::Builder all;
    std::int64_t size = 0; // of the new list so far
    std::size_t kept = 0; // the first row of the run that stays
    std::optional<std::int64_t> moved; // the current row's new place, when it stays
    const auto keepUpTo = [&](std::size_t end) {
        all.append(before, kept, end);
        if (current && *current >= std::int64_t(kept) && *current < std::int64_t(end))
            moved = size + (*current - std::int64_t(kept));
        size += std::int64_t(end - kept);
    };
    std::vector<Track> removed;
    std::vector<Track> inserted;
    std::unordered_map<FileURL, std::int64_t> placed; // where each file's tracks went
    std::optional<std::pair<Track, std::int64_t>> replaced; // the current row, where its file's tracks went
    for (auto row = before.begin(); row != before.end(); ++row) {
        const Track& track = *row;
        const auto replacement = replacements.find(track.url);
        if (replacement == replacements.end() || isFromOpenedSheet(track))
            continue;
        keepUpTo(row.row());
        kept = row.row() + 1;
        const auto [at, isFirst] = placed.try_emplace(track.url, size);
        if (isFirst) {
            all.append(replacement->second);
            inserted.insert(inserted.end(), replacement->second.begin(), replacement->second.end());
            size += std::int64_t(replacement->second.size());
        }
        removed.push_back(track);
        if (current && std::size_t(*current) == row.row())
            replaced.emplace(track, at->second);
    }
    keepUpTo(before.size());
    model_.tracks.set(std::move(all).finish());
    freeOn(background_, std::move(before));
    index_.erase(removed);
    index_.insert(inserted);
    countRemoteRows(removed, -1);
    countRemoteRows(inserted, 1);
    persistTracks();
    if (replaced) {
        if (!followReplacement(replaced->first, replaced->second, replacements.at(replaced->first.url)))
            return;
    } else if (moved != current) {
        model_.currentIndex.set(moved);
    }
    reconsiderUpcoming();
}

// The current row gave way to `replacement`, now at `first`. False when the row had not started
// yet and its first track is played instead.
bool PlayerController::followReplacement(const Track& replaced, std::int64_t first, const std::vector<Track>& replacement)
{
    if (model_.isLoading.value()) {
        play(first, 1, true); // still waiting for its copy: wait for the first track instead
        return false;
    }
    std::optional<std::size_t> holding;
    if (playback_.track() && *playback_.track() == replaced) {
        // A sheet need not list its tracks in order, nor start at the file's beginning.
        const double time = replaced.start + playback_.position();
        for (std::size_t i = 0; i < replacement.size(); ++i) {
            if (replacement[i].start <= time && (!holding || replacement[i].start > replacement[*holding].start))
                holding = i;
        }
        playback_.retarget(replacement[holding.value_or(0)]);
        applyGain(); // the track's own from its sheet; without one, the image's it had
        hasLookedAhead_ = false;
        model_.duration.set(playback_.length().value_or(0));
        model_.currentTime.set(playback_.position());
    }
    model_.currentIndex.set(first + static_cast<std::int64_t>(holding.value_or(0)));
    return true;
}

void PlayerController::removeTracks(const std::set<std::int64_t>& indices)
{
    const auto count = static_cast<std::int64_t>(model_.tracks.value().size());
    // The rows are sorted, so the ends tell whether any is out of range; only then is a set made.
    const bool isAllValid = !indices.empty() && *indices.begin() >= 0 && *indices.rbegin() < count;
    std::set<std::int64_t> inRange;
    if (!isAllValid)
        std::ranges::copy_if(indices, std::inserter(inRange, inRange.end()), [count](std::int64_t row) { return row >= 0 && row < count; });
    const std::set<std::int64_t>& valid = isAllValid ? indices : inRange;
    if (valid.empty())
        return;

    // The new list shares the old one's leaves, most of them without their removed rows. The
    // removed rows are read in place: copies of thousands of tracks would cost more than the
    // rest of the removal.
    TrackList before = model_.tracks.value();
    std::vector<FileURL> removedFiles;
    removedFiles.reserve(valid.size());
    std::vector<const Track*> removed;
    removed.reserve(valid.size());
    bool isRemoteRemoved = false;
    before.forEachAt(valid, [&](std::size_t, const Track& track) {
        removed.push_back(&track);
        countRemoteRows(track, -1);
        isRemoteRemoved = isRemoteRemoved || track.isRemote;
        removedFiles.push_back(track.url);
    });
    index_.erase(removed);
    model_.tracks.set(before.removing(valid));
    freeOn(background_, std::move(before));
    persistTracks();

    const auto current = model_.currentIndex.value();
    const bool isCurrentRemoved = current && valid.contains(*current);
    if (current) {
        if (isCurrentRemoved) {
            resetPlayback();
            model_.currentIndex.set(std::nullopt);
        } else {
            const auto below = std::distance(valid.begin(), valid.lower_bound(*current));
            model_.currentIndex.set(*current - below);
        }
    }
    // The index tells whether the shown file may still be listed; only a "maybe" is checked.
    if (const auto& info = model_.info.value(); info && std::ranges::find(removedFiles, info->url) != removedFiles.end()
        && (!index_.mayHoldFile(info->url)
            || std::ranges::none_of(model_.tracks.value(), [&](const Track& track) { return track.url == info->url; })))
        closeInfo();
    // The remaining rows' states and stream descriptions stand; only the removed files' go.
    forgetUnlisted(std::move(removedFiles));
    // What is copied ahead changes only with the network rows and the row it starts from.
    if (isRemoteRemoved || (isCurrentRemoved && !remoteRows_.empty()))
        downloadAhead();
    readMissingStreamInfo(); // other rows have moved into view
    reconsiderUpcoming();
}

// Dropping the removed files' entries copies the per-file maps, which for a large playlist
// costs the main thread several times what the rest of a removal does. So the removed files
// are gathered into a set, the files no row names any more found, and the new maps made, on
// the background executor from the playlist and maps of the moment; back here they replace the
// model's maps, unless the playlist changed meanwhile (a file may be listed again): then the
// same is done over for it. The maps replaced are freed in the background.
void PlayerController::forgetUnlisted(std::vector<FileURL> removed)
{
    background_.execute([removed = std::move(removed), tracks = model_.tracks.value(), streamInfo = model_.streamInfo.value(),
                            fileStates = model_.fileStates.value(), mainThread = mainThread_, weak = Weak(self_)]() mutable {
        std::unordered_set<FileURL> urls(removed.begin(), removed.end());
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
                controller.forgetUnlisted(std::vector<FileURL>(urls.begin(), urls.end()));
                return;
            }
            replace(controller.model_.streamInfo, streamInfo, lessStreamInfo, urls);
            replace(controller.model_.fileStates, fileStates, lessFileStates, urls);
            freeOn(controller.background_, std::make_tuple(std::move(streamInfo), std::move(fileStates)));
        });
    });
}

// The store keeps the playlist as the shared list itself and builds its stored form on its
// writer thread when it writes the file: nothing per row on the main thread, and the playlist
// is not held a second time as JSON.
void PlayerController::persistTracks()
{
    store_.saveShared(model_.tracks.value());
}

} // namespace lh
