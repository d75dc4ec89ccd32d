#include "CachedReads.h"

#include <utility>

namespace lh::CachedReads {
namespace {

// A network file's copy is told apart from the next copy by its size alone.
std::optional<FileStamp> stampOf(const FileURL& url, const FileURL& file)
{
    return url == file ? FileStamp::of(file.path()) : FileStamp::ofCopy(file.path());
}

// What the cache keeps of a tags read: no picture, and no URL (its key names the file).
MediaTags withoutFile(MediaTags tags)
{
    tags.url = {};
    tags.artwork.reset();
    tags.artFile.reset();
    return tags;
}

// Keeps what a read learned under the row's URL, stamped with the file that was read.
void keep(MetadataCache* cache, const FileURL& url, const FileURL& file, FileFacts learned)
{
    const auto stamp = cache ? stampOf(url, file) : std::nullopt;
    if (!stamp)
        return; // no cache, or nothing there to read
    learned.stamp = *stamp;
    cache->record(url.path(), std::move(learned));
}

bool isAnswered(const std::optional<FileFacts>& known, bool readsSheet)
{
    return known && known->stream && (!readsSheet || known->hasEmbeddedCueSheet);
}

} // namespace

StreamRead readStream(const TrackInfoReading& reader, MetadataCache* cache, const FileURL& url,
    const FileURL& file, bool readsSheet, bool readsTags)
{
    const auto stamp = cache ? stampOf(url, file) : std::nullopt;
    const auto known = stamp ? cache->find(url.path(), stamp) : std::nullopt;
    StreamRead read;
    FileFacts learned;
    if (isAnswered(known, readsSheet)) {
        read.stream = *known->stream;
        if (readsSheet && *known->hasEmbeddedCueSheet)
            read.sheet = reader.readCueSheet(file);
    } else {
        read.stream = learned.stream.emplace(reader.readStream(file));
        if (readsSheet) {
            read.sheet = reader.readCueSheet(file);
            learned.hasEmbeddedCueSheet = read.sheet.has_value();
        }
    }
    if (!stamp) { // no cache, or nothing there to read
        if (readsTags && !cache)
            read.tags = withoutFile(reader.readTags(url, file));
        return read;
    }
    // Get Info's read keeps no tags: an entry it made has them read here, once.
    if (known && known->tags)
        read.tags = known->tags;
    else
        read.tags = learned.tags = withoutFile(reader.readTags(url, file));
    if (learned.stream || learned.tags) {
        learned.stamp = *stamp;
        cache->record(url.path(), std::move(learned));
    }
    return read;
}

void learn(MetadataCache* cache, const FileURL& url, const FileURL& file, const TrackInfo& info)
{
    FileFacts learned;
    learned.stream = StreamInfo { info.duration, info.bitRate, info.sampleRate, info.channels, info.replayGain };
    learned.hasEmbeddedCueSheet = info.hasEmbeddedCueSheet;
    keep(cache, url, file, std::move(learned));
}

void learn(MetadataCache* cache, const FileURL& url, const FileURL& file, const MediaTags& tags)
{
    FileFacts learned;
    learned.tags = withoutFile(tags);
    keep(cache, url, file, std::move(learned));
}

} // namespace lh::CachedReads
