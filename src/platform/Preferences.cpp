#include "Preferences.h"

#include "FileSystem.h"
#include "JsonReader.h"
#include "MainThread.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lh {
namespace {

std::string nativePath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

QString errnoText(const char* step)
{
    return QStringLiteral("%1: %2").arg(QString::fromUtf8(step), QString::fromLocal8Bit(std::strerror(errno)));
}

void syncFolder(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Writes `bytes` to `path` so that at every instant `path` holds either the old or the new
// contents in full. Returns the reason on failure.
std::optional<QString> replaceAtomically(const std::string& path, const QByteArray& bytes)
{
    const std::string folder = QFileInfo(QFile::decodeName(path.c_str())).absolutePath().toStdString();
    if (!FileSystem::makePrivateFolder(folder))
        return errnoText("creating the folder");
    ::chmod(folder.c_str(), 0700);

    std::string temporary = path + ".tmp-XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return errnoText("creating a temporary file");
    const bool isWritten = FileSystem::writeAll(fd, bytes) && ::fsync(fd) == 0;
    const QString writeError = isWritten ? QString() : errnoText("writing");
    ::close(fd);
    if (!isWritten) {
        ::unlink(temporary.c_str());
        return writeError;
    }

    // Keep the previous good file as the backup. The old backup is replaced by a rename, so
    // it goes only once its successor exists; with no previous file (it was moved aside as
    // unreadable) the old backup stays, the last good copy there is.
    const std::string backup = path + ".bak";
    const std::string nextBackup = path + ".tmp-bak"; // cleared at start like any leftover
    ::unlink(nextBackup.c_str());
    if (::link(path.c_str(), nextBackup.c_str()) == 0) {
        ::rename(nextBackup.c_str(), backup.c_str());
        ::unlink(nextBackup.c_str()); // still there when both already named one file
    }

    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const QString error = errnoText("replacing the file");
        ::unlink(temporary.c_str());
        return error;
    }
    syncFolder(folder);
    return std::nullopt;
}

bool exists(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 || errno != ENOENT;
}

// The values of a stored JSON object; nothing when the file cannot be read or is no object.
// A value's JSON text: `[…]` around it is an array of one, whatever the value is.
QByteArray jsonText(const QJsonValue& value)
{
    const QByteArray array = QJsonDocument(QJsonArray { value }).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

QJsonValue parsedValue(const QByteArray& text)
{
    return QJsonDocument::fromJson('[' + text + ']').array().at(0);
}

// Values whose text is shorter are parsed at once; longer ones are kept as their text.
constexpr std::size_t largeValue = 64 * 1024;

// The values of a stored JSON object; nothing when the file cannot be read or is no object.
// The whole file is checked as QJsonDocument would check it, but only its small values are
// parsed.
template <class Stored>
std::optional<std::map<QString, Stored>> readObject(const std::string& path)
{
    auto contents = FileSystem::readFile(path);
    if (!contents)
        return std::nullopt;
    const auto buffer = std::make_shared<const QByteArray>(std::move(*contents));
    const std::string_view document = JsonReader::document(std::string_view(buffer->constData(), std::size_t(buffer->size())));
    JsonReader reader(document);
    if (!reader.beginObject())
        return std::nullopt;
    std::map<QString, Stored> values;
    while (const auto key = reader.nextKey()) {
        reader.peek();
        const std::size_t start = reader.position();
        if (!reader.skip())
            return std::nullopt;
        const std::string_view text = document.substr(start, reader.position() - start);
        if (text.size() < largeValue)
            values.insert_or_assign(key->toQString(), Stored { parsedValue(QByteArray(text.data(), qsizetype(text.size()))), nullptr, std::nullopt });
        else
            values.insert_or_assign(key->toQString(), Stored { QJsonValue(), nullptr, Preferences::Text(buffer, text) });
    }
    if (reader.failed() || !reader.atEnd())
        return std::nullopt;
    return values;
}

} // namespace

Preferences::Preferences(QString filePath)
    : filePath_(std::move(filePath))
{
    load();
}

Preferences::~Preferences()
{
    flush();
}

QString Preferences::defaultFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/Larkhaven/preferences.json");
}

void Preferences::load()
{
    const QFileInfo file(filePath_);
    const std::string folder = nativePath(file.absolutePath());
    const std::string leftoverPrefix = nativePath(file.fileName()) + ".tmp-";
    for (const std::string& name : FileSystem::listFolder(folder)) {
        if (name.starts_with(leftoverPrefix)) // a write cut short by a crash
            ::unlink((folder + "/" + name).c_str());
    }

    const std::string path = nativePath(filePath_);
    const std::string backup = path + ".bak";
    if (!exists(path) && !exists(backup))
        return; // first run
    if (auto stored = readObject<Stored>(path)) {
        values_ = std::move(*stored);
        return;
    }

    // Keep what we could not read for the user to look at.
    QString whatHappened = QStringLiteral("could not read %1").arg(QFile::decodeName(path.c_str()));
    if (exists(path)) {
        const QString aside = filePath_ + QStringLiteral(".corrupt-")
            + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-hhmmsszzz"));
        const bool isMoved = ::rename(path.c_str(), nativePath(aside).c_str()) == 0;
        whatHappened += isMoved ? QStringLiteral("; kept it as ") + aside : QStringLiteral("; left it in place");
    }
    if (auto stored = readObject<Stored>(backup)) {
        values_ = std::move(*stored);
        // The backup becomes the file again at once, so the restored settings hold even if
        // nothing changes before the next start.
        if (!exists(path))
            ::link(backup.c_str(), path.c_str());
        std::fprintf(stderr, "larkhaven: %s, restored the settings from %s\n", qPrintable(whatHappened), backup.c_str());
        return;
    }
    std::fprintf(stderr, "larkhaven: %s, starting with default settings\n", qPrintable(whatHappened));
}

