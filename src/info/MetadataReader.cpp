#include "MetadataReader.h"

#include "MainThread.h"

#include <utility>

namespace lh {

struct MetadataReader::StreamBatch {
    std::vector<StreamRequest> items;
    StreamHandler onRead;
    std::stop_token token;
    std::shared_ptr<const TrackInfoReading> reader;
    Executor& background;
    Executor& mainThread;
};

MetadataReader::MetadataReader(std::shared_ptr<const TrackInfoReading> reader,
    Executor& background, Executor& mainThread)
    : reader_(std::move(reader))
    , background_(background)
    , mainThread_(mainThread)
{
}

MetadataReader::~MetadataReader()
{
    pendingStreamRead_.request_stop();
    pendingInfoRead_.request_stop();
}

void MetadataReader::readStreams(std::vector<StreamRequest> items, StreamHandler onRead)
{
    MainThread::check();
    if (items.empty())
        return;
    pendingStreamRead_.request_stop();
    pendingStreamRead_ = std::stop_source();
    auto batch = std::make_shared<StreamBatch>(StreamBatch { std::move(items), std::move(onRead),
        pendingStreamRead_.get_token(), reader_, background_, mainThread_ });
    readNext(std::move(batch), 0);
}

// One item at a time, each result handed to the main thread before the next read starts, so
// a cancelled batch stops after the read under way.
void MetadataReader::readNext(std::shared_ptr<StreamBatch> batch, std::size_t index)
{
    if (index == batch->items.size())
        return;
    Executor& background = batch->background;
    background.execute([batch = std::move(batch), index]() mutable {
        if (batch->token.stop_requested())
            return;
        StreamInfo info = batch->reader->readStream(batch->items[index].file);
        Executor& mainThread = batch->mainThread;
        mainThread.execute([batch = std::move(batch), index, info = std::move(info)]() mutable {
            if (batch->token.stop_requested())
                return;
            batch->onRead(batch->items[index].url, info);
            readNext(std::move(batch), index + 1);
        });
    });
}

void MetadataReader::readInfo(const FileURL& url, const FileURL& file, InfoHandler onRead)
{
    MainThread::check();
    cancelInfoRead();
    pendingInfoRead_ = std::stop_source();
    background_.execute([token = pendingInfoRead_.get_token(), reader = reader_, url, file,
                            onRead = std::move(onRead), &mainThread = mainThread_]() mutable {
        if (token.stop_requested())
            return;
        TrackInfo info = reader->readInfo(url, file);
        mainThread.execute([token = std::move(token), onRead = std::move(onRead), info = std::move(info)] {
            if (!token.stop_requested())
                onRead(info);
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
