#pragma once

#include "FileURL.h"
#include "PlaylistFile.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace lh {

// How the window asks the user for files to add, a folder to add, or where to export the
// playlist.
//
// Each call shows a dialog and returns at once: the window's event loop keeps turning while
// the user browses, so it keeps painting, playing and answering the window manager whatever a
// share does. The answer comes later, on the main thread, exactly once per call (empty or none
// when cancelled), unless the dialogs object is gone by then. A call while a dialog is still
// open brings that one forward and is answered as cancelled. Main thread only.
class FileDialogs {
public:
    struct ExportChoice {
        FileURL list;
        PlaylistFile::Format format;
    };
    using FilesChosen = std::function<void(std::vector<FileURL>)>;
    using FolderChosen = std::function<void(std::optional<FileURL>)>;
    using ExportChosen = std::function<void(std::optional<ExportChoice>)>;

    virtual ~FileDialogs() = default;

    // Audio files, cue sheets and playlists (`SupportedAudio::openDialogFilter`).
    virtual void openFiles(FilesChosen chosen) = 0;
    virtual void chooseFolder(FolderChosen chosen) = 0;
    // A name to save under, with one of `exportFilters()`.
    virtual void chooseExport(ExportChosen chosen) = 0;

    // What a dialog is asked for, whichever dialog shows it.
    enum class Mode { openFiles, chooseFolder, save };
    struct Request {
        Mode mode = Mode::openFiles;
        QString folder; // where it starts
        QStringList filters; // "Name (*.a *.b)"; none shows every file
        QString name; // save: the name offered
    };

    // "Add Files", "Add Folder" or "Export Playlist": the menu item the dialog answers.
    static QString titleOf(Mode mode);

    // A filter as the dialogs show it, "Name (*.a *.b)", taken apart.
    struct NameFilter {
        QString name;
        QStringList patterns;
    };
    static NameFilter parseFilter(const QString& filter);

    // The export formats offered, M3U8 first: the one every player reads, in UTF-8.
    static QStringList exportFilters();
    static constexpr const char* exportName = "Playlist.m3u8";
    // What a save dialog's answer means: a name typed with a list's extension says the format
    // (M3U is written as M3U8); one without gets the chosen filter's, and its extension.
    static ExportChoice exportChoice(const QString& name, int filterIndex);
};

} // namespace lh
