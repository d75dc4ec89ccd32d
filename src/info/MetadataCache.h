#pragma once

#include "Executor.h"
#include "FileFacts.h"
#include "FileStamp.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lh {

class SerialExecutor;

// How a MetadataCache is run; the defaults are the real ones.
struct MetadataCacheOptions {
    // Where the database is opened and written. Default: a serial executor of its own. An
    // injected one must outlive the cache's jobs, which may outlive the cache.
    Executor* writer = nullptr;
    std::function<void(const QString& message)> report; // default: a line on standard error
    std::function<std::int64_t()> now; // seconds since the epoch; default: the system clock
    // The database never grows past this; beyond it, writing stops as on a full disk.
    std::int64_t maximumBytes = std::int64_t(4) << 30;
};

// What the player learned about its files, kept across runs in one SQLite database so that a
// restored playlist has its durations and tags at once. Only a cache: the player never needs
// it to play. A database that is corrupt is moved aside and a new one started; one that is
// locked by another program, from a newer version of the player or cannot be written is left
// alone and the player runs without it; a full disk stops the writing. Each is said once on
// standard error.
//
// A file's entry is keyed by its playlist path (the canonical form every row carries, worked
// out without touching the file, so a row on a share that is away is looked up without
// reaching for it) and holds for as long as the file's stamp is the one it was learned from.
// Entries no row has named for `keptDays` days go when the database is next opened.
//
// find and record may be called from any thread. Writes are gathered and written in one
// transaction on the writer executor, never on the caller's thread; the database is opened
// there too, and until it is open every lookup misses.
class MetadataCache {
public:

    using Options = MetadataCacheOptions;

    enum class State {
        opening, // not open yet: lookups miss, records wait
        ready,
        readOnly, // what is stored is found, nothing more is written
        off, // the player runs without it
    };

    static constexpr int schemaVersion = 1;
    static constexpr int keptDays = 90;
    static constexpr const char* fileName = "tracks.sqlite";

    // Opens (or makes) `folder`/tracks.sqlite on the writer, making `folder` when needed.
    explicit MetadataCache(const std::string& folder, Options options = {});
    // Hands what is still unwritten to the writer; with its own writer, waits for it.
    ~MetadataCache();

    MetadataCache(const MetadataCache&) = delete;
    MetadataCache& operator=(const MetadataCache&) = delete;

    // What is known of the file at `path`. With `current`, only what was learned from that
    // very version of the file; without (a file nobody looked at, a share that is away),
    // whatever is stored. A file found counts as named.
    std::optional<FileFacts> find(const std::string& path, const std::optional<FileStamp>& current) const;

    // The duration stored for `path`, from whichever version of the file it was learned: what a
    // launch shows before any file is looked at. Reads that one column alone, so a million rows
    // are looked up in a fraction of what find would take. A file found counts as named.
    std::optional<double> knownDuration(const std::string& path) const;
    // The same for many files in one read transaction, which spares each lookup its own.
    std::vector<std::optional<double>> knownDurations(const std::vector<std::string>& paths) const;

    // What is known of each file, from whichever version of it was learned, in one read
    // transaction: the cached tags of rows nobody read this run (names, sorting, finding). Files
    // found count as named.
    std::vector<std::optional<FileFacts>> knownFacts(const std::vector<std::string>& paths) const;

    // The same with only what a launch names its rows by: each file's stamp, its duration and
    // its tags' title and artists (what is still to be written may add the rest). Far cheaper
    // for a million rows than knownFacts.
    std::vector<std::optional<FileFacts>> knownListings(const std::vector<std::string>& paths) const;

    // Keeps `facts` together with what is known of the same version of the file; written
    // later, with others, on the writer.
    void record(const std::string& path, FileFacts facts);

    // Runs `job` on the writer once the database is open, or has failed to open: lookups
    // made from then on find what it holds.
    void afterOpening(std::function<void()> job);

    State state() const;
    const std::string& path() const;

private:
    struct Core;
    // Hands the gathered writes to the writer, once until it has taken them.
    void queueFlush() const;
    void markNamed(const std::string& path, std::int64_t seen, std::int64_t staleBefore) const;
    enum class Reading { durations, listings, facts };
    // Reads each file found with `read`, from the columns `reading` gives.
    template <class Value, class Read, class WithWaiting>
    std::vector<std::optional<Value>> lookUp(const std::vector<std::string>& paths, Reading reading, Read read, WithWaiting withWaiting) const;

    std::shared_ptr<Core> core_;
    std::unique_ptr<SerialExecutor> ownWriter_;
    Executor* writer_;
};

} // namespace lh
