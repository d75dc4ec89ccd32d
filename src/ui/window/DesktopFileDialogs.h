#pragma once

#include "DialogFolder.h"
#include "FileBrowserDialog.h"
#include "FileDialogs.h"

#include <QPointer>

#include <functional>
#include <memory>

class QWidget;

namespace lh {

class PortalFileChooser;

// The window's file dialogs: the desktop's own file chooser through the XDG desktop portal
// where one answers (out of process, so nothing it does can hold our window), else our own
// dialog, which never touches a path on the main thread. Both start where `DialogFolder` says.
// Main thread only.
class DesktopFileDialogs final : public FileDialogs {
public:
    // `portal` may be null: our own dialog then, always.
    DesktopFileDialogs(QWidget& window, std::unique_ptr<PortalFileChooser> portal);
    ~DesktopFileDialogs() override;

    void openFiles(FilesChosen chosen) override;
    void chooseFolder(FolderChosen chosen) override;
    void chooseExport(ExportChosen chosen) override;

    // How our own dialog looks at paths; real by default, replaced by tests.
    std::function<std::unique_ptr<GuardedListing>()> makeListing;
    // The dialog of our own while it is open (tests).
    FileBrowserDialog* browser() const { return browser_; }

private:
    // The chosen files or folder (none when cancelled) and the filter's index.
    using Answer = std::function<void(std::vector<FileURL> chosen, int filter)>;
    void ask(Request request, Answer answer);
    void browse(Request request, Answer answer);
    bool isBusy();

    QWidget& window_;
    std::unique_ptr<PortalFileChooser> portal_;
    DialogFolder folder_;
    QPointer<FileBrowserDialog> browser_;
    bool isPortalAsking_ = false;
};

} // namespace lh
