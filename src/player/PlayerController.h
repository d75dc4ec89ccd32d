#pragma once

#include "AudioFileCache.h"
#include "AudioPlaying.h"
#include "CacheFiller.h"
#include "CoverArtCache.h"
#include "Command.h"
#include "Downloader.h"
#include "DurationSum.h"
#include "Executor.h"
#include "FolderWalker.h"
#include "MetadataReader.h"
#include "MonotonicClock.h"
#include "Playback.h"
#include "PlayerModel.h"
#include "PlaylistFile.h"
#include "PlaylistIndex.h"
#include "PlaylistStore.h"
#include "RemoteFileAccess.h"
#include "RepeatingTimer.h"
#include "StallLimit.h"
#include "Subscription.h"
#include "TrackImporter.h"
#include "TrackInfoReading.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <stop_token>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace lh {

class Preferences;

// What the controller reaches the outside world through besides its main collaborators.
// The defaults are the real ones; tests substitute deterministic ones.
struct PlayerEnvironment {
    // A uniformly chosen integer in [lower, upper); never asked for an empty range.
    using Random = std::function<std::int64_t(std::int64_t lower, std::int64_t upper)>;

    // Default: the mount list (never the file system), read once per batch of files.
    TrackImporter::IsRemote isRemote;
    TrackImporter::ReadFile readFile; // default: TrackImporter::readLocalFile
    TrackImporter::ListFolder listFolder; // default: FileSystem::listFiles
    Random random; // default: the system's random generator
    MonotonicNow now; // the sleep timer's clock; default: MonotonicClock::now
    TimerFactory makeTimer; // default: makeMainThreadTimer
    // Default: the Qt main thread. An injected one must outlive every completion the
    // controller hands to other threads, not just the controller.
    Executor* mainThread = nullptr;
    Executor* background = nullptr; // metadata reads; default: a serial executor of its own
    Executor* downloads = nullptr; // the downloader's actor; default: its own
    StallRuntime stallRuntime; // the watchdog of imports and copies
    // What the sound server shows as playing for a track; default: nothing.
    std::function<QString(const Track&)> streamTitle = nullptr;
    // Where what the reads learn is kept, and the restored rows' durations come from; default:
    // none, and nothing is kept.
    std::shared_ptr<MetadataCache> metadataCache = nullptr;
    Executor* sums = nullptr; // the playlist's total duration; default: a serial executor of its own
    // With a metadata cache: a pass over the local rows in the background fills it (CacheFiller).
    bool fillsMetadataCache = true;
};

// Carries out every request to the player and is the model's only writer.
//
// Everything comes in through perform() on the main thread; each command calls one of the
// operations below. Work that must not run there (copying network files, reading cue sheets
// and tags) runs elsewhere and comes back through the main-thread executor; every callback,
// timer and task handed out holds the controller weakly and does nothing once it is gone.
// Nothing this object does on the main thread touches a file on a network share: remote
// tracks are played, read and listed only through their local copies.
class PlayerController final : public CommandDispatching {
public:
    using Environment = PlayerEnvironment;

    static constexpr double playbackTickInterval = 0.05;
    // Seconds before a track's end when the next one is worked out: far more than the engine's
    // queue and the device's buffer, so the next file is open before the decoder reaches the end.
    static constexpr double lookAheadTime = 5.0;
    static constexpr double sleepTickInterval = 1.0;
    // How often a player that lost its device while playing tries it again: a sound server
    // restarted is heard within that, and a try costs a few milliseconds.
    static constexpr double deviceRetryInterval = 2.0;
    static constexpr float dimmedFactor = 0.1f;

    // Restores the playlist stored under `defaultsKey` and the settings, then starts reading
    // stream information of local files and copying ahead network ones. Main thread. Every
    // reference must outlive the controller.
    PlayerController(PlayerModel& model, AudioPlaying& engine,
        std::shared_ptr<const TrackInfoReading> infoReader, AudioFileCache& cache,
        std::shared_ptr<RemoteFileAccess> remoteFiles, std::chrono::nanoseconds stallLimit,
        Preferences& defaults, QString defaultsKey, Environment environment = {});
    ~PlayerController() override;

