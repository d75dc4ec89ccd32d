#include "MetadataCache.h"

#include "FactsTable.h"
#include "FileSystem.h"
#include "SerialExecutor.h"
#include "SqliteDatabase.h"

#include <QDateTime>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

namespace lh {
namespace {

// Long enough to wait out another connection's commit, short enough that a database another
// program keeps locked costs the launch nothing noticeable.
constexpr int busyMilliseconds = 200;
// A file named again is marked so only once its mark is this old: a launch then rewrites the
// marks of a million rows once a week at most, and the 90 days are never missed by more.
constexpr std::int64_t namedRefreshDays = 7;
constexpr std::int64_t secondsPerDay = 86'400;
// Rows a lookup steps over before it seeks from the table's root instead: a step costs a small
// fraction of a seek, and a playlist's files mostly lie side by side in path order.
constexpr int stepsBeforeSeeking = 8;

void sayOnStandardError(const QString& message)
{
    std::fprintf(stderr, "larkhaven: %s\n", qPrintable(message));
}

std::int64_t systemNow()
{
    return QDateTime::currentSecsSinceEpoch();
}

QString describe(int code)
{
    return QString::fromUtf8(sqlite3_errstr(code));
}

} // namespace

struct MetadataCache::Core {
    Core(const std::string& folder, const Options& options)
        : folder(folder)
        , path(folder + "/" + fileName)
        , report(options.report ? options.report : sayOnStandardError)
        , now(options.now ? options.now : systemNow)
        , maximumBytes(options.maximumBytes)
    {
    }

    const std::string folder;
    const std::string path;
    const std::function<void(const QString&)> report;
    const std::function<std::int64_t()> now;
    const std::int64_t maximumBytes;
    std::atomic<State> state { State::opening };
    mutable std::atomic<bool> hasSpoken { false };

    // The lookups' own connection, so that a write under way never holds them up (WAL lets
    // readers and the writer pass each other).
    mutable std::mutex readLock;
    mutable SqliteDatabase reader;
    mutable SqliteDatabase::Statement readerFacts;
    mutable SqliteDatabase::Statement readerDurations;
    mutable SqliteDatabase::Statement readerListings;
    mutable bool hasReaderFailed = false;

    mutable std::mutex pendingLock;
    std::unordered_map<std::string, FileFacts> pending;
    mutable std::vector<std::string> named;
    mutable bool isFlushQueued = false;

    // The writer's; touched only by jobs on the writer.
    SqliteDatabase db;
    SqliteDatabase::Statement select;
    SqliteDatabase::Statement replace;
    SqliteDatabase::Statement touch;

    std::int64_t today() const { return now() / secondsPerDay; }

    void say(const QString& message) const
    {
        if (!hasSpoken.exchange(true))
            report(message);
    }

    QString name() const { return QString::fromStdString(path); }

    std::mutex openingLock;
    bool isOpeningDone = false;
    std::vector<std::function<void()>> waitingForOpening;

    void open(bool isAfterMovingAside = false);
    void runWaitingForOpening();
    void prune();
    bool prepareStatements();
    void fail(int code, bool isOpening, bool isAfterMovingAside = false);
    void stop(State to, const QString& message);
    bool moveAside();
    void closeAll();

