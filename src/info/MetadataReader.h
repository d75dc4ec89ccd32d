#pragma once

#include "Executor.h"
#include "FileURL.h"
#include "MediaTags.h"
#include "MetadataCache.h"
#include "StreamInfo.h"
#include "TrackInfo.h"
#include "TrackInfoReading.h"

#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <vector>

namespace lh {

// The main thread's front to a TrackInfoReading: reads run on `background`, results come back
// through `mainThread`, and an outdated read never overwrites a newer one. At most one stream
// batch and one full read are current; a new request of a kind cancels the previous one of
// that kind. Cancelling never interrupts a read under way; it drops its result and starts no
// further reads of a cancelled batch.
//
// With a metadata cache, what every read learns is kept there, and a stream read of a file
// unchanged since is answered from it.
//
// Main thread only. Both executors must outlive this object and every job handed to them
// (in the player: a SerialExecutor and the MainThreadExecutor, both living for the whole run).
// Destroying the reader cancels what is pending.
class MetadataReader {
public:
    struct StreamRequest {
        FileURL url; // the track URL, reported back with the result
        FileURL file; // what to read: the file itself or its cached copy
        bool readsCueSheet = false; // also look for a sheet stored inside the file
    };
    using StreamHandler = std::function<void(const FileURL& url, const StreamInfo& info)>;
    // A sheet found inside a file, with the file's stream description read in the same job.
    using SheetHandler = std::function<void(const FileURL& url, const CueSheet& sheet, const StreamInfo& info)>;
    using InfoHandler = std::function<void(const TrackInfo& info)>;
    using TagsHandler = std::function<void(const MediaTags& tags)>;
    // Keeps a picture where others can read it; runs on the background executor.
    using ArtStore = std::function<std::optional<FileURL>(const QByteArray& image)>;

    MetadataReader(std::shared_ptr<const TrackInfoReading> reader, Executor& background,
        Executor& mainThread, std::shared_ptr<MetadataCache> cache = nullptr);
    ~MetadataReader();

    MetadataReader(const MetadataReader&) = delete;
    MetadataReader& operator=(const MetadataReader&) = delete;

    // Reads the items one after another and calls `onRead` once per item, in order, while the
    // batch is current. An empty list does nothing (a running batch goes on). For an item that
    // asks for it and holds a sheet, `onSheet` follows its `onRead`; with a cache, `onTags`
    // follows with the file's tags (no picture; `url` the item's).
    void readStreams(std::vector<StreamRequest> items, StreamHandler onRead, SheetHandler onSheet = nullptr,
        TagsHandler onTags = nullptr);

    // Reads the full information of `file` and calls `onRead` once, unless a later readInfo
    // or cancelInfoRead came first.
    void readInfo(const FileURL& url, const FileURL& file, InfoHandler onRead);

    // Drops the pending full read, if any: its result is never reported.
    void cancelInfoRead();

    // Reads the tags of `file`, hands its picture to `storeArt` and calls `onRead` once with
    // the picture's file instead of its bytes, unless a later readTags came first. Independent
    // of the other two kinds of read.
    void readTags(const FileURL& url, const FileURL& file, ArtStore storeArt, TagsHandler onRead);

    // What reads the files, for others that read as this does.
    const std::shared_ptr<const TrackInfoReading>& infoReader() const { return reader_; }

private:
    struct StreamBatch;
    static void readNext(std::shared_ptr<StreamBatch> batch, std::size_t index);

    std::shared_ptr<const TrackInfoReading> reader_;
    std::shared_ptr<MetadataCache> cache_; // shared with the reads under way
    Executor& background_;
    Executor& mainThread_;
    std::stop_source pendingStreamRead_ { std::nostopstate };
    std::stop_source pendingInfoRead_ { std::nostopstate };
    std::stop_source pendingTagsRead_ { std::nostopstate };
};

} // namespace lh
