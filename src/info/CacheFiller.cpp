#include "CacheFiller.h"

#include "CachedReads.h"
#include "FileStamp.h"
#include "ThreadPriority.h"

#include <algorithm>
#include <utility>

namespace lh {
namespace {

constexpr auto deliveryInterval = std::chrono::seconds(1);

} // namespace

CacheFiller::CacheFiller(std::shared_ptr<const TrackInfoReading> reader, std::shared_ptr<MetadataCache> cache, Options options)
    : reader_(std::move(reader))
    , cache_(std::move(cache))
    , options_(std::move(options))
    , thread_([this](std::stop_token stop) { run(std::move(stop)); })
{
}

CacheFiller::~CacheFiller()
{
    thread_.request_stop();
    thread_.join();
}

void CacheFiller::fill(TrackList tracks, std::size_t first)
{
    if (first >= tracks.size())
        return;
    std::lock_guard guard(mutex_);
    passes_.push_back({ std::move(tracks), first });
    changed_.notify_all();
}

void CacheFiller::setHeld(bool isHeld)
{
    std::lock_guard guard(mutex_);
    isHeld_ = isHeld;
    changed_.notify_all();
}

void CacheFiller::holdFor(std::chrono::steady_clock::duration duration)
{
    std::lock_guard guard(mutex_);
    heldUntil_ = std::max(heldUntil_, std::chrono::steady_clock::now() + duration);
}

std::int64_t CacheFiller::readCount() const
{
    std::lock_guard guard(mutex_);
    return readCount_;
}

bool CacheFiller::isIdle() const
{
    std::lock_guard guard(mutex_);
    return passes_.empty() && !isWorking_;
}

void CacheFiller::run(std::stop_token stop)
{
    if (options_.lowersPriority)
        ThreadPriority::lowerToIdle();
    const auto interval = options_.filesPerSecond > 0
        ? std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(1 / options_.filesPerSecond))
        : std::chrono::steady_clock::duration::zero();
    while (const auto url = next(stop)) {
        if (!learn(*url))
            continue;
        deliver(false);
        std::unique_lock lock(mutex_);
        ++readCount_;
        // The pause that bounds the rate; a stop ends it at once.
        changed_.wait_for(lock, stop, interval, [] { return false; });
    }
}

std::optional<FileURL> CacheFiller::next(std::stop_token stop)
{
    std::unique_lock lock(mutex_);
    while (!stop.stop_requested()) {
        if (std::chrono::steady_clock::now() < heldUntil_) {
            changed_.wait_until(lock, stop, heldUntil_, [] { return false; });
            continue;
        }
        // Held, the next file waits: the pass resumes where it stopped once released.
        if (!isHeld_) {
            while (!passes_.empty() && passes_.front().next >= passes_.front().tracks.size())
                passes_.pop_front();
            if (!passes_.empty()) {
                Pass& pass = passes_.front();
                const Track& track = pass.tracks[pass.next++];
                isWorking_ = true;
                if (track.isRemote || (pass.next > 1 && pass.tracks[pass.next - 2].url == track.url))
                    continue; // a share's file, or the next cue track of a file just looked at
                return track.url;
            }
        }
        if (isWorking_) {
            isWorking_ = false;
            lock.unlock();
            deliver(true);
            lock.lock();
            continue;
        }
        changed_.wait(lock, stop, [this] { return !isHeld_ && !passes_.empty(); });
    }
    return std::nullopt;
}

bool CacheFiller::learn(const FileURL& url)
{
    if (cache_->state() != MetadataCache::State::ready)
        return false; // nowhere to keep what would be read
    const auto stamp = FileStamp::of(url.path());
    if (!stamp)
        return false;
    const auto known = cache_->find(url.path(), stamp);
    if (known && known->stream && known->tags && known->hasEmbeddedCueSheet)
        return false;
    auto read = CachedReads::readStream(*reader_, cache_.get(), url, url, true);
    learned_.push_back({ url, read.stream.duration, std::move(read.tags) });
    return true;
}

void CacheFiller::deliver(bool isOutOfWork)
{
    const auto now = std::chrono::steady_clock::now();
    if (learned_.empty() || (!isOutOfWork && now - lastDelivery_ < deliveryInterval))
        return;
    lastDelivery_ = now;
    if (options_.onLearned)
        options_.onLearned(std::exchange(learned_, {}));
    else
        learned_.clear();
}

} // namespace lh
