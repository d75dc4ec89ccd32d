#include "AudioFileCache.h"
#include "MetadataCache.h"
#include "BenchmarkRun.h"
#include "PlayerController.h"
#include "PlayerModel.h"
#include "PlaylistStore.h"
#include "Preferences.h"
#include "RootView.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <deque>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include <time.h>

namespace {

using namespace lh;
using Clock = std::chrono::steady_clock;

// The calling thread's own processor time: what the main thread pays, even on a machine so
// busy that wall time mostly measures waiting for a core.
std::chrono::duration<double> threadTime()
{
    timespec now {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// Runs jobs only when told, so the main thread's share of the work can be timed on its own.
class HeldExecutor final : public Executor {
public:
    void execute(std::function<void()> job) override { jobs_.push_back(std::move(job)); }
    void runAll()
    {
        while (!jobs_.empty()) {
            auto job = std::move(jobs_.front());
            jobs_.pop_front();
            job();
        }
    }
    void drop() { jobs_.clear(); }
    bool runOne()
    {
        if (jobs_.empty())
            return false;
        auto job = std::move(jobs_.front());
        jobs_.pop_front();
        job();
        return true;
    }
    std::size_t size() const { return jobs_.size(); }

private:
    std::deque<std::function<void()>> jobs_;
};

// Plays silence that is always loud enough to move the meters.
class QuietEngine final : public AudioPlaying {
public:
    void setOnFinishedPlaying(std::function<void()>) override { }
    float volume() const override { return 1; }
    void setVolume(float) override { }
    double currentTime() const override { return time_ += 0.05; }
    void setCurrentTime(double seconds) override { time_ = seconds; }
    double duration() const override { return 1e9; }
    void setPlayingWindowEnd(std::optional<double>) override { }
    void load(const FileURL&) override { }
    void play() override { }
    void pause() override { }
    void stop() override { }
    PowerLevels readPowerLevels() override { return { -12, -18 }; }

private:
    mutable double time_ = 0;
};

class NoReader final : public TrackInfoReading {
public:
    TrackInfo readInfo(const FileURL& url, const FileURL&) const override { return TrackInfo::placeholder(url); }
    StreamInfo readStream(const FileURL&) const override
    {
        StreamInfo info;
        info.duration = 241.5;
        return info;
    }
    MediaTags readTags(const FileURL& url, const FileURL&) const override { return MediaTags { url, {}, {}, {}, {}, {}, {}, {}, {}, {}, {} }; }
};

class NoShare final : public RemoteFileAccess {
public:
    std::int64_t size(const FileURL&) override { return 0; }
    void copy(const FileURL&, const FileURL&, const Progress&) override { }
};

// A controller over stand-ins whose executors, threads and timers run only when the
// benchmark says; cue sheets and folders come from memory.
struct Bench {
    Bench()
    {
        for (int sheet = 0; sheet < 100; ++sheet) {
            std::string text = "PERFORMER \"Band\"\nFILE \"album.flac\" WAVE\n";
            for (int track = 1; track <= 10; ++track)
                text += "  TRACK " + std::to_string(track) + " AUDIO\n    TITLE \"Piece " + std::to_string(track)
                    + "\"\n    INDEX 01 " + std::to_string(track * 3) + ":00:00\n";
            sheets["/music/album" + std::to_string(sheet) + "/album.cue"] = text;
        }
    }

    void start()
    {
        controller.reset();
        PlayerController::Environment environment {
            .isRemote = {}, // the real mount list
            .readFile = [this](const FileURL& url) -> std::optional<QByteArray> {
                const auto sheet = sheets.find(url.path());
                return sheet == sheets.end() ? std::nullopt : std::optional(QByteArray::fromStdString(sheet->second));
            },
            .listFolder = [this](const FileURL& folder) {
                const auto listed = folders.find(folder.path());
                return listed == folders.end() ? std::vector<std::string> { "album.cue", "album.flac" } : listed->second;
            },
            .random = [](std::int64_t lower, std::int64_t) { return lower; },
            .now = [] { return MonotonicClock::time_point {}; },
            .makeTimer = [](double, std::function<void()>) -> std::unique_ptr<RepeatingTimer> { return nullptr; },
            .mainThread = &mainThread,
            .background = &background,
            .downloads = &downloads,
            .stallRuntime = StallRuntime {
                .startThread = [this](StallRuntime::Job job) { threads.execute(std::move(job)); },
                .startWatchdog = [](std::chrono::nanoseconds, StallRuntime::Tick) {},
                .now = [] { return MonotonicClock::time_point {}; },
            },
            .metadataCache = metadataCache,
            .sums = &sums,
            .fillsMetadataCache = false,
        };
        controller = std::make_unique<PlayerController>(model, engine, std::make_shared<NoReader>(), cache,
            std::make_shared<NoShare>(), std::chrono::seconds(15), defaults, QStringLiteral("savedPlaylist"),
            std::move(environment));
    }

    // A controller over an empty playlist, with nothing left to run.
    void startEmpty()
    {
        controller.reset(); // first: it stores a save still pending as it goes
        model.tracks.set({});
        PlaylistStore(defaults, QStringLiteral("savedPlaylist")).save({});
        start();
        drain();
    }

    void drain()
    {
        background.drop();
        downloads.runAll();
        mainThread.runAll();
    }

    QTemporaryDir dir;
    Preferences defaults { dir.path() + "/preferences.json" };
    AudioFileCache cache { FileURL(dir.path().toStdString() + "/cache", true), 1'000'000 };
    PlayerModel model;
    QuietEngine engine;
    HeldExecutor mainThread;
    HeldExecutor background;
    HeldExecutor downloads;
    HeldExecutor threads;
    HeldExecutor sums; // the total duration's: a thread of its own in the player
    std::map<std::string, std::string> sheets; // and playlist files
    std::map<std::string, std::vector<std::string>> folders; // the rest hold one album each
    std::shared_ptr<MetadataCache> metadataCache; // none unless a benchmark makes one
    std::unique_ptr<PlayerController> controller;
};

// A thousand ticks of the playback timer while a track plays.
void thousandTicks(benchmark::State& state)
{
    Bench bench;
    Track track;
    track.url = FileURL("/music/a.flac");
    PlaylistStore(bench.defaults, QStringLiteral("savedPlaylist")).save({ track });
    bench.start();
    bench.controller->perform(PlayTrackCommand(0));
    for (auto _ : state) {
        for (int tick = 0; tick < 1000; ++tick)
            bench.controller->perform(PlaybackTickCommand());
    }
    benchmark::DoNotOptimize(bench.model.leftLevel.value());
}
BENCHMARK(thousandTicks)->Unit(benchmark::kMicrosecond);

// One add of 100 cue sheets (ten tracks each) and 9,000 plain files: the time the main thread
// spends on it (the request, then appending, saving and refreshing), without the import that
// runs in the background.
void addTenThousandTracks(benchmark::State& state)
{
    Bench bench;
    std::vector<FileURL> urls;
    for (int sheet = 0; sheet < 100; ++sheet)
        urls.emplace_back("/music/album" + std::to_string(sheet) + "/album.cue");
    for (int file = 0; file < 9000; ++file)
        urls.emplace_back("/music/singles/" + std::to_string(file) + ".flac");
    for (auto _ : state) {
        bench.startEmpty();
        const auto requested = Clock::now();
        bench.controller->perform(AddTracksCommand(urls));
        const auto returned = Clock::now();
        bench.threads.runAll(); // the background import
        const auto appending = Clock::now();
        bench.mainThread.runAll();
        const auto appended = Clock::now();
        if (bench.model.tracks.value().size() != 10000)
            state.SkipWithError("not every track was added");
        state.SetIterationTime(std::chrono::duration<double>((returned - requested) + (appended - appending)).count());
        bench.drain();
    }
}
BENCHMARK(addTenThousandTracks)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

// Removing every twentieth row of a 100,000-row playlist with the current row kept.
void removeFiveThousandRows(benchmark::State& state)
{
    Bench bench;
    std::vector<Track> tracks;
    for (int row = 0; row < 100'000; ++row)
        tracks.emplace_back().url = FileURL("/music/" + std::to_string(row / 10) + "/" + std::to_string(row) + ".flac");
    std::set<std::int64_t> rows;
    for (std::int64_t row = 0; row < 100'000; row += 20)
        rows.insert(row);
    double threadSeconds = 0;
    for (auto _ : state) {
        bench.controller.reset(); // first: it stores a save still pending as it goes
        bench.model.tracks.set({});
        PlaylistStore(bench.defaults, QStringLiteral("savedPlaylist")).save(tracks);
        bench.start();
        bench.controller->perform(PlayTrackCommand(50'001));
        bench.drain();
        const auto started = Clock::now();
        const auto startedOnThread = threadTime();
        bench.controller->perform(RemoveTracksCommand(rows));
        const auto finished = Clock::now();
        threadSeconds += (threadTime() - startedOnThread).count();
        if (bench.model.tracks.value().size() != 95'000 || bench.model.currentIndex.value() != 47'500)
            state.SkipWithError("wrong rows removed");
        state.SetIterationTime(std::chrono::duration<double>(finished - started).count());
        bench.drain();
    }
    state.counters["main_thread_ms"] = benchmark::Counter(1000 * threadSeconds / static_cast<double>(state.iterations()));
}
BENCHMARK(removeFiveThousandRows)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

// The part of that removal spent saving the remaining rows, for comparison.
void saveNinetyFiveThousandRows(benchmark::State& state)
{
    Bench bench;
    std::vector<Track> tracks;
    for (int row = 0; row < 95'000; ++row)
        tracks.emplace_back().url = FileURL("/music/" + std::to_string(row / 10) + "/" + std::to_string(row) + ".flac");
    PlaylistStore store(bench.defaults, QStringLiteral("savedPlaylist"));
    for (auto _ : state)
        store.save(tracks);
}
BENCHMARK(saveNinetyFiveThousandRows)->Iterations(5)->Unit(benchmark::kMillisecond);

double threadCpuSeconds()
{
    timespec now {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Adding a folder of 10,000 files in 1,000 folders (100 artists of 9 albums): the whole add,
// from the request through the walk and import to the rows on the list, as the iteration
// time, and the main thread's part of it as "main_thread_ms" (the request, then appending the
// rows, which costs what appending as many files costs).
void addFolderOfTenThousandFiles(benchmark::State& state)
{
    Bench bench;
    const std::string top = bench.dir.path().toStdString() + "/Library";
    for (int artist = 0; artist < 100; ++artist) {
        const std::string artistFolder = top + "/Artist " + std::to_string(artist);
        QDir().mkpath(QString::fromStdString(artistFolder));
        std::ofstream(artistFolder + "/Single.mp3");
        for (int album = 0; album < 9; ++album) {
            const std::string albumFolder = artistFolder + "/Album " + std::to_string(album);
            QDir().mkpath(QString::fromStdString(albumFolder));
            for (int song = 1; song <= 11; ++song)
                std::ofstream(albumFolder + "/" + std::to_string(song) + " Song.flac");
        }
    }
    double mainThreadSeconds = 0;
    double requestSeconds = 0;
    double mainThreadCpuSeconds = 0;
    double totalCpuSeconds = 0;
    for (auto _ : state) {
        bench.startEmpty();
        const auto requested = Clock::now();
        const double requestedCpu = threadCpuSeconds();
        bench.controller->perform(AddTracksCommand({ FileURL(top) }));
        const auto returned = Clock::now();
        const double returnedCpu = threadCpuSeconds();
        bench.threads.runAll(); // the walk and the import, on their own thread in the player
        const auto appending = Clock::now();
        const double appendingCpu = threadCpuSeconds();
        bench.mainThread.runAll();
        const auto appended = Clock::now();
        mainThreadCpuSeconds += (returnedCpu - requestedCpu) + (threadCpuSeconds() - appendingCpu);
        totalCpuSeconds += threadCpuSeconds() - requestedCpu;
        if (bench.model.tracks.value().size() != 10000)
            state.SkipWithError("not every file was added");
        requestSeconds += std::chrono::duration<double>(returned - requested).count();
        mainThreadSeconds += std::chrono::duration<double>((returned - requested) + (appended - appending)).count();
        state.SetIterationTime(std::chrono::duration<double>(appended - requested).count());
        bench.drain();
    }
    state.counters["main_thread_ms"] = benchmark::Counter(mainThreadSeconds * 1000, benchmark::Counter::kAvgIterations);
    // The request alone: the walk never runs there.
    state.counters["request_ms"] = benchmark::Counter(requestSeconds * 1000, benchmark::Counter::kAvgIterations);
    // Processor time, which a busy machine does not inflate as it does the wall clock.
    state.counters["main_thread_cpu_ms"] = benchmark::Counter(mainThreadCpuSeconds * 1000, benchmark::Counter::kAvgIterations);
    state.counters["total_cpu_ms"] = benchmark::Counter(totalCpuSeconds * 1000, benchmark::Counter::kAvgIterations);
}
BENCHMARK(addFolderOfTenThousandFiles)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

// Opening an M3U8 of 100,000 local files (1,000 folders of 100), as another player writes it:
// the whole add, from the request through reading and checking the list to the rows on the
// list, as the iteration time; the main thread's processor time and its longest single job.
void addHundredThousandEntryList(benchmark::State& state)
{
    Bench bench;
    std::string list = "#EXTM3U\n";
    for (int folder = 0; folder < 1000; ++folder) {
        std::vector<std::string>& names = bench.folders["/music/Artist " + std::to_string(folder)];
        for (int song = 1; song <= 100; ++song) {
            names.push_back(std::to_string(song) + " Song.flac");
            list += "#EXTINF:" + std::to_string(180 + song) + ",Artist " + std::to_string(folder) + " - Song " + std::to_string(song)
                + "\n/music/Artist " + std::to_string(folder) + "/" + names.back() + "\n";
        }
    }
    bench.sheets["/music/all.m3u8"] = list;
    double mainThreadCpuSeconds = 0;
    double longestJob = 0;
    for (auto _ : state) {
        bench.startEmpty();
        const auto requested = Clock::now();
        const double requestedCpu = threadCpuSeconds();
        bench.controller->perform(AddTracksCommand({ FileURL("/music/all.m3u8") }));
        mainThreadCpuSeconds += threadCpuSeconds() - requestedCpu;
        longestJob = std::max(longestJob, threadCpuSeconds() - requestedCpu);
        bench.threads.runAll(); // reading the list and importing, on their own thread in the player
        while (bench.mainThread.size() > 0) {
            const double jobStart = threadCpuSeconds();
            bench.mainThread.runOne();
            mainThreadCpuSeconds += threadCpuSeconds() - jobStart;
            longestJob = std::max(longestJob, threadCpuSeconds() - jobStart);
        }
        const auto appended = Clock::now();
        if (bench.model.tracks.value().size() != 100'000)
            state.SkipWithError("not every entry became a row");
        state.SetIterationTime(std::chrono::duration<double>(appended - requested).count());
        bench.drain();
    }
    state.counters["main_thread_cpu_ms"] = benchmark::Counter(mainThreadCpuSeconds * 1000, benchmark::Counter::kAvgIterations);
    state.counters["longest_main_thread_job_ms"] = 1000 * longestJob;
}
BENCHMARK(addHundredThousandEntryList)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

// The edits a user makes to a playlist of a million restored rows (one in a hundred on a share),
// with the window shown over the model: the main thread's processor time for the edit itself,
// then for the completions it hands back and the window's repaint. "rows" is the playlist's
// length after the edit.
enum class Edit { addOne, addTenThousand, removeOne, removeFiveThousand, streamDescription, downloadReport };

struct MillionRows {
    static constexpr int count = 1'000'000;

    MillionRows()
    {
        std::vector<Track> tracks;
        tracks.reserve(count);
        for (int row = 0; row < count; ++row)
            tracks.push_back(track(row));
        PlaylistStore(bench.defaults, QStringLiteral("savedPlaylist")).save(tracks);
        bench.start();
        view = std::make_unique<RootView>(bench.model, *bench.controller, bench.defaults);
        view->resize(360, 540);
        view->show();
        settle();
    }

    static Track track(int row)
    {
        Track track;
        const bool isRemote = row % 100 == 0;
        track.url = FileURL((isRemote ? "/media/nas/Music/Artist " : "/home/me/Music/Artist ") + std::to_string(row / 1000)
            + "/Album " + std::to_string(row / 10 % 100) + "/" + std::to_string(row % 10 + 1) + " Song " + std::to_string(row) + ".flac");
        track.isRemote = isRemote;
        return track;
    }

    // Everything the player would do by itself once idle: reads, copies and their reports.
    void settle()
    {
        while (bench.background.runOne() || bench.downloads.runOne() || bench.mainThread.runOne()) { }
        QApplication::processEvents();
    }

    Bench bench;
    std::unique_ptr<RootView> view;
    int added = 0;
};

void edit(benchmark::State& state)
{
    MillionRows rows;
    Bench& bench = rows.bench;
    const auto kind = Edit(state.range(0));
    double editSeconds = 0;
    double longestLater = 0;
    for (auto _ : state) {
        std::vector<FileURL> urls;
        std::set<std::int64_t> indices;
        const int adding = kind == Edit::addTenThousand ? 10'000 : kind == Edit::removeOne || kind == Edit::removeFiveThousand ? 0 : 1;
        // A stream read or a copy comes after an add of a local or a network file.
        const char* folder = kind == Edit::downloadReport ? "/media/nas/New/" : "/home/me/Music/New/";
        for (int i = 0; i < adding; ++i)
            urls.emplace_back(folder + std::to_string(rows.added++) + ".flac");
        for (std::int64_t row = 1; row < (kind == Edit::removeOne ? 2 : MillionRows::count); row += 200)
            indices.insert(row);

        const double start = threadCpuSeconds();
        if (kind == Edit::removeOne || kind == Edit::removeFiveThousand)
            bench.controller->perform(RemoveTracksCommand(indices));
        else
            bench.controller->perform(AddTracksCommand(urls));
        QApplication::processEvents();
        const double edited = threadCpuSeconds();
        if (kind != Edit::streamDescription && kind != Edit::downloadReport)
            editSeconds += edited - start;

        // What comes back later, one main-thread job at a time, each with the repaint it causes:
        // the stored form handed to the store, dropped map entries, a description read, a copy's
        // report. The longest of them is what could drop a frame.
        double longest = 0;
        while (bench.background.runOne() || bench.downloads.runOne() || bench.threads.runOne()) {
            while (bench.mainThread.size() > 0) {
                const double jobStart = threadCpuSeconds();
                bench.mainThread.runOne();
                QApplication::processEvents();
                longest = std::max(longest, threadCpuSeconds() - jobStart);
            }
        }
        longestLater += longest;
    }
    const auto iterations = double(state.iterations());
    state.counters["edit_ms"] = 1000 * editSeconds / iterations;
    state.counters["longest_later_job_ms"] = 1000 * longestLater / iterations;
    state.counters["rows"] = double(bench.model.tracks.value().size());
}
BENCHMARK(edit)
    ->ArgName("edit")
    ->DenseRange(0, 5)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

// A launch over a million restored rows whose files the metadata cache knows, the window
// shown: processor time until the rows in view and all rows have their durations (and, with
// Show Tag Titles, their names), and the longest the main thread is held by one job with the
// repaint it causes. Everything runs on this thread one job at a time, so the times add up what
// the background and the main thread each spend.
void launchWithMillionKnownFiles(benchmark::State& state)
{
    const bool withNames = state.range(0) != 0;
    QTemporaryDir folder;
    HeldExecutor writer;
    MetadataCache::Options options;
    options.writer = &writer;
    auto cache = std::make_shared<MetadataCache>(folder.filePath("metadata").toStdString(), options);
    for (int row = 0; row < MillionRows::count; ++row) {
        FileFacts facts;
        facts.stamp = { 30'000'000, 1'700'000'000'000'000'000 };
        facts.stream = StreamInfo { 180.0 + row % 300, 900'000, 44'100.0, 2 };
        facts.tags = MediaTags {};
        facts.tags->title = QStringLiteral("Song number %1").arg(row);
        facts.tags->artists = { QStringLiteral("Artist %1").arg(row / 1000) };
        cache->record(MillionRows::track(row).url.path(), std::move(facts));
        if (row % 100'000 == 0)
            writer.runAll();
    }
    writer.runAll();
    cache.reset();
    writer.runAll();

    for (auto _ : state) {
        Bench bench;
        std::vector<Track> tracks;
        tracks.reserve(MillionRows::count);
        for (int row = 0; row < MillionRows::count; ++row)
            tracks.push_back(MillionRows::track(row));
        PlaylistStore(bench.defaults, QStringLiteral("savedPlaylist")).save(tracks);
        bench.defaults.set(withNames, QStringLiteral("showsTagTitles"));
        bench.metadataCache = std::make_shared<MetadataCache>(folder.filePath("metadata").toStdString(), options);
        bench.start();
        RootView view(bench.model, *bench.controller, bench.defaults);
        view.resize(360, 540);
        view.show();
        QApplication::processEvents();

        // Each executor's own time: in the player each is a thread of its own, so the rows in
        // view wait only for the database to open and for the background's jobs before theirs.
        std::map<HeldExecutor*, double> spentBy;
        const double openStart = threadCpuSeconds();
        writer.runOne(); // opens, lets the launch's lookups go, then prunes (in parallel with them)
        const double opening = threadCpuSeconds() - openStart;
        double firstScreenful = 0;
        double longestMain = 0;
        const auto known = [&] { return bench.model.knownDurations.value().size(); };
        const auto timed = [&](HeldExecutor& executor, bool isMain) {
            const double start = threadCpuSeconds();
            const bool ran = executor.runOne();
            if (ran && isMain)
                QApplication::processEvents();
            const double spent = threadCpuSeconds() - start;
            spentBy[&executor] += spent;
            if (isMain)
                longestMain = std::max(longestMain, spent);
            if (firstScreenful == 0 && known() > 0)
                firstScreenful = spentBy[&writer] + spentBy[&bench.background] + spentBy[&bench.mainThread];
            return ran;
        };
        // One job of each in turn, as threads of their own would go on side by side.
        while (timed(bench.background, false) | timed(bench.mainThread, true) | timed(writer, false)
            | timed(bench.sums, false)) { }
        state.counters["open_ms"] = 1000 * opening;
        state.counters["firstScreenful_ms"] = 1000 * firstScreenful;
        state.counters["background_ms"] = 1000 * spentBy[&bench.background];
        state.counters["main_ms"] = 1000 * spentBy[&bench.mainThread];
        state.counters["writer_ms"] = 1000 * spentBy[&writer];
        state.counters["sums_ms"] = 1000 * spentBy[&bench.sums];
        state.counters["longestMainThreadJob_ms"] = 1000 * longestMain;
        state.counters["known"] = double(known());
        state.counters["named"] = double(bench.model.tagNames.value().known->size());
        bench.controller.reset();
        bench.metadataCache.reset();
        writer.runAll();
    }
}
BENCHMARK(launchWithMillionKnownFiles)->ArgName("tagTitles")->DenseRange(0, 1)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
