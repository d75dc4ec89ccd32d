#pragma once

#include "SerialExecutor.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>

namespace lh {

// The user's settings and playlist, kept as one JSON object on disk.
//
// Values are typed: Boolean, number, string, array and text-keyed object, and a number is
// never mistaken for a Boolean. A value set is read back by the next read at once. Writing to
// disk happens on a thread of its own, coalesced (a burst of sets costs one write) and atomic
// (temporary file, fsync, rename, fsync of the folder; the previous good file is kept as a
// backup, replaced only once its successor exists), so neither a crash nor a full disk leaves
// a torn file, and the main thread never waits for a large playlist to reach the disk. A write
// that failed is tried again at the next change and at flush(). A file that cannot be read or
// parsed is moved aside, never deleted, and the store starts from the backup when that reads,
// else empty.
//
// Main thread only, except where a method says otherwise.
class Preferences {
public:
    explicit Preferences(QString filePath);
    // Flushes what is still pending.
    ~Preferences();

    Preferences(const Preferences&) = delete;
    Preferences& operator=(const Preferences&) = delete;

    // $XDG_CONFIG_HOME/Larkhaven/preferences.json
    static QString defaultFilePath();

    // The stored value with its type; nothing when absent.
    std::optional<QJsonValue> object(const QString& key) const;
    // The stored array; nothing when absent or not an array.
    std::optional<QJsonArray> array(const QString& key) const;
    // A stored Boolean, or a number other than zero; false otherwise.
    bool boolean(const QString& key) const;

    void set(QJsonValue value, const QString& key);

    // JSON text, shared with the buffer it lies in: the text of a value read from the file is
    // the file's own, not a copy.
    class Text {
    public:
        explicit Text(QByteArray own);
        Text(std::shared_ptr<const QByteArray> buffer, std::string_view view);
        std::string_view view() const { return view_; }

    private:
        std::shared_ptr<const QByteArray> buffer_;
        std::string_view view_;
    };
    // A stored value's JSON text, for a value too large to read as a QJsonValue (the caller
    // reads it with a JsonReader); nothing when absent.
    std::optional<Text> text(const QString& key) const;

    // The JSON text of a value, made when it is needed: on the writer thread for each write,
    // or for a read of the key. It must be callable from any thread, as often as needed.
    using Serializer = std::function<QByteArray()>;
    enum class Write { now, withNextChange };
    // Stores a value as its serializer alone: for a value as large as the playlist, which its
    // owner keeps anyway, so that it is not held a second time as JSON. `withNextChange` is for
    // a value the file already holds: it replaces the one read without a write of its own.
    void setSerialized(Serializer serialize, const QString& key, Write write = Write::now);

    // Waits until everything set so far is on disk (or failed to get there), first trying
    // again a write that failed. For quitting.
    void flush();

    // Why the last write failed; nothing once a write succeeds. Any thread.
    std::optional<QString> lastWriteError() const;

    const QString& filePath() const { return filePath_; }

private:
    void load();
    void writeLatest();
    QJsonValue valueOf(const QString& key) const; // null when absent

    // A map of values rather than a QJsonObject: inserting into a QJsonObject copies a
    // 100,000-element array, while a QJsonValue is shared by reference. A std::map, not a
    // QMap, because the writer thread gets a copy of its own: QMap would share its nodes and
    // detach them with an unsynchronised check.
    //
    // A large value read from the file stays the text it was there (checked, not parsed) until
    // it is set again: a playlist of a million tracks as JSON values would take several times
    // the memory of its text, and as long to build.
    struct Stored {
        QJsonValue value;
        std::shared_ptr<const Serializer> serialize; // when set, stands in for the value
        std::optional<Text> read; // when set, stands in for the value
    };
    using Values = std::map<QString, Stored>;
    void store(Stored value, const QString& key, Write write);

    QString filePath_;
    Values values_;

    mutable std::mutex mutex_; // guards the fields below, shared with the writer thread
    std::condition_variable written_;
    Values pending_;
    std::uint64_t requested_ = 0;
    std::uint64_t completed_ = 0;
    bool isWriteScheduled_ = false;
    bool isUnsaved_ = false; // the latest values failed to reach the disk
    std::optional<QString> lastWriteError_;

    SerialExecutor writer_; // last: its thread stops before the fields above go
};

} // namespace lh
