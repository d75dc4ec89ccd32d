#include "ControllerFixture.h"

#include "FileErrors.h"
#include "PlaylistStore.h"

#include <fstream>

namespace lh::test {

void FakeEngine::load(const FileURL& url)
{
    if (url.path().ends_with(".bad"))
        throw AudioLoadError("unplayable");
    takeBack();
    loaded = url;
    gain = 1;
    loads.push_back(url.lastPathComponent());
    isPlaying = false;
    time = 0;
}

TrackInfo FakeReader::readInfo(const FileURL& url, const FileURL& file) const
{
    TrackInfo info = TrackInfo::placeholder(url);
    info.isLoading = false;
    if (unreadable.contains(file.path()))
        return info;
    info.title = QStringLiteral("Tagged");
    info.artist = QStringLiteral("Tag Artist");
    info.duration = 600;
    return info;
}

StreamInfo FakeReader::readStream(const FileURL& file) const
{
    record(streamReads_, file);
    if (duringStreamRead)
        duringStreamRead();
    if (unreadable.contains(file.path()))
        return {};
    const auto gain = gains.find(file.lastPathComponent());
    return StreamInfo { .duration = 600, .bitRate = 320000, .sampleRate = 44100, .channels = 2,
        .replayGain = gain == gains.end() ? ReplayGain {} : gain->second };
}

std::optional<CueSheet> FakeReader::readCueSheet(const FileURL& file) const
{
    record(sheetReads_, file);
    const auto sheet = embeddedSheets.find(file.path());
    return sheet == embeddedSheets.end() ? std::nullopt : std::optional(CueSheet(QString::fromStdString(sheet->second)));
}

MediaTags FakeReader::readTags(const FileURL& url, const FileURL& file) const
{
    record(tagReads_, file);
    MediaTags tags;
    tags.url = url;
    if (unreadable.contains(file.path()))
        return tags;
    tags.title = QStringLiteral("Tagged");
    tags.artwork = QByteArray("\x89PNG\r\n\x1A\n", 8);
    return tags;
}

std::vector<std::string> FakeReader::sheetReads() const { return readsOf(sheetReads_); }
std::vector<std::string> FakeReader::streamReads() const { return readsOf(streamReads_); }
std::vector<std::string> FakeReader::tagReads() const { return readsOf(tagReads_); }

std::vector<std::string> FakeReader::readsOf(const std::vector<std::string>& reads) const
{
    std::lock_guard lock(mutex_);
    return reads;
}

void FakeReader::record(std::vector<std::string>& reads, const FileURL& file) const
{
    std::lock_guard lock(mutex_);
    reads.push_back(file.lastPathComponent());
}

std::int64_t FakeRemoteFiles::size(const FileURL& url)
{
    if (isAway)
        throw FileError(EIO, "away");
    if (missing.contains(url.lastPathComponent()))
        throw MissingFileError();
    return 4;
}

void FakeRemoteFiles::copy(const FileURL& source, const FileURL& destination, const Progress& progress)
{
    size(source);
    progress();
    std::ofstream(destination.path(), std::ios::binary) << "data";
    progress();
}

ControllerTest::ControllerTest()
{
    defaults = std::make_unique<Preferences>(dir.path() + "/preferences.json");
    cache = std::make_unique<AudioFileCache>(FileURL(dir.path().toStdString() + "/cache", true), 1'000'000);
}

ControllerTest::~ControllerTest()
{
    controller.reset();
    settle(); // lets the downloader's last jobs run against a controller that is gone
}

void ControllerTest::start()
{
    PlayerController::Environment environment {
        .isRemote = [](const FileURL& url) { return url.path().starts_with("/share/"); },
        .readFile = [this](const FileURL& url) -> std::optional<QByteArray> {
            const auto sheet = sheets.find(url.path());
            if (sheet == sheets.end())
                return std::nullopt;
            return QByteArray::fromStdString(sheet->second);
        },
        .listFolder = [this](const FileURL& url) {
            std::string path = url.path();
            if (path.ends_with('/'))
                path.pop_back();
            return folders[path];
        },
        .random = [this](std::int64_t lower, std::int64_t upper) { return random(lower, upper); },
        .now = [this] { return now; },
        .makeTimer = timers.factory(),
        .mainThread = &mainThread,
        .background = &background,
        .downloads = &actor,
        .stallRuntime = StallRuntime {
            .startThread = [this](StallRuntime::Job job) { threads.execute(std::move(job)); },
            .startWatchdog = [this](std::chrono::nanoseconds, StallRuntime::Tick tick) { watchdogs.push_back(std::move(tick)); },
            .now = [this] { return stallNow += stallClockStep; },
        },
        .streamTitle = streamTitle,
        .metadataCache = metadataCache,
        .sums = &background,
        .fillsMetadataCache = false, // a thread of its own: CacheFillerTests run it
    };
    controller = std::make_unique<PlayerController>(model, engine, reader, *cache, files, stallLimit, *defaults,
        QStringLiteral("savedPlaylist"), std::move(environment));
}

void ControllerTest::settle()
{
    while (actor.runAll() + threads.runAll() + mainThread.runAll() + background.runAll() > 0) { }
}

Track ControllerTest::wholeFile(const std::string& path)
{
    Track track;
    track.url = FileURL(path);
    track.isRemote = path.starts_with("/share/");
    return track;
}

Track ControllerTest::cueTrack(const std::string& path, double start, std::optional<double> end, const char* title)
{
    Track track = wholeFile(path);
    track.start = start;
    track.end = end;
    track.title = QString::fromUtf8(title);
    track.artist = QStringLiteral("Band");
    return track;
}

void ControllerTest::startWith(const std::vector<Track>& tracks)
{
    PlaylistStore(*defaults, QStringLiteral("savedPlaylist")).save(tracks);
    start();
}

void ControllerTest::putInCache(const std::string& path)
{
    const FileURL partial = cache->partial(url(path));
    std::ofstream(partial.path(), std::ios::binary) << "data";
    cache->add(partial, url(path));
}

} // namespace lh::test
