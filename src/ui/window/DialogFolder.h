#pragma once

#include <QString>

#include <functional>

namespace lh {

// Where the file dialogs start. A dialog that opens on a share that has gone away since shows
// nothing the user can use (ours says the share is not answering; a desktop's chooser may wait
// on it), so the dialogs are always given a folder: the last one the user chose from, while it
// lies on a local volume, else a local fallback.
// Whether a folder is local is decided from the mount table alone (`isRemote`), never by asking
// the folder itself. Main thread only.
class DialogFolder {
public:
    // `fallback` is used as given, so it must be local (the home folder, say).
    DialogFolder(std::function<bool(const QString& folder)> isRemote, QString fallback);

    // The user's Music folder when it exists and is local, else the home folder.
    static QString defaultFallback();

    QString startFolder() const;
    // Notes where the user chose from: the folder holding the chosen file or folder, the one
    // the dialog showed.
    void remember(const QString& chosen);

private:
    std::function<bool(const QString&)> isRemote_;
    QString fallback_;
    QString last_;
};

} // namespace lh
