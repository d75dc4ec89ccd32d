#include "Preferences.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonDocument>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <unistd.h>

// The settings file and its backup are read back after crashes, full disks and hand edits.
//
// Input: a 16-bit little-endian length, that many bytes of preferences.json, then the bytes
// of preferences.json.bak.
namespace {

QString folder()
{
    // tmpfs where there is one: fsync costs nothing there.
    static const QString path = QStringLiteral("%1/fuzz-preferences-%2")
                                    .arg(QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm") : QDir::tempPath())
                                    .arg(::getpid());
    return path;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        std::abort();
}

bool isObject(const QByteArray& bytes)
{
    QJsonParseError error {};
    return QJsonDocument::fromJson(bytes, &error).isObject() && error.error == QJsonParseError::NoError;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::size_t mainSize = std::min<std::size_t>(data[0] | (data[1] << 8), size - 2);
    const QByteArray main(reinterpret_cast<const char*>(data + 2), static_cast<qsizetype>(mainSize));
    const QByteArray backup(reinterpret_cast<const char*>(data + 2 + mainSize), static_cast<qsizetype>(size - 2 - mainSize));

    QDir(folder()).removeRecursively();
    QDir().mkpath(folder());
    const QString path = folder() + "/preferences.json";
    writeFile(path, main);
    writeFile(path + ".bak", backup);
    {
        lh::Preferences preferences(path);
        const QString key = QStringLiteral("fuzzed");
        preferences.set(QJsonValue(1.5), key);
        preferences.flush();
        if (preferences.lastWriteError())
            std::abort();
    }
    // Whatever was there, the store saved a readable file, and kept the last good copy.
    QFile saved(path);
    if (!saved.open(QIODevice::ReadOnly) || !isObject(saved.readAll()))
        std::abort();
    QFile kept(path + ".bak");
    if (!kept.open(QIODevice::ReadOnly))
        std::abort();
    const QByteArray keptBytes = kept.readAll();
    if (isObject(main) ? keptBytes != main : keptBytes != backup)
        std::abort();
    lh::Preferences reopened(path);
    if (reopened.object(QStringLiteral("fuzzed")) != QJsonValue(1.5))
        std::abort();
    return 0;
}
