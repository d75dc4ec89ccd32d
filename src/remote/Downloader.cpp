#include "Downloader.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <optional>
#include <unordered_set>
#include <sys/stat.h>
#include <unistd.h>
#include <variant>

namespace lh {
namespace {

RemoteFailure failureOf(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const MissingFileError&) {
        return RemoteFailure::missing;
    } catch (const FileError& fileError) {
        return fileError.isNoSpace() ? RemoteFailure::noSpace : RemoteFailure::away;
    } catch (...) {
        return RemoteFailure::away;
    }
}

// Calls `onEnd` when the scope ends, however it ends.
struct ThreadEnd {
    std::function<void()> onEnd;
    ~ThreadEnd() { onEnd(); }
};

std::optional<std::int64_t> sizeOfLocalFile(const FileURL& url)
{
    struct stat info {};
    if (::stat(url.path().c_str(), &info) != 0)
        return std::nullopt;
    return static_cast<std::int64_t>(info.st_size);
}

} // namespace

// Everything below `post` runs on the executor. Continuations stored in the actor's own
// fields capture it raw: they only ever run inside a posted job, which holds it alive.
struct Downloader::Actor : std::enable_shared_from_this<Actor> {
    // Guarded operations per file: threads not yet returned, answers not yet had.
    struct Running {
        int threads = 0;
        int answers = 0;
    };

    // A pass walks its files in order and copies those without a copy, a few at a time, until
    // the files it has taken fill the budget. A file's size is known from its copy (or an
    // earlier one), so nothing is asked of the share before copying starts.
    struct Pass {
        std::vector<FileURL> urls;
        std::size_t next = 0; // the first file not looked at yet
        std::int64_t total = 0; // bytes of the files taken so far
        std::int64_t budget = 0;
        std::int64_t largest = 0; // of the files taken whose size is known
        std::size_t taken = 0;
        int copying = 0;
        int copyingUnsized = 0;
        int awayCount = 0;
        bool isCancelled = false;
        bool isFull = false;
        bool hasEnded = false;
    };

    Actor(AudioFileCache& cache, std::shared_ptr<RemoteFileAccess> files, std::chrono::nanoseconds stallLimit,
        OnChange onChange, Executor& executor, StallRuntime runtime)
        : cache(cache)
        , files(std::move(files))
        , stallLimit(stallLimit)
        , onChange(std::move(onChange))
        , runtime(std::move(runtime))
        , executor(&executor)
    {
    }

    // Safe from any thread. Jobs posted once the downloader is gone are dropped, and jobs
    // still queued then do nothing.
    void post(std::function<void()> job)
    {
        std::lock_guard guard(gateLock);
        if (!executor)
            return;
        executor->execute([self = shared_from_this(), job = std::move(job)] {
            if (!self->isClosed)
                job();
        });
    }

    void close()
    {
        isClosed = true;
        std::lock_guard guard(gateLock);
        executor = nullptr;
    }

    void want(std::vector<FileURL> urls)
    {
        if (pass)
            pass->isCancelled = true;
        pass = std::make_shared<Pass>();
        pass->urls = std::move(urls);
        pass->budget = cache.budget();
        ++runningPasses;
        cache.protect({});
        post([this, started = pass] { advance(started); });
    }

    void fetch(const FileURL& url, std::function<void(CopyResult)> completion)
    {
        if (pass)
            pass->isCancelled = true;
        // The user's track comes before any pass, but not past the limit: threads given up on
        // for stalling fill it only when the share is away, so waiting for one would not help.
        if (!cache.copy(url) && !copies.contains(url) && shareLoad() >= maxShareThreads)
            return completion(RemoteFailure::away);
        copy(url, std::move(completion));
    }

    void settle(Done completion)
    {
        settleWaiters.push_back(std::move(completion));
        settleIfIdle();
    }

    // Takes files in order while the budget lasts: a cached one at once, a missing one by
    // starting its copy, as long as the pass and the share have room for another.
    void advance(const std::shared_ptr<Pass>& current)
    {
        Pass& p = *current;
        std::vector<FileURL> taken;
        while (!p.isCancelled && !p.isFull && p.next < p.urls.size()) {
            const FileURL& url = p.urls[p.next];
            std::optional<std::int64_t> size;
            const auto copied = cache.copy(url);
            if (copied)
                size = sizeOfLocalFile(*copied);
            else if (const auto known = sizes.find(url); known != sizes.end())
                size = known->second;
            if (size ? !fits(p, *size) : !mayFit(p)) {
                // Copies under way may still free an estimate made from the largest file.
                p.isFull = size.has_value() || p.copying == 0;
                break;
            }
            if (!copied) {
                if (p.awayCount >= failuresToGiveUp) {
                    ++p.next; // the share is away: only copies already made are still taken
                    continue;
                }
                // A copy still blocked on the share is joined while it may answer; once given
                // up on, starting another would pile a thread on the dead share per pass.
                if (!copies.contains(url) && isStuck(url)) {
                    ++p.awayCount;
                    ++p.next;
                    continue;
                }
                if (p.copying >= copiesAtOnce || (!copies.contains(url) && shareLoad() >= maxShareThreads))
                    break;
            }
            taken.push_back(url);
            ++p.taken;
            ++p.next;
            p.total += size.value_or(0);
            p.largest = std::max(p.largest, size.value_or(0));
            if (!copied)
                startCopy(current, url, size.has_value());
        }
        if (!p.isCancelled)
            cache.protectAlso(taken);
        if (p.copying == 0 && !p.hasEnded && (p.isCancelled || p.isFull || p.next >= p.urls.size()))
            endPass(p);
    }

