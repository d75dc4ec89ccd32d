#include "DialogFolder.h"

#include "FileURL.h"
#include "Volumes.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace lh {

DialogFolder::DialogFolder(std::function<bool(const QString& folder)> isRemote, QString fallback)
    : isRemote_(std::move(isRemote))
    , fallback_(std::move(fallback))
{
}

QString DialogFolder::defaultFallback()
{
    const QString home = QDir::homePath();
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    // Only a local Music folder is looked at; a home on a share is the user's own choice.
    if (music.isEmpty() || music == home || Volumes::isRemote(FileURL::fromLocalFile(music, true)))
        return home;
    return QFileInfo(music).isDir() ? music : home;
}

QString DialogFolder::startFolder() const
{
    if (last_.isEmpty() || isRemote_(last_))
        return fallback_;
    return last_;
}

void DialogFolder::remember(const QString& chosen)
{
    if (!chosen.isEmpty())
        last_ = QFileInfo(chosen).absolutePath();
}

} // namespace lh
