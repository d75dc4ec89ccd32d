#include "DesktopFileDialogs.h"

#include "MainThread.h"
#include "PortalFileChooser.h"
#include "SupportedAudio.h"
#include "Volumes.h"

#include <QWidget>

namespace lh {

DesktopFileDialogs::DesktopFileDialogs(QWidget& window, std::unique_ptr<PortalFileChooser> portal)
    : makeListing([] { return std::make_unique<GuardedListing>(); })
    , window_(window)
    , portal_(std::move(portal))
    , folder_([](const QString& folder) { return Volumes::isRemote(FileURL::fromLocalFile(folder, true)); },
          DialogFolder::defaultFallback())
{
}

DesktopFileDialogs::~DesktopFileDialogs()
{
    delete browser_.data();
}

void DesktopFileDialogs::openFiles(FilesChosen chosen)
{
    ask({ Mode::openFiles, folder_.startFolder(), { SupportedAudio::openDialogFilter() }, {} },
        [chosen = std::move(chosen)](std::vector<FileURL> files, int) { chosen(std::move(files)); });
}

void DesktopFileDialogs::chooseFolder(FolderChosen chosen)
{
    ask({ Mode::chooseFolder, folder_.startFolder(), {}, {} }, [chosen = std::move(chosen)](std::vector<FileURL> folders, int) {
        if (folders.empty())
            chosen(std::nullopt);
        else
            chosen(FileURL(folders.front().path(), true));
    });
}

void DesktopFileDialogs::chooseExport(ExportChosen chosen)
{
    ask({ Mode::save, folder_.startFolder(), exportFilters(), QString::fromLatin1(exportName) },
        [chosen = std::move(chosen)](std::vector<FileURL> files, int filter) {
            if (files.empty())
                chosen(std::nullopt);
            else
                chosen(exportChoice(files.front().toQString(), filter));
        });
}

void DesktopFileDialogs::ask(FileDialogs::Request request, Answer answer)
{
    if (isBusy()) {
        MainThread::post([answer = std::move(answer)] { answer({}, 0); });
        return;
    }
    // Where the user chose from is where the next dialog starts, while it stays local.
    Answer remembering = [this, answer = std::move(answer)](std::vector<FileURL> files, int filter) {
        if (!files.empty())
            folder_.remember(files.front().toQString());
        answer(std::move(files), filter);
    };
    if (!portal_) {
        browse(std::move(request), std::move(remembering));
        return;
    }
    isPortalAsking_ = true;
    portal_->ask(request, titleOf(request.mode), PortalFileChooser::parentWindowOf(window_),
        [this, request, remembering](std::optional<PortalFileChooser::Choice> choice) {
            isPortalAsking_ = false;
            if (choice)
                remembering(std::move(choice->files), choice->filter);
            else
                browse(request, remembering);
        });
}

void DesktopFileDialogs::browse(FileDialogs::Request request, Answer answer)
{
    const Mode mode = request.mode;
    auto* dialog = new FileBrowserDialog(std::move(request), FileBrowserDialog::defaultPlaces(), makeListing(), &window_);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    browser_ = dialog;
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, mode, answer = std::move(answer)](int result) {
        std::vector<FileURL> files;
        if (result == QDialog::Accepted) {
            for (const QString& path : dialog->chosen())
                files.push_back(FileURL::fromLocalFile(path, mode == Mode::chooseFolder));
        }
        answer(std::move(files), dialog->chosenFilter());
    });
    dialog->open();
}

bool DesktopFileDialogs::isBusy()
{
    if (browser_) {
        browser_->raise();
        browser_->activateWindow();
    }
    return browser_ || isPortalAsking_;
}

} // namespace lh