    PlayerController(const PlayerController&) = delete;
    PlayerController& operator=(const PlayerController&) = delete;

    void perform(const Command& command) override;

    // Transport and navigation. `isChosen`: the row is the user's own pick (a double-click,
    // Return, play/pause, Next, Previous, opening a file) and is waited for even when known to
    // be unreachable; moves made by the player itself pass over such rows.
    void play(std::int64_t row, std::int64_t step, bool wraps, bool isChosen = true);
    // Plays the row of the first file the desktop or another launch asked for, else the next of
    // `others` (the rest of what was opened) that can play; a file out of reach is said once on
    // standard error, and no row that was not asked for starts in its place.
    void playOpened(std::int64_t row, const std::vector<Track>& others);
    void togglePlayPause();
    void next();
    void previous();
    void trackEnded();
    // The engine stopped being heard by itself: the window shows it paused where it stopped.
    void deviceTrouble(DeviceTrouble trouble);
    void seek(double time);
    void resetPlayback();
    void playbackTick();
    // Hidden or minimised, nobody sees the time or the meter: the tick then comes only when
    // there is something to decide (the look-ahead point, the track's end).
    void setIsWindowShown(bool isShown);
    std::int64_t randomIndex();

    // Playlist editing.
    // What an add imported, repeats of rows already listed among it: its first tracks (enough
    // to find one that plays among the files opened, never a copy of a long list) and how many
    // there were.
    struct Imported {
        static constexpr std::size_t keptTracks = 100;
        std::vector<Track> leading;
        std::size_t count = 0;
        void take(const std::vector<Track>& tracks);
    };
    using AddCompletion = std::function<void(const Imported& imported)>;
    void addTracks(const std::vector<FileURL>& urls, AddCompletion then = nullptr);
    void openTracks(const std::vector<FileURL>& urls);
    void append(const std::vector<Track>& tracks);
    void removeTracks(const std::set<std::int64_t>& indices);
    // Writes the playlist to `list` (replacing it in one step), off the main thread; `then`
    // gets the reason it failed, or nothing.
    using ExportCompletion = std::function<void(const std::optional<QString>& error)>;
    void exportPlaylist(const FileURL& list, PlaylistFile::Format format, ExportCompletion then);

    // Settings and the sleep timer.
    void setVolume(float volume);
    void changeVolume(float delta);
    void toggleShuffle();
    void toggleRepeat();
    void toggleStopAfterCurrent();
    void toggleDim();
    void setReplayGainMode(ReplayGainMode mode);
    void setOutputDevice(const std::string& name);
    void takeOutputDevices(std::vector<OutputDevice> devices);
    void setShowsTagTitles(bool shows);
    void setSleepTimer(std::optional<int> minutes);
    void sleepTimerTick();

    // Network files, stream descriptions and the info panel.
    void refreshFileStates();
    // The stream descriptions still missing of the rows shown and the current one.
    void readMissingStreamInfo();
    // The window shows `count` rows from `first` on; their descriptions are read as they come
    // into view. Until the window says, the first rows count as shown.
    void showRows(std::int64_t first, std::int64_t count);
    void downloadAhead();
    void showInfo(std::int64_t row);
    void closeInfo();

    // Whether a background add is queued or running.
    bool isAddPending() const noexcept { return !pendingAdds_.empty(); }
    // The most plain audio files an add takes in on the main thread; more go to the background.
    static constexpr std::size_t inlineAddLimit = 500;
    // How often a folder walk hands the rows it found over while it goes on.
    static constexpr std::chrono::milliseconds walkHandOverInterval { 250 };
    // The most rows a background add appends in one main-thread job: appending costs about a
    // microsecond a row, so a list of 100,000 goes in as a series of jobs, each under a frame.
    static constexpr std::size_t appendStepRows = 5000;

private:
    using Weak = std::weak_ptr<PlayerController*>;
    using Candidates = std::vector<Track>;