    // The first file is taken whatever its size; later ones only while the total fits.
    static bool fits(const Pass& p, std::int64_t size) { return p.taken == 0 || p.total + size <= p.budget; }

    // A file whose size only its copy will tell is guessed as large as the largest taken, and
    // so is each such copy under way: the budget is overrun by no more than a guess is off.
    static bool mayFit(const Pass& p)
    {
        return p.taken == 0 || p.total + (p.copyingUnsized + 1) * p.largest <= p.budget;
    }

    void startCopy(const std::shared_ptr<Pass>& current, const FileURL& url, bool isSized)
    {
        ++current->copying;
        current->copyingUnsized += isSized ? 0 : 1;
        copy(url, [this, current, isSized](const CopyResult& result) {
            Pass& p = *current;
            --p.copying;
            p.copyingUnsized -= isSized ? 0 : 1;
            p.awayCount = (!result.hasValue() && result.failure() == RemoteFailure::away) ? p.awayCount + 1 : 0;
            if (result.hasValue() && !isSized) {
                // Learnt only now: a file that overfills the budget is the pass's last.
                const auto size = sizeOfLocalFile(result.value()).value_or(0);
                p.isFull = p.isFull || (p.taken > 1 && p.total + size > p.budget);
                p.total += size;
                p.largest = std::max(p.largest, size);
            }
            advance(current);
        });
    }

    void endPass(Pass& p)
    {
        p.hasEnded = true;
        --runningPasses;
        settleIfIdle();
    }

    // A thread that returned from the share leaves room for the live pass's next copy.
    void resumePass()
    {
        if (pass && !pass->hasEnded)
            advance(pass);
    }

    // One copy per file however many ask: later requests join the one under way.
    void copy(const FileURL& url, std::function<void(CopyResult)> done)
    {
        if (const auto copied = cache.copy(url))
            return done(*copied);
        auto& waiting = copies[url];
        waiting.push_back(std::move(done));
        if (waiting.size() > 1)
            return;
        post([this, url] {
            makeCopy(url, [this, url](const CopyResult& result) {
                const auto waiters = std::move(copies[url]);
                copies.erase(url);
                for (const auto& waiter : waiters)
                    waiter(result);
                resumePass(); // the copy may have been a cancelled pass's
                settleIfIdle();
            });
        });
    }

    void makeCopy(const FileURL& url, std::function<void(CopyResult)> done)
    {
        states[url] = DownloadState::copying;
        report([this, url, done = std::move(done)] {
            FileURL partial;
            try {
                partial = cache.partial(url);
            } catch (...) {
                return failCopy(url, std::current_exception(), std::nullopt, done);
            }
            guarded<std::monostate>(
                url, [files = files, url, partial](const Progress& progress) {
                    files->copy(url, partial, progress);
                    return std::monostate {};
                },
                [this, url, partial, done](const Outcome<std::monostate>& outcome) {
                    if (!outcome.hasValue())
                        return failCopy(url, outcome.error(), partial, done);
                    FileURL copied;
                    try {
                        copied = cache.add(partial, url);
                    } catch (...) {
                        return failCopy(url, std::current_exception(), partial, done);
                    }
                    states.erase(url);
                    lackingSpace.erase(url);
                    if (const auto size = sizeOfLocalFile(copied))
                        sizes[url] = *size; // for passes after the copy is evicted
                    hasSaidNoSpace = false; // a later full disk is news again
                    report([done, copied] { done(copied); });
                });
        });
    }

    void failCopy(const FileURL& url, const std::exception_ptr& error, const std::optional<FileURL>& partial,
        const std::function<void(CopyResult)>& done)
    {
        if (partial)
            ::unlink(partial->path().c_str());
        const RemoteFailure failure = failureOf(error);
        // A full cache disk says nothing about the share (it does not count as away), but the
        // file cannot be had until space returns: later passes try again, and a copy that
        // succeeds clears the mark.
        states[url] = DownloadState::unreachable;
        if (failure == RemoteFailure::noSpace)
            lackingSpace.insert(url);
        else
            lackingSpace.erase(url);
        if (failure == RemoteFailure::noSpace && !hasSaidNoSpace) {
            hasSaidNoSpace = true;
            std::fprintf(stderr, "larkhaven: no space left for copies of network files in %s\n",
                cache.folder().path().c_str());
        }
        report([done, failure] { done(failure); });
    }

