#include "MetadataReader.h"

#include "CachedReads.h"
#include "MainThread.h"

#include <utility>

namespace lh {

struct MetadataReader::StreamBatch {
    std::vector<StreamRequest> items;
    StreamHandler onRead;
    SheetHandler onSheet;
    TagsHandler onTags;
    std::stop_token token;
    std::shared_ptr<const TrackInfoReading> reader;
    std::shared_ptr<MetadataCache> cache;
    Executor& background;
    Executor& mainThread;
};

MetadataReader::MetadataReader(std::shared_ptr<const TrackInfoReading> reader,
    Executor& background, Executor& mainThread, std::shared_ptr<MetadataCache> cache)
    : reader_(std::move(reader))
    , cache_(std::move(cache))
    , background_(background)
    , mainThread_(mainThread)
{
}

MetadataReader::~MetadataReader()
{
    pendingStreamRead_.request_stop();
    pendingInfoRead_.request_stop();
    pendingTagsRead_.request_stop();
}

void MetadataReader::readStreams(std::vector<StreamRequest> items, StreamHandler onRead, SheetHandler onSheet,
    TagsHandler onTags)
{
    MainThread::check();
    if (items.empty())
        return;
    pendingStreamRead_.request_stop();
    pendingStreamRead_ = std::stop_source();
    auto batch = std::make_shared<StreamBatch>(StreamBatch { std::move(items), std::move(onRead), std::move(onSheet),
        std::move(onTags), pendingStreamRead_.get_token(), reader_, cache_, background_, mainThread_ });
    readNext(std::move(batch), 0);
}

// One item per background job, so other background work gets its turn between reads. Each
// result is handed to the main thread as soon as it is read and the next read goes on meanwhile:
// a main thread busy with a large playlist finds several results waiting and can take them in
// one go, instead of holding up every read until it is free.
void MetadataReader::readNext(std::shared_ptr<StreamBatch> batch, std::size_t index)
{
    if (index == batch->items.size())
        return;
    Executor& background = batch->background;
    background.execute([batch = std::move(batch), index]() mutable {
        if (batch->token.stop_requested())
            return;
        const StreamRequest& item = batch->items[index];
        auto read = CachedReads::readStream(*batch->reader, batch->cache.get(), item.url, item.file,
            item.readsCueSheet && batch->onSheet, batch->onTags != nullptr);
        batch->mainThread.execute([batch, index, read = std::move(read)] {
            if (batch->token.stop_requested())
                return;
            batch->onRead(batch->items[index].url, read.stream);
            if (read.sheet)
                batch->onSheet(batch->items[index].url, *read.sheet, read.stream);
            if (read.tags && batch->onTags) {
                MediaTags tags = *read.tags;
                tags.url = batch->items[index].url;
                batch->onTags(tags);
            }
        });
        readNext(std::move(batch), index + 1);
    });
}

void MetadataReader::readInfo(const FileURL& url, const FileURL& file, InfoHandler onRead)
{
    MainThread::check();
    cancelInfoRead();
    pendingInfoRead_ = std::stop_source();
    background_.execute([token = pendingInfoRead_.get_token(), reader = reader_, cache = cache_, url, file,
                            onRead = std::move(onRead), &mainThread = mainThread_]() mutable {
        if (token.stop_requested())
            return;
        TrackInfo info = reader->readInfo(url, file);
        CachedReads::learn(cache.get(), url, file, info);
        mainThread.execute([token = std::move(token), onRead = std::move(onRead), info = std::move(info)] {
            if (!token.stop_requested())
                onRead(info);
        });
    });
}

void MetadataReader::readTags(const FileURL& url, const FileURL& file, ArtStore storeArt, TagsHandler onRead)
{
    MainThread::check();
    pendingTagsRead_.request_stop();
    pendingTagsRead_ = std::stop_source();
    background_.execute([token = pendingTagsRead_.get_token(), reader = reader_, cache = cache_, url, file,
                            storeArt = std::move(storeArt), onRead = std::move(onRead), &mainThread = mainThread_]() mutable {
        if (token.stop_requested())
            return;
        MediaTags tags = reader->readTags(url, file);
        CachedReads::learn(cache.get(), url, file, tags);
        if (tags.artwork && storeArt)
            tags.artFile = storeArt(*tags.artwork);
        tags.artwork.reset(); // the model keeps the file, not a copy of the picture
        mainThread.execute([token = std::move(token), onRead = std::move(onRead), tags = std::move(tags)] {
            if (!token.stop_requested())
                onRead(tags);
        });
    });
}

void MetadataReader::cancelInfoRead()
{
    MainThread::check();
    pendingInfoRead_.request_stop();
    pendingInfoRead_ = std::stop_source(std::nostopstate);
}

} // namespace lh