    struct BackgroundAdd {
        std::int64_t ticket;
        std::vector<FileURL> urls;
        AddCompletion completion;
        // Expands the request's folders off the main thread once the add runs.
        std::shared_ptr<FolderWalker> walker;
        // What the walk has handed over while it went on: the files (a count of the walker's
        // finds) and the rows they became.
        std::size_t handedFiles = 0;
        Imported imported {};
        // Rows found but not appended yet, in order; the add ends once the import has finished
        // and none is left.
        std::deque<std::vector<Track>> waiting;
        std::size_t waitingFrom = 0; // in the front batch
        bool isImported = false;
        bool isStepDue = false;
    };

    // Runs `work` later on the main thread with the controller, if it still exists.
    void later(std::function<void(PlayerController&)> work);

    std::optional<std::int64_t> nextRow();
    void pause();
    void playFirst(Candidates candidates, bool isChosen, bool isShareAway);
    void waitFor(const Track& track, Candidates rest, bool isChosen);
    bool startPlayback(const Track& track, const FileURL& file);
    void startTimer();
    void stopTimer();
    double tickInterval() const;
    void rearmHiddenTick();
    void showPaused();
    void awaitDevice();
    void stopAwaitingDevice();
    void retryDevice();
    std::unique_ptr<RepeatingTimer> makeCommandTimer(double interval, void (*fire)(PlayerController&));
    std::optional<std::int64_t> rowOf(const Track& track) const;

    // Gapless joins into the upcoming track.
    std::optional<std::int64_t> upcomingRow();
    std::optional<std::int64_t> takeShufflePick();
    void lookAhead();
    void armUpcoming();
    void reconsiderUpcoming();
    void lookAheadAgain();
    bool followOn();
    std::optional<FileURL> cachedCopy(const Track& track) const;
    std::optional<FileURL> playableFile(const Track& track) const;

    // The injected remote test, or the mount list's as it is now.
    static TrackImporter::IsRemote remoteTest(const TrackImporter::IsRemote& injected);
    TrackImporter importer() const;
    void startNextAdd();
    struct WalkWatch;
    void watchWalk(std::int64_t ticket, std::shared_ptr<WalkWatch> watch);
    void finishAdd(std::optional<std::vector<Track>> imported);
    // Rows a walk found while it goes on, up to the walker's `handedFiles`-th find; the last
    // batch ends the add.
    void receiveWalked(std::int64_t ticket, std::vector<Track> tracks, std::size_t handedFiles, bool isLast);
    void enqueueAppend(BackgroundAdd& add, std::vector<Track> tracks);
    void appendStep(std::int64_t ticket);
    void completeAdd();
    std::vector<Track> newTracks(const std::vector<Track>& tracks) const;
    std::vector<Track> coveringTracks(const std::vector<Track>& added) const;
    std::vector<Track> withoutRepeats(std::vector<Track> restored);
    void persistTracks();
    void forgetUnlisted(std::vector<FileURL> removed);

    void applyVolume();
    float gainOf(const Track& track) const;
    void applyGain();
    void restoreSettings();

    void updateFileStates(const std::vector<FileURL>& urls);
    std::optional<FileState> fileState(const FileURL& url) const;
    void countRemoteRows(const std::vector<Track>& tracks, std::ptrdiff_t change);
    void countRemoteRows(const Track& track, std::ptrdiff_t change);
    void receive(const DownloadStates& states);
    void receive(const FileURL& url, const StreamInfo& info);
    void receiveEmbeddedSheet(const FileURL& url, const CueSheet& sheet, const StreamInfo& info);
    std::vector<Track> replaceEmbeddedTracks(const std::vector<Track>& tracks);
    void replaceRows(const std::unordered_map<FileURL, std::vector<Track>>& replacements);
    bool followReplacement(const Track& replaced, std::int64_t first, const std::vector<Track>& replacement);
    void storeArrivedStreamInfo();
    void readPlayingTags(const Track& track, const FileURL& file);