    // Hands the whole map to `onChange` and goes on with `then` once it is done with it.
    void report(Done then)
    {
        if (!onChange)
            return post(std::move(then));
        onChange(states, [self = shared_from_this(), then = std::move(then)] { self->post(then); });
    }

    // Runs `operation` on `url` under the stall limit. Its thread and its answer are counted
    // apart: the watchdog answers for a thread that is still blocked on the share.
    template <typename T>
    void guarded(const FileURL& url, std::function<T(const Progress&)> operation, std::function<void(const Outcome<T>&)> then)
    {
        ++running[url].threads;
        ++running[url].answers;
        // Called here on the executor; a thread that could not be had never ends by itself.
        StallRuntime counted = runtime;
        counted.startThread = [this, url, start = runtime.startThread](StallRuntime::Job job) {
            try {
                start(std::move(job));
            } catch (...) {
                ended(url, &Running::threads);
                throw;
            }
        };
        withStallLimit<T>(
            stallLimit,
            [self = shared_from_this(), url, operation = std::move(operation)](const Progress& progress) {
                // Posted before the answer, so the two never look stuck in between.
                const ThreadEnd end { [&] { self->post([self, url] { self->ended(url, &Running::threads); }); } };
                return operation(progress);
            },
            [self = shared_from_this(), url, then = std::move(then)](Outcome<T> outcome) {
                self->post([self, url, then, outcome = std::move(outcome)] {
                    self->ended(url, &Running::answers);
                    then(outcome);
                });
            },
            counted);
    }

    void ended(const FileURL& url, int Running::*count)
    {
        const auto entry = running.find(url);
        if (entry == running.end())
            return;
        --(entry->second.*count);
        if (entry->second.threads == 0 && entry->second.answers == 0)
            running.erase(entry);
        if (count == &Running::threads)
            resumePass(); // a stuck thread that returned at last leaves room
    }

    // Whether a size query or copy of `url` was given up on for stalling while its thread is
    // still blocked on the share: another would only block one more thread.
    bool isStuck(const FileURL& url) const
    {
        const auto entry = running.find(url);
        return entry != running.end() && entry->second.threads > entry->second.answers;
    }

    // Copies under way, and threads still blocked on the share after their copy was given up.
    int shareLoad() const
    {
        auto load = static_cast<int>(copies.size());
        for (const auto& [url, counts] : running)
            load += std::max(0, counts.threads - counts.answers);
        return load;
    }

    void settleIfIdle()
    {
        if (runningPasses > 0 || !copies.empty())
            return;
        const auto waiters = std::move(settleWaiters);
        settleWaiters.clear();
        for (const auto& waiter : waiters)
            waiter();
    }

    AudioFileCache& cache;
    const std::shared_ptr<RemoteFileAccess> files;
    const std::chrono::nanoseconds stallLimit;
    const OnChange onChange;
    const StallRuntime runtime;

    std::mutex gateLock;
    Executor* executor; // guarded by gateLock; null once closed
    std::atomic<bool> isClosed = false;

    DownloadStates states;
    std::unordered_map<FileURL, Running> running; // only files with something running
    std::unordered_set<FileURL> lackingSpace; // unreachable since their copy found the disk full
    bool hasSaidNoSpace = false;
    std::unordered_map<FileURL, std::int64_t> sizes;
    std::unordered_map<FileURL, std::vector<std::function<void(CopyResult)>>> copies;
    std::shared_ptr<Pass> pass;
    int runningPasses = 0;
    std::vector<Done> settleWaiters;
};

Downloader::Downloader(AudioFileCache& cache, std::shared_ptr<RemoteFileAccess> files,
    std::chrono::nanoseconds stallLimit, OnChange onChange, Executor* executor, StallRuntime runtime)
{
    if (!executor) {
        ownExecutor_ = std::make_unique<SerialExecutor>();
        executor = ownExecutor_.get();
    }
    actor_ = std::make_shared<Actor>(cache, std::move(files), stallLimit, std::move(onChange), *executor, std::move(runtime));
}

Downloader::~Downloader()
{
    actor_->close();
    ownExecutor_.reset(); // lets a job under way finish
}

void Downloader::want(std::vector<FileURL> urls)
{
    actor_->post([actor = actor_.get(), urls = std::move(urls)]() mutable { actor->want(std::move(urls)); });
}

void Downloader::wantOrder(std::function<std::vector<FileURL>()> order)
{
    actor_->post([actor = actor_.get(), order = std::move(order)] { actor->want(order()); });
}

void Downloader::fetch(FileURL url, std::function<void(CopyResult)> completion)
{
    actor_->post([actor = actor_.get(), url = std::move(url), completion = std::move(completion)]() mutable {
        actor->fetch(url, std::move(completion));
    });
}

void Downloader::settle(Done completion)
{
    actor_->post([actor = actor_.get(), completion = std::move(completion)]() mutable { actor->settle(std::move(completion)); });
}

} // namespace lh
