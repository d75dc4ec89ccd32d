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

    // Only the files the report changes can have changed state, but a copy that arrived may have
    // made room by evicting others: then those shown cached are looked at again too. Only then:
    // at every arrival, that look cost the main thread more than the rest of the report.
    std::vector<FileURL> changed;
    bool hasCopyArrived = false;
    for (const auto& [url, state] : downloadStates_) {
        const auto now = states.find(url);
        if (now == states.end() || now->second != state)
            changed.push_back(url);
        const bool isArrived = state == DownloadState::copying && now == states.end();
        hasCopyArrived = hasCopyArrived || isArrived;
        if (isArrived && environment_.metadataCache)
            arrivedCopies_.push_back(url); // read for the cache, shown or not
    }
    for (const auto& [url, state] : states) {
        if (!downloadStates_.contains(url))
            changed.push_back(url);
    }
    if (hasCopyArrived && cache_.evictions() != seenEvictions_) {
        seenEvictions_ = cache_.evictions();
        const FileStates& shown = model_.fileStates.value();
        for (const auto& [url, rows] : remoteRows_) {
            if (shown.state(url) == FileState::cached)
                changed.push_back(url);
        }
    }
    downloadStates_ = states;
    holdFillerWhileCopying(); // a copy is what playback needs next
    updateFileStates(changed);
    // The look-ahead found the next track without a copy: the one that just arrived may be it.
    if (hasCopyArrived && !playback_.upcoming())
        reconsiderUpcoming();
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

// What a network file's row shows; nothing for a local file or one no row names.
std::optional<FileState> PlayerController::fileState(const FileURL& url) const
{
    if (!remoteRows_.contains(url))
        return std::nullopt;
    if (cache_.copy(url))
        return FileState::cached; // a finished copy wins over whatever is under way
    const auto download = downloadStates_.find(url);
    if (download == downloadStates_.end())
        return FileState::waiting;
    return download->second == DownloadState::copying ? FileState::copying : FileState::unreachable;
}

// The map holds the network files alone (a local file needs no state, and a million of them
// would make every change a copy of a million entries).
void PlayerController::refreshFileStates()
{
    FileStateMap states;
    states.reserve(remoteRows_.size());
    for (const auto& [url, rows] : remoteRows_)
        states.emplace(url, *fileState(url));
    if (model_.fileStates.value() == states)
        return;
    SharedFileStates previous = model_.fileStates.value();
    model_.fileStates.set(std::move(states));
    freeOn(background_, std::move(previous));
}

// The same for the named files only; the value changes, and is announced, only if one of them
// shows something new, and the change leaves the bulk of it shared.
void PlayerController::updateFileStates(const std::vector<FileURL>& urls)
{
    const FileStates& states = model_.fileStates.value();
    std::vector<FileStates::Change> changes;
    for (const FileURL& url : urls) {
        const auto now = fileState(url);
        if (states.state(url) != now)
            changes.emplace_back(url, now);
    }
    if (changes.empty())
        return;
    SharedFileStates previous = model_.fileStates.value();
    model_.fileStates.set(previous.with(changes));
    freeOn(background_, std::move(previous));
}

void PlayerController::countRemoteRows(const std::vector<Track>& tracks, std::ptrdiff_t change)
{
    for (const Track& track : tracks)
        countRemoteRows(track, change);
}

void PlayerController::countRemoteRows(const Track& track, std::ptrdiff_t change)
{
    if (!track.isRemote)
        return;
    auto& rows = remoteRows_[track.url];
    rows = std::size_t(std::ptrdiff_t(rows) + change);
    if (rows == 0)
        remoteRows_.erase(track.url);
}

void PlayerController::downloadAhead()
{
    // The downloader takes requests on its own executor in the order they were made, so the
    // last one made is the list it ends up with.
    if (remoteRows_.empty()) {
        downloader_->want(std::vector<FileURL>());
        return;
    }
    downloader_->wantOrder([tracks = model_.tracks.value(), current = model_.currentIndex.value()] {
        return Playlist::remoteFiles(tracks, current);
    });
}

void PlayerController::showRows(std::int64_t first, std::int64_t count)
{
    if (first == firstShownRow_ && count == shownRowCount_)
        return;
    firstShownRow_ = std::max<std::int64_t>(0, first);
    shownRowCount_ = std::max<std::int64_t>(0, count);
    readMissingStreamInfo();
}

// Only the rows the window shows and the current one (the display names its format) are read:
// a playlist of a million files then costs the reading a screenful costs, and rows scrolled
// to are read as they come into view.
void PlayerController::readMissingStreamInfo()
{
    const auto& known = model_.streamInfo.value();
    const auto& tracks = model_.tracks.value();
    const auto count = std::int64_t(tracks.size());
    std::vector<std::int64_t> rows;
    for (std::int64_t row = firstShownRow_; row < std::min(count, firstShownRow_ + shownRowCount_); ++row)
        rows.push_back(row);
    if (const auto current = model_.currentIndex.value(); current && *current >= 0 && *current < count)
        rows.push_back(*current);

    std::unordered_set<FileURL> asked; // the cue tracks of one file share its description
    std::vector<MetadataReader::StreamRequest> requests;
    for (const FileURL& url : std::exchange(arrivedCopies_, {})) {
        const auto copy = cache_.copy(url);
        if (copy && !known.contains(url) && !arrivedStreamInfo_.contains(url) && asked.insert(url).second)
            requests.push_back({ url, *copy, false }); // a sheet inside waits for its row to be shown
    }
    for (const std::int64_t row : rows) {
        const Track& track = tracks[std::size_t(row)];
        if (known.contains(track.url) || arrivedStreamInfo_.contains(track.url) || !asked.insert(track.url).second)
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
        },
        model_.showsTagTitles.value() ? MetadataReader::TagsHandler([weak = Weak(self_)](const MediaTags& tags) {
            if (auto alive = weak.lock())
                (*alive)->receiveTags(tags);
        })
                                      : nullptr);
}

// The descriptions that arrived while the main thread was busy go into the model together, in
// one change: each change copies the map and repaints the list.
void PlayerController::receive(const FileURL& url, const StreamInfo& info)
{
    const bool isFirst = arrivedStreamInfo_.empty();
    arrivedStreamInfo_[url] = info;
    if (isFirst)
        later([](PlayerController& controller) { controller.storeArrivedStreamInfo(); });
}

void PlayerController::storeArrivedStreamInfo()
{
    storeArrivedTagNames();
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