    // What the metadata cache knows of the rows' files (PlayerControllerCache.cpp).
    struct CacheLookups;
    struct CachePass;
    void lookUpKnownFacts();
    void lookUpKnown(std::size_t first, std::size_t end, bool withNames);
    static void lookUpRows(std::shared_ptr<CachePass> pass);
    void receiveKnown(SharedDurations durations, std::optional<SharedValue<TagNames::Map>> names);
    void startTagNames(bool shows);
    void receiveTags(const MediaTags& tags);
    void storeArrivedTagNames();
    void fillCache(std::size_t first);
    void receiveLearned(std::vector<CacheFiller::Learned> learned);
    void holdFillerWhileCopying();

    std::shared_ptr<PlayerController*> self_ = std::make_shared<PlayerController*>(this);
    Environment environment_;
    // Shared with every completion that crosses threads, so one that arrives after the
    // controller is gone still has a live executor to hop through. Declared before the
    // background executor, whose last jobs (a stream read under way) still report through it.
    std::shared_ptr<Executor> mainThread_;
    std::unique_ptr<SerialExecutor> ownBackground_;
    Executor& background_;

    PlayerModel& model_;
    Playback playback_;
    MetadataReader metadata_;
    AudioFileCache& cache_;
    // Shared with the background reads that store pictures, which may outlive the controller.
    std::shared_ptr<CoverArtCache> coverArt_;
    std::chrono::nanoseconds stallLimit_;
    DownloadStates downloadStates_;
    // The network files among the rows, with how many rows name each: the file states and the
    // copies ahead are about these alone, so an edit finds them without a pass over the rows.
    std::unordered_map<FileURL, std::size_t> remoteRows_;
    PlaylistIndex index_; // of every row, kept with each edit
    std::int64_t firstShownRow_ = 0;
    std::int64_t shownRowCount_ = 64; // more than the tallest window shows before it says
    StreamInfoMap arrivedStreamInfo_; // read, and waiting to go into the model together
    TagNames::Map arrivedTagNames_; // the same for tag names, while they are shown
    std::shared_ptr<CacheLookups> cacheLookups_; // made at the first lookup
    std::vector<FileURL> arrivedCopies_; // with a metadata cache: copies to read, shown or not
    // Network files whose last copy or size query failed, also while a copy is tried again.
    std::unordered_set<FileURL> knownUnreachable_;
    std::uint64_t seenEvictions_ = 0; // the cache's count when the rows shown cached were last checked
    std::optional<std::stop_source> pendingPlayback_;
    std::deque<BackgroundAdd> pendingAdds_; // the front one runs; the others wait behind it
    std::int64_t addCount_ = 0;
    Preferences& defaults_;
    PlaylistStore store_;
    std::unique_ptr<SerialExecutor> ownSums_;
    DurationSum durationSum_;
    Subscription durationsSubscription_; // after the sum: it goes first
    std::unique_ptr<RepeatingTimer> timer_;
    bool isWindowShown_ = true;
    bool hasLookedAhead_ = false; // the upcoming track has been worked out for this one
    std::optional<Track> shufflePick_; // the random row picked ahead, until it plays
    std::unique_ptr<RepeatingTimer> sleepTimer_;
    // Armed only while the device is away and nobody has paused or stopped since: the player
    // was playing, so it plays on by itself once a device opens.
    std::unique_ptr<RepeatingTimer> deviceRetry_;
    std::optional<MonotonicClock::time_point> sleepDeadline_;
    // How long the filler keeps off the disk when a file starts to play.
    static constexpr auto fillerPauseAtStart = std::chrono::seconds(3);
    // Its thread reports through the main thread, holding the controller weakly.
    std::unique_ptr<CacheFiller> filler_;
    // Last: its threads and completions go before anything they could report to.
    std::unique_ptr<Downloader> downloader_;
};

} // namespace lh
