#include "PlayerController.h"

#include "FileSystem.h"
#include "Playlist.h"
#include "Preferences.h"
#include "PublisherHelpers.h"
#include "SerialExecutor.h"
#include "Volumes.h"

#include <random>
#include <utility>

namespace lh {

namespace {

std::int64_t systemRandom(std::int64_t lower, std::int64_t upper)
{
    thread_local std::mt19937_64 generator { std::random_device {}() };
    return std::uniform_int_distribution<std::int64_t>(lower, upper - 1)(generator);
}

PlayerController::Environment withDefaults(PlayerController::Environment environment)
{
    if (!environment.readFile)
        environment.readFile = TrackImporter::readLocalFile;
    if (!environment.listFolder)
        environment.listFolder = [](const FileURL& url) { return FileSystem::listFiles(url.path()); };
    if (!environment.random)
        environment.random = systemRandom;
    if (!environment.now)
        environment.now = MonotonicClock::now;
    if (!environment.makeTimer)
        environment.makeTimer = makeMainThreadTimer;
    return environment;
}

} // namespace

PlayerController::PlayerController(PlayerModel& model, AudioPlaying& engine,
    std::shared_ptr<const TrackInfoReading> infoReader, AudioFileCache& cache,
    std::shared_ptr<RemoteFileAccess> remoteFiles, std::chrono::nanoseconds stallLimit,
    Preferences& defaults, QString defaultsKey, Environment environment)
    : environment_(withDefaults(std::move(environment)))
    , mainThread_(environment_.mainThread ? std::shared_ptr<Executor>(std::shared_ptr<Executor>(), environment_.mainThread)
                                           : std::make_shared<MainThreadExecutor>())
    , ownBackground_(environment_.background ? nullptr : std::make_unique<SerialExecutor>())
    , background_(environment_.background ? *environment_.background : *ownBackground_)
    , model_(model)
    , playback_(engine)
    , metadata_(std::move(infoReader), background_, *mainThread_, environment_.metadataCache)
    , cache_(cache)
    , coverArt_(std::make_shared<CoverArtCache>(cache.folder().appendingPathComponent("covers", true)))
    , stallLimit_(stallLimit)
    , defaults_(defaults)
    , store_(defaults, std::move(defaultsKey))
    , ownSums_(environment_.sums ? nullptr : std::make_unique<SerialExecutor>())
    , durationSum_(environment_.sums ? *environment_.sums : *ownSums_, mainThread_,
          [this](const PlaylistDuration& total) { model_.totalDuration.set(total); })
{
    MainThread::check();
    // The downloader reports on its own executor; the report crosses to the main thread and
    // reaches the controller only if it is still there.
    Weak weak = self_;
    downloader_ = std::make_unique<Downloader>(
        cache, std::move(remoteFiles), stallLimit,
        [weak, mainThread = mainThread_](const DownloadStates& states, Downloader::Done done) {
            mainThread->execute([weak, states] {
                if (auto alive = weak.lock())
                    (*alive)->receive(states);
            });
            done();
        },
        environment_.downloads, environment_.stallRuntime);

    PlaylistStore::Restored restored = store_.restore(remoteTest(environment_.isRemote));
    model_.tracks.set(withoutRepeats(std::move(restored.tracks)));
    model_.tracks.value().forEachRemote(0, [this](std::size_t, const Track& track) { countRemoteRows(track, 1); });
    // The store lets go of the stored text it read once it is sure the rows stand for all of
    // it: an element it could not read (a newer version's, say) stays in the file until the
    // playlist itself is edited.
    if (restored.isWhole)
        store_.saveShared(model_.tracks.value(), Preferences::Write::withNextChange);

    restoreSettings();
    applyVolume();

    durationsSubscription_
        = combineLatest(model_.tracks.publisher(), model_.streamInfo.publisher(), model_.knownDurations.publisher())
              .sink([this](const std::tuple<TrackList, SharedStreamInfo, SharedDurations>& value) {
                  std::apply([this](const auto&... parts) { durationSum_.request(parts...); }, value);
              });
    readMissingStreamInfo();
    lookUpKnownFacts();
    refreshFileStates();
    downloadAhead();

    playback_.setOnFinished([this, weak] {
        if (weak.lock())
            perform(TrackEndedCommand());
    });
    playback_.setOnDeviceTrouble([this, weak](DeviceTrouble trouble) {
        if (weak.lock())
            deviceTrouble(trouble);
    });
    playback_.engine().setOnOutputDevicesChanged([this, weak](std::vector<OutputDevice> devices) {
        if (weak.lock())
            takeOutputDevices(std::move(devices));
    });
}

PlayerController::~PlayerController()
{
    self_.reset();
    if (pendingPlayback_)
        pendingPlayback_->request_stop();
    playback_.setOnFinished(nullptr);
    playback_.setOnDeviceTrouble(nullptr);
    playback_.engine().setOnOutputDevicesChanged(nullptr);
}

void PlayerController::perform(const Command& command)
{
    MainThread::check();
    command.execute(*this);
}

// Duplicates inside the stored list (an older version or a hand-edited file) are dropped. The
// index built on the way tells a list without any at no more cost than building it, which
// spares a copy of every row and the exact check's sets.
std::vector<Track> PlayerController::withoutRepeats(std::vector<Track> restored)
{
    if (!index_.insert(restored))
        return restored;
    index_ = PlaylistIndex();
    auto rows = Playlist::newTracks(restored, {});
    index_.insert(rows);
    return rows;
}

TrackImporter::IsRemote PlayerController::remoteTest(const TrackImporter::IsRemote& injected)
{
    if (injected)
        return injected;
    // One look at the mount list for the whole batch instead of one per file, and each folder's
    // links followed once: adding thousands of files would otherwise repeat both per file.
    return Volumes::RemoteTest(Volumes::mounted());
}

TrackImporter PlayerController::importer() const
{
    return TrackImporter(environment_.readFile, environment_.listFolder, remoteTest(environment_.isRemote));
}

void PlayerController::later(std::function<void(PlayerController&)> work)
{
    mainThread_->execute([weak = Weak(self_), work = std::move(work)] {
        if (auto alive = weak.lock())
            work(**alive);
    });
}

} // namespace lh