    bool openReader() const;
    template <class OnRow>
    static void scan(SqliteDatabase::Statement& statement, int pathColumn, const std::vector<std::string>& keys, OnRow onRow);
    // Marks `path` named when its mark is older than `staleBefore`; under pendingLock.
    void markNamed(const std::string& path, std::int64_t seen, std::int64_t staleBefore) const;
    void flush();
    bool write(const std::unordered_map<std::string, FileFacts>& facts, const std::vector<std::string>& names);
};

void MetadataCache::Core::open(bool isAfterMovingAside)
{
    if (!FileSystem::makePrivateFolder(folder)) {
        stop(State::off, QStringLiteral("could not make the folder of the metadata cache %1 (%2); playing on without it")
                             .arg(QString::fromStdString(folder), QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    int result = db.open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (result != SQLITE_OK)
        return fail(result, true, isAfterMovingAside);
    db.setBusyTimeout(busyMilliseconds);
    if (db.isReadOnly())
        return fail(SQLITE_READONLY, true);
    const auto version = db.integer("PRAGMA user_version", &result);
    if (!version)
        return fail(result, true, isAfterMovingAside);
    if (*version > schemaVersion) {
        stop(State::off, QStringLiteral("the metadata cache %1 is from a newer version of the player; left it alone and playing on without it").arg(name()));
        return;
    }
    auto mode = db.prepare("PRAGMA journal_mode = WAL", &result);
    if (!mode.isValid() || (result = mode.step()) != SQLITE_ROW)
        return fail(result, true, isAfterMovingAside);
    if (mode.text(0) != QStringLiteral("wal"))
        return fail(SQLITE_BUSY, true); // another connection keeps it in its own mode
    mode = {};
    // In WAL mode NORMAL loses at most the last commits to a power cut, never the database.
    db.execute("PRAGMA synchronous = NORMAL");
    if (*version < schemaVersion) {
        const std::string create = std::string("BEGIN IMMEDIATE;") + FactsTable::createSql + "PRAGMA user_version = "
            + std::to_string(schemaVersion) + "; COMMIT;";
        if ((result = db.execute(create.c_str())) != SQLITE_OK) {
            db.execute("ROLLBACK");
            return fail(result, true, isAfterMovingAside);
        }
    }
    const auto pageSize = db.integer("PRAGMA page_size").value_or(4096);
    db.execute(("PRAGMA max_page_count = " + std::to_string(std::max<std::int64_t>(1, maximumBytes / pageSize))).c_str());
    if (!prepareStatements())
        return fail(SQLITE_CORRUPT, true, isAfterMovingAside);
    state = State::ready;
}

// After the jobs that waited for the opening: a million rows' prune reads the whole table, and
// a launch's lookups need not wait for it (the reader passes the writer).
void MetadataCache::Core::prune()
{
    if (state != State::ready)
        return;
    auto statement = db.prepare(FactsTable::pruneSql);
    statement.bind(1, today() - keptDays);
    if (const int result = statement.step(); result != SQLITE_DONE)
        fail(result, false);
}

void MetadataCache::Core::runWaitingForOpening()
{
    std::vector<std::function<void()>> jobs;
    {
        std::lock_guard guard(openingLock);
        isOpeningDone = true;
        jobs = std::exchange(waitingForOpening, {});
    }
    for (auto& job : jobs)
        job();
}

bool MetadataCache::Core::prepareStatements()
{
    select = db.prepare(FactsTable::selectSql);
    replace = db.prepare(FactsTable::replaceSql);
    touch = db.prepare(FactsTable::touchSql);
    return select.isValid() && replace.isValid() && touch.isValid();
}

// What each failure means for a cache: nothing in it is worth more than the player running on.
void MetadataCache::Core::fail(int code, bool isOpening, bool isAfterMovingAside)
{
    const int primary = code & 0xff;
    if (primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB) {
        if (!isAfterMovingAside && moveAside()) {
            if (isOpening)
                return open(true);
            state = State::off; // a fresh one is started at the next launch
            return;
        }
        stop(State::off, QStringLiteral("the metadata cache %1 could not be read (%2) and could not be moved aside; playing on without it").arg(name(), describe(code)));
        return;
    }
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) {
        if (isOpening)
            stop(State::off, QStringLiteral("the metadata cache %1 is locked by another program; left it alone and playing on without it").arg(name()));
        else
            say(QStringLiteral("the metadata cache %1 is locked by another program; what was learned meanwhile is not kept").arg(name()));
        return;
    }
    if (primary == SQLITE_FULL && !isOpening) {
        stop(State::readOnly, QStringLiteral("the disk holding the metadata cache %1 is full; what is learned from now on is not kept").arg(name()));
        return;
    }
    if (primary == SQLITE_READONLY || primary == SQLITE_CANTOPEN || primary == SQLITE_PERM || primary == SQLITE_AUTH) {
        stop(State::off, QStringLiteral("the metadata cache %1 cannot be written (%2); left it alone and playing on without it").arg(name(), describe(code)));
        return;
    }
    stop(State::off, QStringLiteral("the metadata cache %1 cannot be used (%2); playing on without it").arg(name(), describe(code)));
}

void MetadataCache::Core::stop(State to, const QString& message)
{
    state = to;
    say(message);
    if (to == State::off)
        closeAll();
}

// Keeps the unreadable file for whoever wants to look at it, under a name no run opens again.
bool MetadataCache::Core::moveAside()
{
    closeAll();
    const std::string aside = path + ".corrupt-" + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss")).toStdString();
    if (::rename(path.c_str(), aside.c_str()) != 0)
        return false;
    ::rename((path + "-wal").c_str(), (aside + "-wal").c_str());
    ::unlink((path + "-shm").c_str());
    say(QStringLiteral("the metadata cache %1 could not be read; moved it aside as %2 and started a new one")
            .arg(name(), QString::fromStdString(aside)));
    return true;
}

void MetadataCache::Core::closeAll()
{
    select = {};
    replace = {};
    touch = {};
    db.close();
    std::lock_guard guard(readLock);
    readerFacts = {};
    readerDurations = {};
    readerListings = {};
    reader.close();
}

// Under readLock. Mapped rather than read page by page: a launch's million lookups would
// otherwise spend most of their time in read calls.
bool MetadataCache::Core::openReader() const
{
    const State now = state;
    if ((now != State::ready && now != State::readOnly) || hasReaderFailed)
        return false;
    if (reader.isOpen())
        return true;
    hasReaderFailed = reader.open(path, SQLITE_OPEN_READONLY) != SQLITE_OK;
    if (!hasReaderFailed) {
        reader.setBusyTimeout(busyMilliseconds);
        reader.execute("PRAGMA mmap_size = 1073741824; PRAGMA cache_size = -32768");
        readerFacts = reader.prepare(FactsTable::selectFromSql);
        readerDurations = reader.prepare(FactsTable::durationFromSql);
        readerListings = reader.prepare(FactsTable::listingFromSql);
        hasReaderFailed = !readerFacts.isValid() || !readerDurations.isValid() || !readerListings.isValid();
    }
    return !hasReaderFailed;
}

// Under readLock. Calls onRow(index, statement) for each of `keys` the table holds, going
// through them in path order: the next file wanted is then mostly a step or two further on,
// and only one far ahead is sought from the table's root.
template <class OnRow>
void MetadataCache::Core::scan(SqliteDatabase::Statement& statement, int pathColumn, const std::vector<std::string>& keys, OnRow onRow)
{
    std::vector<std::size_t> order(keys.size());
    for (std::size_t index = 0; index < order.size(); ++index)
        order[index] = index;
    // Byte order, as SQLite orders blobs.
    std::sort(order.begin(), order.end(), [&keys](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
    bool isPositioned = false;
    bool isAtEnd = false;
    for (const std::size_t index : order) {
        const std::string_view key = keys[index];
        for (int steps = 0; isPositioned && !isAtEnd && statement.bytes(pathColumn) < key; ++steps) {
            if (steps == stepsBeforeSeeking) {
                isPositioned = false;
                break;
            }
            isAtEnd = statement.step() != SQLITE_ROW;
        }
        if (!isPositioned) {
            statement.reset();
            statement.bind(1, key);
            isAtEnd = statement.step() != SQLITE_ROW;
            isPositioned = true;
        }
        // Once past the table's last row, none of the keys still to come is there.
        if (!isAtEnd && statement.bytes(pathColumn) == key)
            onRow(index, statement);
    }
    statement.reset();
}

void MetadataCache::Core::markNamed(const std::string& key, std::int64_t seen, std::int64_t staleBefore) const
{
    if (seen >= staleBefore)
        return;
    named.push_back(key);
}

void MetadataCache::Core::flush()
{
    std::unordered_map<std::string, FileFacts> facts;
    std::vector<std::string> names;
    {
        std::lock_guard guard(pendingLock);
        facts = std::exchange(pending, {});
        names = std::exchange(named, {});
        isFlushQueued = false;
    }
    if (state != State::ready || (facts.empty() && names.empty()))
        return;
    write(facts, names);
}

bool MetadataCache::Core::write(const std::unordered_map<std::string, FileFacts>& facts, const std::vector<std::string>& names)
{
    int result = db.execute("BEGIN IMMEDIATE");
    const std::int64_t day = today();
    for (auto entry = facts.begin(); result == SQLITE_OK && entry != facts.end(); ++entry) {
        select.reset();
        select.bind(1, entry->first);
        result = select.step();
        FileFacts merged = result == SQLITE_ROW ? FactsTable::readFacts(select).mergedWith(entry->second) : entry->second;
        select.reset();
        if (result != SQLITE_ROW && result != SQLITE_DONE)
            break;
        replace.reset();
        FactsTable::bindFacts(replace, entry->first, day, merged);
        const int step = replace.step();
        result = step == SQLITE_DONE ? SQLITE_OK : step;
    }
    for (auto name = names.begin(); result == SQLITE_OK && name != names.end(); ++name) {
        touch.reset();
        touch.bind(1, day);
        touch.bind(2, *name);
        const int step = touch.step();
        result = step == SQLITE_DONE ? SQLITE_OK : step;
    }
    if (result == SQLITE_OK)
        result = db.execute("COMMIT");
    if (result == SQLITE_OK)
        return true;
    select.reset();
    replace.reset();
    touch.reset();
    db.execute("ROLLBACK");
    fail(result, false);
    return false;
}

MetadataCache::MetadataCache(const std::string& folder, Options options)
    : core_(std::make_shared<Core>(folder, options))
    , ownWriter_(options.writer ? nullptr : std::make_unique<SerialExecutor>())
{
    writer_ = options.writer ? options.writer : ownWriter_.get();
    writer_->execute([core = core_] {
        core->open();
        core->runWaitingForOpening();
        core->prune();
    });
}

MetadataCache::~MetadataCache()
{
    writer_->execute([core = core_] {
        core->flush();
        core->closeAll();
    });
    ownWriter_.reset(); // runs what is queued, then joins
}

// Many lookups in one read transaction, which spares each its own; then what is still waiting
// to be written joins them. Every file found counts as named.
template <class Value, class Read, class WithWaiting>
std::vector<std::optional<Value>> MetadataCache::lookUp(const std::vector<std::string>& paths, Reading reading, Read read, WithWaiting withWaiting) const
{
    std::vector<std::optional<Value>> found(paths.size());
    std::vector<std::int64_t> seen(paths.size());
    {
        std::lock_guard guard(core_->readLock);
        if (core_->openReader()) {
            const bool isInTransaction = paths.size() > 1 && core_->reader.execute("BEGIN") == SQLITE_OK;
            auto& statement = reading == Reading::facts ? core_->readerFacts
                : reading == Reading::listings          ? core_->readerListings
                                                        : core_->readerDurations;
            const int pathColumn = reading == Reading::facts ? FactsTable::selectFromPathColumn
                : reading == Reading::listings               ? FactsTable::listingFromPathColumn
                                                             : FactsTable::durationFromPathColumn;
            Core::scan(statement, pathColumn, paths, [&](std::size_t index, const SqliteDatabase::Statement& row) {
                seen[index] = FactsTable::readSeen(row);
                found[index] = read(row);
            });
            if (isInTransaction)
                core_->reader.execute("COMMIT");
        }
    }
    const std::int64_t staleBefore = core_->today() - namedRefreshDays;
    std::lock_guard guard(core_->pendingLock);
    for (std::size_t index = 0; index < paths.size(); ++index) {
        if (found[index])
            markNamed(paths[index], seen[index], staleBefore);
        if (const auto waiting = core_->pending.find(paths[index]); waiting != core_->pending.end())
            withWaiting(found[index], waiting->second);
    }
    return found;
}

std::optional<FileFacts> MetadataCache::find(const std::string& path, const std::optional<FileStamp>& current) const
{
    auto facts = knownFacts({ path }).front();
    if (!facts || (current && facts->stamp != *current))
        return std::nullopt;
    return facts;
}

namespace {

void withWaitingFacts(std::optional<FileFacts>& facts, const FileFacts& waiting)
{
    facts = facts ? facts->mergedWith(waiting) : waiting;
}

} // namespace

std::vector<std::optional<FileFacts>> MetadataCache::knownFacts(const std::vector<std::string>& paths) const
{
    return lookUp<FileFacts>(
        paths, Reading::facts, [](const SqliteDatabase::Statement& row) { return FactsTable::readFacts(row); }, withWaitingFacts);
}

std::vector<std::optional<FileFacts>> MetadataCache::knownListings(const std::vector<std::string>& paths) const
{
    return lookUp<FileFacts>(
        paths, Reading::listings, [](const SqliteDatabase::Statement& row) { return FactsTable::readListing(row); }, withWaitingFacts);
}

std::optional<double> MetadataCache::knownDuration(const std::string& path) const
{
    return knownDurations({ path }).front();
}

std::vector<std::optional<double>> MetadataCache::knownDurations(const std::vector<std::string>& paths) const
{
    return lookUp<double>(
        paths, Reading::durations, [](const SqliteDatabase::Statement& row) { return row.real(1); },
        [](std::optional<double>& duration, const FileFacts& waiting) {
            if (waiting.stream)
                duration = waiting.stream->duration; // learned since: newer than what is stored
        });
}

// Under pendingLock.
void MetadataCache::markNamed(const std::string& path, std::int64_t seen, std::int64_t staleBefore) const
{
    const std::size_t before = core_->named.size();
    core_->markNamed(path, seen, staleBefore);
    if (core_->named.size() > before)
        queueFlush();
}

void MetadataCache::record(const std::string& path, FileFacts facts)
{
    if (core_->state == State::off || core_->state == State::readOnly)
        return;
    std::lock_guard guard(core_->pendingLock);
    auto [entry, isNew] = core_->pending.try_emplace(path, facts);
    if (!isNew)
        entry->second = entry->second.mergedWith(std::move(facts));
    queueFlush();
}

// Under pendingLock.
void MetadataCache::queueFlush() const
{
    if (std::exchange(core_->isFlushQueued, true))
        return;
    writer_->execute([core = core_] { core->flush(); });
}

// Jobs asked for before the opening ends run on the writer as it ends, ahead of the prune.
void MetadataCache::afterOpening(std::function<void()> job)
{
    {
        std::lock_guard guard(core_->openingLock);
        if (!core_->isOpeningDone) {
            core_->waitingForOpening.push_back(std::move(job));
            return;
        }
    }
    writer_->execute(std::move(job));
}

MetadataCache::State MetadataCache::state() const
{
    return core_->state;
}

const std::string& MetadataCache::path() const
{
    return core_->path;
}

} // namespace lh
