#include "Preferences.h"

#include "FileSystem.h"
#include "MainThread.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
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

bool writeAll(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t count = ::write(fd, data, static_cast<size_t>(left));
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += count;
        left -= count;
    }
    return true;
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
    QDir().mkpath(QFile::decodeName(folder.c_str()));
    ::chmod(folder.c_str(), 0700);

    std::string temporary = path + ".tmp-XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return errnoText("creating a temporary file");
    const bool isWritten = writeAll(fd, bytes) && ::fsync(fd) == 0;
    const QString writeError = isWritten ? QString() : errnoText("writing");
    ::close(fd);
    if (!isWritten) {
        ::unlink(temporary.c_str());
        return writeError;
    }

    // Keep the previous good file as a backup; a missing one is no failure.
    const std::string backup = path + ".bak";
    ::unlink(backup.c_str());
    ::link(path.c_str(), backup.c_str());

    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const QString error = errnoText("replacing the file");
        ::unlink(temporary.c_str());
        return error;
    }
    syncFolder(folder);
    return std::nullopt;
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
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 && errno == ENOENT)
        return; // first run
    const auto contents = FileSystem::readFile(path);
    QJsonParseError parseError {};
    const QJsonDocument document = contents ? QJsonDocument::fromJson(*contents, &parseError) : QJsonDocument();
    if (contents && parseError.error == QJsonParseError::NoError && document.isObject()) {
        const QJsonObject stored = document.object();
        for (auto it = stored.begin(); it != stored.end(); ++it)
            values_.insert_or_assign(it.key(), it.value());
        return;
    }

    // Keep what we could not read for the user to look at; start with defaults.
    const QString aside = filePath_ + QStringLiteral(".corrupt-")
        + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-hhmmsszzz"));
    const bool isMoved = ::rename(path.c_str(), nativePath(aside).c_str()) == 0;
    std::fprintf(stderr, "Larkhaven: could not read %s; %s, starting with default settings\n",
                 path.c_str(), isMoved ? qPrintable(QStringLiteral("kept it as ") + aside) : "left it in place");
}

QJsonValue Preferences::valueOf(const QString& key) const
{
    const auto found = values_.find(key);
    return found == values_.end() ? QJsonValue() : found->second;
}

std::optional<QJsonValue> Preferences::object(const QString& key) const
{
    MainThread::check();
    const auto found = values_.find(key);
    if (found == values_.end())
        return std::nullopt;
    return found->second;
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
    MainThread::check();
    QJsonValue previous = valueOf(key);
    values_.insert_or_assign(key, std::move(value));
    {
        std::lock_guard lock(mutex_);
        pending_ = values_; // a few entries; the values themselves are shared, not copied
        ++requested_;
        if (!isWriteScheduled_) {
            isWriteScheduled_ = true;
            writer_.execute([this] { writeLatest(); });
        }
    }
    // Freeing a replaced 100,000-track playlist takes longer than the rest of set(): let the
    // writer thread drop the last reference.
    writer_.execute([previous = std::move(previous)] {});
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
    }
    QJsonObject object;
    for (const auto& [key, value] : snapshot)
        object.insert(key, value);
    snapshot.clear(); // let go of shared values early
    const QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Compact);
    const auto error = replaceAtomically(nativePath(filePath_), bytes);
    if (error)
        std::fprintf(stderr, "Larkhaven: could not save settings to %s: %s\n", qPrintable(filePath_), qPrintable(*error));
    {
        std::lock_guard lock(mutex_);
        lastWriteError_ = error;
        completed_ = std::max(completed_, generation);
    }
    written_.notify_all();
}

void Preferences::flush()
{
    std::unique_lock lock(mutex_);
    const std::uint64_t target = requested_;
    written_.wait(lock, [&] { return completed_ >= target; });
}

std::optional<QString> Preferences::lastWriteError() const
{
    std::lock_guard lock(mutex_);
    return lastWriteError_;
}

} // namespace lh
