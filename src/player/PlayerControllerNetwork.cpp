// The state of every playlist file, what the downloader should copy ahead, stream
// descriptions, and the info panel.
#include "PlayerController.h"

#include "Playlist.h"

#include <unordered_set>
#include <utility>

namespace lh {

void PlayerController::receive(const DownloadStates& states)
{
    // Each look-ahead pass tries a failed copy again, and a copy proves nothing until it
    // succeeds: the file stays known unreachable meanwhile, so moving on by itself does not
    // wait a stall limit for a share that was gone a moment ago. A size that arrives, or the
    // copy itself, clears the mark.
    std::unordered_set<FileURL> unreachable;
    for (const auto& [url, state] : states) {
        if (state == DownloadState::unreachable || knownUnreachable_.contains(url))
            unreachable.insert(url);
    }
    knownUnreachable_ = std::move(unreachable);
    downloadStates_ = states;
    refreshFileStates();
    readMissingStreamInfo(); // a copy that just arrived can now be read
}

// The copy lookups look only into the local cache folder, never at the share.
std::optional<FileURL> PlayerController::cachedCopy(const Track& track) const
{
    if (!track.isRemote)
        return std::nullopt;
    return cache_.copy(track.url);
}

std::optional<FileURL> PlayerController::playableFile(const Track& track) const
{
    if (!track.isRemote)
        return track.url;
    return cache_.copy(track.url);
}

void PlayerController::refreshFileStates()
{
    FileStateMap states;
    states.reserve(model_.fileStates.value().size());
    for (const Track& track : model_.tracks.value()) {
        const auto [entry, isNew] = states.try_emplace(track.url, FileState::local);
        if (!isNew || !track.isRemote)
            continue;
        if (cachedCopy(track)) {
            entry->second = FileState::cached; // a finished copy wins over whatever is under way
        } else if (const auto download = downloadStates_.find(track.url); download == downloadStates_.end()) {
            entry->second = FileState::waiting;
        } else {
            entry->second = download->second == DownloadState::copying ? FileState::copying : FileState::unreachable;
        }
    }
    if (states == model_.fileStates.value().get())
        return;
    SharedFileStates previous = model_.fileStates.value();
    model_.fileStates.set(std::move(states));
    freeOn(background_, std::move(previous));
}

void PlayerController::downloadAhead()
{
    const auto& tracks = model_.tracks.value();
    std::vector<FileURL> urls;
    if (!tracks.empty())
        urls = Playlist::remoteFiles(tracks, model_.currentIndex.value());
    // The downloader takes requests on its own executor in the order they were made, so the
    // last one made is the list it ends up with.
    downloader_->want(std::move(urls));
}

void PlayerController::readMissingStreamInfo()
{
    const auto& known = model_.streamInfo.value();
    const auto& tracks = model_.tracks.value();
    // Only a cue sheet's tracks share a file with other rows (whole files are never listed
    // twice), so only their files need remembering: a playlist of whole files asks for
    // each file once without a set of all of them.
    std::unordered_set<FileURL> sharedFiles;
    for (const Track& track : tracks) {
        if (!track.isWholeFile())
            sharedFiles.insert(track.url);
    }
    std::unordered_set<FileURL> seen;
    std::vector<MetadataReader::StreamRequest> requests;
    for (const Track& track : tracks) {
        if (known.contains(track.url) || arrivedStreamInfo_.contains(track.url))
            continue;
        if (!sharedFiles.empty() && sharedFiles.contains(track.url) && !seen.insert(track.url).second)
            continue;
        // A network file without a copy is read once its copy arrives.
        // A whole file may be an album image with its sheet inside: the same read looks.
        if (const auto file = playableFile(track))
            requests.push_back({ track.url, *file, track.isWholeFile() });
    }
    if (requests.empty())
        return;
    metadata_.readStreams(
        std::move(requests),
        [weak = Weak(self_)](const FileURL& url, const StreamInfo& info) {
            if (auto alive = weak.lock())
                (*alive)->receive(url, info);
        },
        [weak = Weak(self_)](const FileURL& url, const CueSheet& sheet, const StreamInfo& info) {
            if (auto alive = weak.lock())
                (*alive)->receiveEmbeddedSheet(url, sheet, info);
        });
}

// Every change of the stream descriptions hands the whole map to the window, which works out
// a duration for every row: for a playlist of a hundred thousand files, one change per file
// read would keep the main thread busy for a long time. So the descriptions that arrived while
// the main thread was busy go into the model together, in one change.
void PlayerController::receive(const FileURL& url, const StreamInfo& info)
{
    const bool isFirst = arrivedStreamInfo_.empty();
    arrivedStreamInfo_[url] = info;
    if (isFirst)
        later([](PlayerController& controller) { controller.storeArrivedStreamInfo(); });
}

void PlayerController::storeArrivedStreamInfo()
{
    StreamInfoMap arrived = std::exchange(arrivedStreamInfo_, {});
    if (arrived.empty())
        return;
    const auto& playing = playback_.track();
    const auto& upcoming = playback_.upcoming();
    const bool isGainNews = (playing && arrived.contains(playing->url)) || (upcoming && arrived.contains(upcoming->track.url));
    model_.streamInfo.modify([&](StreamInfoMap& infos) {
        for (auto& [url, info] : arrived)
            infos.insert_or_assign(url, std::move(info));
    });
    if (isGainNews)
        applyGain(); // a track started before its file was read plays uncorrected until now
}

// The file being played is local or the local copy of a network file, so the read never
// touches a share. The cue tracks of one file share its tags: they are read once.
void PlayerController::readPlayingTags(const Track& track, const FileURL& file)
{
    const auto& known = model_.playingTags.value();
    if (known && known->url == track.url)
        return;
    if (known)
        model_.playingTags.set(std::nullopt); // the last file's tags no longer describe what plays
    metadata_.readTags(track.url, file,
        [coverArt = coverArt_](const QByteArray& image) { return coverArt->store(image); },
        [weak = Weak(self_)](const MediaTags& tags) {
            if (auto alive = weak.lock())
                (*alive)->model_.playingTags.set(tags);
        });
}

void PlayerController::showInfo(std::int64_t row)
{
    const auto& tracks = model_.tracks.value();
    if (row < 0 || row >= static_cast<std::int64_t>(tracks.size()))
        return;
    const Track track = tracks[static_cast<std::size_t>(row)];
    TrackInfo base = TrackInfo::info(TrackInfo::placeholder(track.url), track);
    const auto file = playableFile(track);
    if (!file) {
        // A network file not copied yet: show what the row itself knows, without tags.
        metadata_.cancelInfoRead();
        base.isLoading = false;
        model_.info.set(std::move(base));
        return;
    }
    model_.info.set(std::move(base));
    metadata_.readInfo(track.url, *file, [weak = Weak(self_), track](const TrackInfo& read) {
        auto alive = weak.lock();
        if (!alive)
            return;
        PlayerModel& model = (*alive)->model_;
        const auto& shown = model.info.value();
        if (!shown || shown->url != track.url)
            return; // closed, or showing another file by now
        model.info.set(TrackInfo::info(read, track));
    });
}

void PlayerController::closeInfo()
{
    metadata_.cancelInfoRead();
    model_.info.set(std::nullopt);
}

} // namespace lh
