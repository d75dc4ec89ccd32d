#pragma once

#include "AudioFileCache.h"
#include "AudioPlaying.h"
#include "ManualExecutor.h"
#include "ManualTimers.h"
#include "PlayerController.h"
#include "PlayerModel.h"
#include "Preferences.h"
#include "RemoteFileAccess.h"
#include "TrackInfoReading.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace lh::test {

// An engine that plays nothing: files whose path ends in ".bad" fail to load, every other
// file lasts `fileDuration` seconds, and the position is whatever the test sets.
class FakeEngine final : public AudioPlaying {
public:
    void setOnFinishedPlaying(std::function<void()> onFinished) override { onFinished_ = std::move(onFinished); }
    float volume() const override { return volume_; }
    void setVolume(float volume) override { volume_ = volume; }
    void setGain(float factor) override { gain = factor; }
    double currentTime() const override { return loaded ? time : 0; }
    void setCurrentTime(double seconds) override
    {
        takeBack();
        time = seconds;
    }
    double duration() const override { return loaded ? fileDuration : 0; }
    void setPlayingWindowEnd(std::optional<double>) override { }
    bool setContinuation(std::optional<Continuation> next) override
    {
        if (isJoinMade && next != continuation)
            return false;
        continuation = std::move(next);
        return true;
    }
    bool takeContinuation() override
    {
        if (!isJoinHeard)
            return false;
        continuation.reset();
        isJoinMade = false;
        isJoinHeard = false;
        return true;
    }
    void load(const FileURL& url) override;
    void play() override { isPlaying = true; }
    void pause() override
    {
        isPlaying = false;
        if (!isJoinHeard)
            takeBack();
    }
    void stop() override
    {
        takeBack();
        loaded.reset();
        isPlaying = false;
    }

    // The frames of the continuation leave for the device: too late to change it.
    void makeJoin() { isJoinMade = continuation.has_value(); }
    // The continuation is heard, `seconds` into its window.
    void hearJoin(double seconds)
    {
        makeJoin();
        if (!isJoinMade)
            return;
        fileBeforeJoin = loaded;
        loaded = continuation->file;
        time = continuation->start + seconds;
        isJoinHeard = true;
    }
    // Back to the file before a join not yet taken, with nothing armed.
    void takeBack()
    {
        if (isJoinHeard)
            loaded = fileBeforeJoin;
        continuation.reset();
        isJoinMade = false;
        isJoinHeard = false;
    }
    PowerLevels readPowerLevels() override { return levels; }
    void setOnDeviceTrouble(std::function<void(DeviceTrouble)> onTrouble) override { onTrouble_ = std::move(onTrouble); }
    void setStreamTitle(const std::string& title) override { streamTitle = title; }
    void setOnOutputDevicesChanged(std::function<void(std::vector<OutputDevice>)> onChanged) override { onDevices = std::move(onChanged); }
    void setOutputDevice(const std::string& name) override { outputDevice = name; }

    // What the engine does when its device goes or cannot be opened: it pauses by itself.
    void failDevice(DeviceTrouble trouble)
    {
        isPlaying = false;
        takeBack();
        if (onTrouble_)
            onTrouble_(trouble);
    }

    bool retryDevice() override
    {
        isPlaying = hasDevice && loaded;
        return isPlaying;
    }

    // What the engine's own end-of-file notice would do.
    void finish()
    {
        if (onFinished_)
            onFinished_();
    }

    std::optional<FileURL> loaded;
    std::optional<FileURL> fileBeforeJoin;
    std::vector<std::string> loads; // file names, in order
    bool isPlaying = false;
    bool hasDevice = true; // what retryDevice() finds
    double time = 0;
    double fileDuration = 100;
    float volume_ = 1;
    float gain = 1;
    PowerLevels levels { 0, 0 };
    std::optional<Continuation> continuation;
    bool isJoinMade = false;
    bool isJoinHeard = false;
    std::string streamTitle;
    std::string outputDevice;
    std::function<void(std::vector<OutputDevice>)> onDevices;

private:
    std::function<void()> onFinished_;
    std::function<void(DeviceTrouble)> onTrouble_;
};