Preferences::Text::Text(QByteArray own)
    : buffer_(std::make_shared<const QByteArray>(std::move(own)))
    , view_(buffer_->constData(), std::size_t(buffer_->size()))
{
}

Preferences::Text::Text(std::shared_ptr<const QByteArray> buffer, std::string_view view)
    : buffer_(std::move(buffer))
    , view_(view)
{
}

QJsonValue Preferences::valueOf(const QString& key) const
{
    const auto found = values_.find(key);
    if (found == values_.end())
        return QJsonValue();
    const Stored& stored = found->second;
    if (stored.serialize)
        return parsedValue((*stored.serialize)());
    if (stored.read)
        return parsedValue(QByteArray(stored.read->view().data(), qsizetype(stored.read->view().size())));
    return stored.value;
}

std::optional<Preferences::Text> Preferences::text(const QString& key) const
{
    MainThread::check();
    const auto found = values_.find(key);
    if (found == values_.end())
        return std::nullopt;
    const Stored& stored = found->second;
    if (stored.read)
        return stored.read;
    return Text(stored.serialize ? (*stored.serialize)() : jsonText(stored.value));
}

std::optional<QJsonValue> Preferences::object(const QString& key) const
{
    MainThread::check();
    if (!values_.contains(key))
        return std::nullopt;
    return valueOf(key);
}

std::optional<QJsonArray> Preferences::array(const QString& key) const
{
    MainThread::check();
    const QJsonValue value = valueOf(key);
    if (!value.isArray())
        return std::nullopt;
    return value.toArray();
}

bool Preferences::boolean(const QString& key) const
{
    MainThread::check();
    const QJsonValue value = valueOf(key);
    if (value.isBool())
        return value.toBool();
    return value.isDouble() && value.toDouble() != 0.0;
}

void Preferences::set(QJsonValue value, const QString& key)
{
    store(Stored { std::move(value), nullptr, std::nullopt }, key, Write::now);
}

void Preferences::setSerialized(Serializer serialize, const QString& key, Write write)
{
    store(Stored { QJsonValue(), std::make_shared<const Serializer>(std::move(serialize)), std::nullopt }, key, write);
}

void Preferences::store(Stored value, const QString& key, Write write)
{
    MainThread::check();
    Stored previous;
    if (const auto found = values_.find(key); found != values_.end())
        previous = std::move(found->second);
    values_.insert_or_assign(key, std::move(value));
    if (write == Write::now) {
        std::lock_guard lock(mutex_);
        pending_ = values_; // a few entries; the values themselves are shared, not copied
        ++requested_;
        if (!isWriteScheduled_) {
            isWriteScheduled_ = true;
            writer_.execute([this] { writeLatest(); });
        }
    }
    // Freeing a replaced 100,000-track playlist takes longer than the rest of set(): let the
    // writer thread drop the last reference. A value read from the file and replaced without a
    // write is the parse's, made at start-up: the heap it leaves goes back to the system
    // rather than staying with the process for good.
    writer_.execute([previous = std::move(previous), isParsed = write == Write::withNextChange]() mutable {
        previous = Stored();
        if (isParsed)
            ::malloc_trim(0);
    });
}

void Preferences::writeLatest()
{
    Values snapshot;
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(mutex_);
        snapshot = std::move(pending_);
        generation = requested_;
        isWriteScheduled_ = false;
        isUnsaved_ = false; // this write is the retry: flush() must not schedule another
    }
    QJsonObject object;
    for (const auto& [key, stored] : snapshot) {
        if (!stored.serialize && !stored.read)
            object.insert(key, stored.value);
    }
    QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Compact);
    object = QJsonObject();
    // The values kept as text go in as that text, before the object's closing brace.
    for (const auto& [key, stored] : snapshot) {
        if (!stored.serialize && !stored.read)
            continue;
        bytes.chop(1);
        if (bytes.size() > 1)
            bytes += ',';
        bytes += jsonText(key);
        bytes += ':';
        if (stored.serialize)
            bytes += (*stored.serialize)();
        else
            bytes.append(stored.read->view().data(), qsizetype(stored.read->view().size()));
        bytes += '}';
    }
    const auto error = replaceAtomically(nativePath(filePath_), bytes);
    if (error)
        std::fprintf(stderr, "larkhaven: could not save settings to %s: %s\n", qPrintable(filePath_), qPrintable(*error));
    {
        std::lock_guard lock(mutex_);
        lastWriteError_ = error;
        completed_ = std::max(completed_, generation);
        // Not saved is not done: unless a newer change already waits, keep these values for
        // the retry at the next change or at flush().
        isUnsaved_ = error.has_value() && !isWriteScheduled_;
        if (isUnsaved_)
            pending_ = std::move(snapshot);
    }
    snapshot.clear(); // let go of shared values outside the lock
    written_.notify_all();
}

void Preferences::flush()
{
    std::unique_lock lock(mutex_);
    if (isUnsaved_ && !isWriteScheduled_) {
        // The last write failed: one more try, so that quitting after the disk got space
        // again still saves.
        ++requested_;
        isWriteScheduled_ = true;
        writer_.execute([this] { writeLatest(); });
    }
    const std::uint64_t target = requested_;
    written_.wait(lock, [&] { return completed_ >= target; });
}

std::optional<QString> Preferences::lastWriteError() const
{
    std::lock_guard lock(mutex_);
    return lastWriteError_;
}

} // namespace lh
