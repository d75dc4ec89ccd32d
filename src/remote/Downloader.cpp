#include "Downloader.h"

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
    using SizeResult = RemoteResult<std::int64_t>;

    // Guarded operations per file: threads not yet returned, answers not yet had.
    struct Running {
        int threads = 0;
        int answers = 0;
    };

    struct Pass {
        std::vector<FileURL> urls;
        std::vector<FileURL> chosen;
        std::size_t next = 0; // into `urls` while choosing, into `chosen` while copying
        std::int64_t total = 0;
        std::int64_t budget = 0;
        int awayCount = 0;
        bool isCancelled = false;
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
        post([this, started = pass] { choose(started); });
    }

    void fetch(const FileURL& url, std::function<void(CopyResult)> completion)
    {
        if (pass)
            pass->isCancelled = true;
        copy(url, std::move(completion));
    }

    void settle(Done completion)
    {
        settleWaiters.push_back(std::move(completion));
        settleIfIdle();
    }

    // Phase 1: the files that fit into the budget, most urgent first.
    void choose(const std::shared_ptr<Pass>& current)
    {
        Pass& p = *current;
        while (p.next < p.urls.size()) {
            if (p.isCancelled)
                return endPass();
            const FileURL& url = p.urls[p.next];
            std::optional<std::int64_t> size;
            if (const auto copied = cache.copy(url))
                size = sizeOfLocalFile(*copied);
            if (!size) {
                if (p.awayCount >= failuresToGiveUp) {
                    ++p.next;
                    continue;
                }
                const auto known = sizes.find(url);
                if (known == sizes.end() && isStuck(url)) {
                    ++p.awayCount;
                    ++p.next;
                    continue;
                }
                if (known == sizes.end())
                    return askSize(current);
                p.awayCount = 0;
                size = known->second;
            }
            if (!admit(p, url, *size))
                break;
            ++p.next;
        }
        startCopying(current);
    }

    void askSize(const std::shared_ptr<Pass>& current)
    {
        const FileURL url = current->urls[current->next];
        remoteSize(url, [this, current, url](const SizeResult& result) {
            Pass& p = *current;
            // A reply for a cancelled pass changes nothing, above all not the protected set,
            // which belongs to the pass that replaced it.
            if (p.isCancelled)
                return endPass();
            p.awayCount = (!result.hasValue() && result.failure() == RemoteFailure::away) ? p.awayCount + 1 : 0;
            if (result.hasValue() && !admit(p, url, result.value()))
                return startCopying(current);
            ++p.next;
            choose(current);
        });
    }

    // The first file is taken whatever its size; later ones only while the total fits.
    bool admit(Pass& p, const FileURL& url, std::int64_t size) const
    {
        if (!p.chosen.empty() && p.total + size > p.budget)
            return false;
        p.chosen.push_back(url);
        p.total += size;
        return true;
    }

    // Phase 2: copy the chosen files that have no copy yet, one after another.
    void startCopying(const std::shared_ptr<Pass>& current)
    {
        cache.protect(current->chosen);
        current->awayCount = 0;
        current->next = 0;
        copyNext(current);
    }

    void copyNext(const std::shared_ptr<Pass>& current)
    {
        Pass& p = *current;
        while (p.next < p.chosen.size()) {
            const FileURL url = p.chosen[p.next];
            if (cache.copy(url)) {
                ++p.next;
                continue;
            }
            if (p.isCancelled || p.awayCount >= failuresToGiveUp)
                break;
            // An earlier copy still blocked on the share is joined while it may answer; once
            // given up on, starting another would pile a thread on the dead share per pass.
            if (!copies.contains(url) && isStuck(url)) {
                ++p.awayCount;
                ++p.next;
                continue;
            }
            return copy(url, [this, current](const CopyResult& result) {
                current->awayCount = (!result.hasValue() && result.failure() == RemoteFailure::away) ? current->awayCount + 1 : 0;
                ++current->next;
                copyNext(current);
            });
        }
        endPass();
    }

    void endPass()
    {
        --runningPasses;
        settleIfIdle();
    }

    void remoteSize(const FileURL& url, std::function<void(SizeResult)> done)
    {
        guarded<std::int64_t>(
            url, [files = files, url](const Progress&) { return files->size(url); },
            [this, url, done = std::move(done)](const Outcome<std::int64_t>& outcome) {
                if (!outcome.hasValue()) {
                    states[url] = DownloadState::unreachable;
                    return report([done, failure = failureOf(outcome.error())] { done(failure); });
                }
                const std::int64_t size = outcome.value();
                sizes[url] = size;
                const auto state = states.find(url);
                // A size says the share answers, not that the cache's disk has room again.
                if (state == states.end() || state->second != DownloadState::unreachable || lackingSpace.contains(url))
                    return done(size);
                states.erase(state);
                report([done, size] { done(size); });
            });
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
    }

    // Whether a size query or copy of `url` was given up on for stalling while its thread is
    // still blocked on the share: another would only block one more thread.
    bool isStuck(const FileURL& url) const
    {
        const auto entry = running.find(url);
        return entry != running.end() && entry->second.threads > entry->second.answers;
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