// Reads nothing: every file but the `unreadable` ones has the same stream, every tag read gives
// "Tagged", and the files of `embeddedSheets` hold those sheets. Records, by file name, what was
// read; the record is guarded, as readers are called from any thread.
class FakeReader final : public TrackInfoReading {
public:
    TrackInfo readInfo(const FileURL& url, const FileURL& file) const override;
    StreamInfo readStream(const FileURL& file) const override;
    MediaTags readTags(const FileURL& url, const FileURL& file) const override;
    std::optional<CueSheet> readCueSheet(const FileURL& file) const override;
    std::vector<std::string> sheetReads() const;
    std::vector<std::string> streamReads() const;
    std::vector<std::string> tagReads() const;
    std::map<std::string, std::string> embeddedSheets; // path → the sheet inside that file
    std::map<std::string, ReplayGain> gains; // file name → its tags' gains
    std::set<std::string> unreadable; // paths: missing, not audio or not a regular file
    std::function<void()> duringStreamRead; // runs inside every stream read, on its thread

private:
    std::vector<std::string> readsOf(const std::vector<std::string>& reads) const;
    void record(std::vector<std::string>& reads, const FileURL& file) const;
    mutable std::mutex mutex_;
    mutable std::vector<std::string> sheetReads_;
    mutable std::vector<std::string> streamReads_;
    mutable std::vector<std::string> tagReads_;
};

// A share whose files are names the test lists; files can go missing or the share away.
class FakeRemoteFiles final : public RemoteFileAccess {
public:
    std::int64_t size(const FileURL& url) override;
    void copy(const FileURL& source, const FileURL& destination, const Progress& progress) override;
    bool isAway = false;
    std::set<std::string> missing; // file names
};

// A controller over fakes: its executors, timers, clock and random numbers are stepped by the
// test. Files under "/share/" are network files; cue sheets come from `sheets`.
class ControllerTest : public ::testing::Test {
protected:
    ControllerTest();
    ~ControllerTest() override;

    void start();
    // Runs every executor until nothing is left to do.
    void settle();

    static FileURL url(const std::string& path) { return FileURL(path); }
    static Track wholeFile(const std::string& path);
    static Track cueTrack(const std::string& path, double start, std::optional<double> end, const char* title);
    // Stores `tracks` as the saved playlist and starts a controller over it.
    void startWith(const std::vector<Track>& tracks);
    void putInCache(const std::string& path);
    void perform(const Command& command) { controller->perform(command); }
    std::vector<std::string> loadedNames() const { return engine.loads; }

    QTemporaryDir dir;
    std::unique_ptr<Preferences> defaults;
    PlayerModel model;
    FakeEngine engine;
    std::shared_ptr<FakeReader> reader = std::make_shared<FakeReader>();
    std::shared_ptr<FakeRemoteFiles> files = std::make_shared<FakeRemoteFiles>();
    std::unique_ptr<AudioFileCache> cache;
    ManualExecutor mainThread;
    ManualExecutor background;
    ManualExecutor actor;
    ManualExecutor threads;
    ManualTimers timers;
    MonotonicClock::time_point now {};
    std::function<std::int64_t(std::int64_t, std::int64_t)> random = [](std::int64_t lower, std::int64_t) { return lower; };
    std::function<QString(const Track&)> streamTitle;
    std::shared_ptr<MetadataCache> metadataCache; // none unless the test makes one
    std::map<std::string, std::string> sheets; // path → text
    std::map<std::string, std::vector<std::string>> folders; // path → names
    std::vector<StallRuntime::Tick> watchdogs;
    MonotonicClock::time_point stallNow {};
    std::chrono::nanoseconds stallClockStep {}; // how far the import's clock moves at each look
    static constexpr auto stallLimit = std::chrono::seconds(15);
    std::unique_ptr<PlayerController> controller;
};

} // namespace lh::test
