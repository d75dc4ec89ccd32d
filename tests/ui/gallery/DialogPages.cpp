#include "Gallery.h"

#include "FileBrowserDialog.h"
#include "FileErrors.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>

namespace lh::gallery {

namespace {

// A music folder read at once, and a share that never answers.
std::unique_ptr<GuardedListing> listing()
{
    const GuardedListing::Read read = [](const QString& path, const Progress&) -> PathContent {
        if (path.startsWith(QStringLiteral("/mnt/nas")))
            throw StalledError();
        PathContent content { PathContent::Kind::folder, {}, true };
        for (const char* folder : { "Bill Evans - Sunday at the Village Vanguard", "Miles Davis - Kind of Blue", "Nick Drake" })
            content.entries.push_back({ QString::fromUtf8(folder), true });
        for (const char* file : { "01 - Gloria's Step.flac", "02 - My Man's Gone Now.flac", "Kind of Blue.cue", "cover.jpg",
                 "坂本龍一 - 戦場のメリークリスマス.m4a" })
            content.entries.push_back({ QString::fromUtf8(file), false });
        return content;
    };
    return std::make_unique<GuardedListing>(read,
        StallRuntime { .startThread = [](StallRuntime::Job job) { job(); }, .startWatchdog = [](auto, auto) {} });
}

const std::vector<FileBrowserDialog::Place> places {
    { QStringLiteral("Home"), QStringLiteral("/home/ann") },
    { QStringLiteral("Music"), QStringLiteral("/home/ann/Music") },
    { QStringLiteral("nas"), QStringLiteral("/mnt/nas"), true },
};

void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

const Page dialogs("dialogs", [](const Camera& camera) {
    const QStringList audio { QStringLiteral("Audio files, cue sheets and playlists (*.flac *.m4a *.cue)") };
    FileBrowserDialog open({ FileDialogs::Mode::openFiles, QStringLiteral("/home/ann/Music"), audio, {} }, places, listing());
    settle();
    open.findChild<QListWidget*>(QStringLiteral("Files"))->setCurrentRow(1);
    camera.shoot("dialog-open", open);

    // A share path typed and Enter pressed while the share hangs.
    auto* location = open.findChild<QLineEdit*>(QStringLiteral("location"));
    location->selectAll();
    location->insert(QStringLiteral("/mnt/nas/Music/Jazz"));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(location, &enter);
    settle();
    camera.shoot("dialog-share-not-answering", open);

    FileBrowserDialog folder({ FileDialogs::Mode::chooseFolder, QStringLiteral("/home/ann/Music"), {}, {} }, places, listing());
    settle();
    camera.shoot("dialog-folder", folder);

    FileBrowserDialog save({ FileDialogs::Mode::save, QStringLiteral("/home/ann/Music"), FileDialogs::exportFilters(),
                               QStringLiteral("Playlist.m3u8") },
        places, listing());
    settle();
    camera.shoot("dialog-export", save);
});

} // namespace

} // namespace lh::gallery
