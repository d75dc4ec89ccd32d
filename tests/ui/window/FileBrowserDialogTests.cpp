#include "FileBrowserDialog.h"

#include "EventLoop.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include <sys/stat.h>

namespace lh {
namespace {

using namespace std::chrono_literals;

void makeFile(const QString& path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
}

QStringList texts(const QListWidget& list)
{
    QStringList result;
    for (int row = 0; row < list.count(); ++row)
        result << list.item(row)->text();
    return result;
}

// A music folder on the disk, and a share under /frozen whose every read hangs until the test
// lets go. Looks run on real threads; the watchdog looks and the clock moves only when the test
// says, so "the share stopped answering" needs no waiting.
struct FileBrowserDialogTest : ::testing::Test {
    QTemporaryDir dir;
    QString root = dir.path();
    std::promise<void> thaw;
    std::shared_future<void> thawed = thaw.get_future().share();
    std::atomic<int> hanging { 0 };
    std::atomic<int> looks { 0 };
    std::atomic<std::int64_t> elapsed { 0 }; // nanoseconds
    std::vector<std::thread> threads;
    std::mutex lock;
    std::vector<StallRuntime::Tick> watchdogs;

    FileBrowserDialogTest()
    {
        QDir(root).mkpath(QStringLiteral("Album 10"));
        QDir(root).mkpath(QStringLiteral("Album 9"));
        QDir(root).mkpath(QStringLiteral(".hidden"));
        for (const char* name : { "b.flac", "a.mp3", "cover.jpg", "list.m3u8", ".secret.flac" })
            makeFile(root + QLatin1Char('/') + QLatin1String(name));
        ::mkfifo(QFile::encodeName(root + QStringLiteral("/pipe.flac")).constData(), 0600);
    }

    ~FileBrowserDialogTest() override
    {
        thaw.set_value();
        for (std::thread& thread : threads)
            thread.join();
    }

    std::unique_ptr<GuardedListing> listing()
    {
        const GuardedListing::Read read = [this](const QString& path, const Progress& progress) {
            ++looks;
            if (path.startsWith(QStringLiteral("/frozen"))) {
                // Not for ever: a look made on the main thread by mistake fails the test, since
                // the share has answered by the time the event loop turns again.
                ++hanging;
                thawed.wait_for(30s);
                --hanging;
            }
            return GuardedListing::readPath(path, progress);
        };
        return std::make_unique<GuardedListing>(read,
            StallRuntime {
                .startThread = [this](StallRuntime::Job job) { threads.emplace_back(std::move(job)); },
                .startWatchdog = [this](std::chrono::nanoseconds, StallRuntime::Tick tick) {
                    std::lock_guard guard(lock);
                    watchdogs.push_back(std::move(tick));
                },
                .now = [this] { return MonotonicClock::time_point(std::chrono::nanoseconds(elapsed.load())); },
            });
    }

    // Time passes beyond the stall limit and every watchdog looks.
    void stallEverything()
    {
        elapsed += std::chrono::nanoseconds(GuardedListing::stallLimit * 2).count();
        std::lock_guard guard(lock);
        for (const StallRuntime::Tick& tick : watchdogs)
            tick();
    }

    std::unique_ptr<FileBrowserDialog> open(FileDialogs::Request request)
    {
        auto dialog = std::make_unique<FileBrowserDialog>(std::move(request),
            std::vector<FileBrowserDialog::Place> { { QStringLiteral("Share"), QStringLiteral("/frozen/share") } }, listing());
        dialog->show();
        dialog->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
        return dialog;
    }

    static QListWidget& list(FileBrowserDialog& dialog, const char* name) { return *dialog.findChild<QListWidget*>(name); }
    static QLineEdit& location(FileBrowserDialog& dialog) { return *dialog.findChild<QLineEdit*>("location"); }
    static QString status(FileBrowserDialog& dialog) { return dialog.findChild<QLabel*>("status")->text(); }

    static void type(FileBrowserDialog& dialog, const QString& text)
    {
        location(dialog).selectAll();
        QTest::keyClicks(&location(dialog), text);
        QTest::keyClick(&location(dialog), Qt::Key_Return);
    }

    static ::testing::AssertionResult waitForFolders(FileBrowserDialog& dialog, const QStringList& folders)
    {
        if (test::runEventsUntil([&] { return texts(list(dialog, "Folders")) == folders; }))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << texts(list(dialog, "Folders")).join(", ").toStdString() << " / "
                                             << status(dialog).toStdString();
    }
};

// The promise of the whole dialog: a share path typed and Enter pressed while the share hangs,
// and the event loop goes on; the hang is said, and the dialog goes on working.
TEST_F(FileBrowserDialogTest, ATypedSharePathThatHangsLeavesTheEventLoopTurning)
{
    auto dialog = open({ FileDialogs::Mode::openFiles, root, { QStringLiteral("Music (*.flac *.mp3 *.m3u8)") }, {} });
    ASSERT_TRUE(waitForFolders(*dialog, { "Album 9", "Album 10" }));

    type(*dialog, QStringLiteral("/frozen/share/Music"));
    ASSERT_TRUE(test::runEventsUntil([&] { return hanging == 1; }));
    bool isDelivered = false;
    QMetaObject::invokeMethod(dialog.get(), [&] { isDelivered = true; }, Qt::QueuedConnection);
    EXPECT_TRUE(test::runEventsUntil([&] { return isDelivered; }));
    EXPECT_EQ(hanging, 1) << "the share still hangs";

    stallEverything();
    EXPECT_TRUE(test::runEventsUntil([&] { return status(*dialog).contains("not answering"); })) << status(*dialog).toStdString();
    EXPECT_FALSE(dialog->result() == QDialog::Accepted);

    type(*dialog, root + QStringLiteral("/Album 9"));
    EXPECT_TRUE(test::runEventsUntil([&] { return location(*dialog).text() == root + "/Album 9"; }));
    EXPECT_EQ(hanging, 1);
}

// Clicking on a frozen share again and again holds at most a few threads on it.
TEST_F(FileBrowserDialogTest, LooksOnAFrozenShareHoldAFewThreadsAtMost)
{
    auto dialog = open({ FileDialogs::Mode::chooseFolder, root, {}, {} });
    for (int i = 0; i < 3 * GuardedListing::maxThreads; ++i)
        dialog->showFolder(QStringLiteral("/frozen/share/%1").arg(i));
    ASSERT_TRUE(test::runEventsUntil([&] { return hanging == GuardedListing::maxThreads; }));
    EXPECT_EQ(GuardedListing::threadsOnPaths(), GuardedListing::maxThreads);
    EXPECT_TRUE(test::runEventsUntil([&] { return status(*dialog).contains("not answering"); }))
        << "the look that found no thread says so at once";
}

TEST_F(FileBrowserDialogTest, TheListsShowFoldersAndTheFilesTheFilterTakesInNaturalOrder)
{
    auto dialog = open({ FileDialogs::Mode::openFiles, root, { QStringLiteral("Music (*.flac *.MP3 *.m3u8)"), QStringLiteral("Everything (*)") }, {} });
    ASSERT_TRUE(waitForFolders(*dialog, { "Album 9", "Album 10" })); // hidden ones left out
    EXPECT_EQ(texts(list(*dialog, "Files")), QStringList({ "a.mp3", "b.flac", "list.m3u8" })); // no FIFO
    dialog->findChild<QComboBox*>("filter")->setCurrentIndex(1);
    EXPECT_EQ(texts(list(*dialog, "Files")), QStringList({ "a.mp3", "b.flac", "cover.jpg", "list.m3u8" }));
}

// What the lists show is taken as it is; only typed text is looked at, and only on Enter.
TEST_F(FileBrowserDialogTest, OpeningTakesTheSelectionOrLooksAtWhatWasTyped)
{
    auto dialog = open({ FileDialogs::Mode::openFiles, root, { QStringLiteral("Music (*.flac *.mp3)") }, {} });
    ASSERT_TRUE(waitForFolders(*dialog, { "Album 9", "Album 10" }));
    const int looksBefore = looks;
    QTest::keyClicks(&location(*dialog), QStringLiteral("Al"));
    EXPECT_EQ(looks, looksBefore) << "typing looks at nothing";

    type(*dialog, QStringLiteral("nothing.flac"));
    EXPECT_TRUE(test::runEventsUntil([&] { return status(*dialog).startsWith("There is no"); }));
    type(*dialog, QStringLiteral("Album 10"));
    EXPECT_TRUE(waitForFolders(*dialog, {}));
    EXPECT_EQ(location(*dialog).text(), root + "/Album 10");
    QTest::keyClick(dialog.get(), Qt::Key_Up, Qt::AltModifier);
    ASSERT_TRUE(waitForFolders(*dialog, { "Album 9", "Album 10" }));

    list(*dialog, "Files").selectAll();
    const int looksThen = looks;
    dialog->findChild<QPushButton*>("open")->click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dialog->chosen(), QStringList({ root + "/a.mp3", root + "/b.flac" }));
    EXPECT_EQ(looks, looksThen);
}

TEST_F(FileBrowserDialogTest, SavingTakesANewNameAndAsksBeforeReplacing)
{
    auto dialog = open({ FileDialogs::Mode::save, root, FileDialogs::exportFilters(), QStringLiteral("Playlist.m3u8") });
    ASSERT_TRUE(waitForFolders(*dialog, { "Album 9", "Album 10" }));
    EXPECT_EQ(location(*dialog).text(), root + "/Playlist.m3u8");

    type(*dialog, QStringLiteral("b.flac"));
    QMessageBox* question = nullptr;
    ASSERT_TRUE(test::runEventsUntil([&] { return (question = dialog->findChild<QMessageBox*>()) != nullptr; }));
    question->button(QMessageBox::No)->click();
    EXPECT_NE(dialog->result(), QDialog::Accepted);

    dialog->findChild<QComboBox*>("filter")->setCurrentIndex(2);
    type(*dialog, QStringLiteral("Road"));
    EXPECT_TRUE(test::runEventsUntil([&] { return dialog->result() == QDialog::Accepted; }));
    EXPECT_EQ(dialog->chosen(), QStringList({ root + "/Road" }));
    EXPECT_EQ(dialog->chosenFilter(), 2);
}

TEST_F(FileBrowserDialogTest, AFolderIsChosenFromTheListOrByItsTypedPath)
{
    auto dialog = open({ FileDialogs::Mode::chooseFolder, root, {}, {} });
    ASSERT_TRUE(waitForFolders(*dialog, { "Album 9", "Album 10" }));
    EXPECT_FALSE(list(*dialog, "Files").isEnabled());
    list(*dialog, "Folders").setCurrentRow(1);
    QTest::keyClick(&location(*dialog), Qt::Key_Return);
    EXPECT_EQ(dialog->chosen(), QStringList({ root + "/Album 10" }));
}

TEST(GuardedListing, ReadsWhatAPathIs)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("sub"));
    makeFile(dir.path() + "/track.flac");
    QFile::link(dir.path() + "/sub", dir.path() + "/link to sub");
    const Progress none = [] {};

    const PathContent folder = GuardedListing::readPath(dir.path(), none);
    ASSERT_EQ(folder.kind, PathContent::Kind::folder);
    ASSERT_EQ(folder.entries.size(), 3u);
    EXPECT_EQ(folder.entries[0].name, "link to sub"); // a link to a folder is a folder
    EXPECT_TRUE(folder.entries[0].isFolder);
    EXPECT_EQ(folder.entries[2].name, "track.flac");
    EXPECT_FALSE(folder.entries[2].isFolder);
    EXPECT_EQ(GuardedListing::readPath(dir.path() + "/track.flac", none).kind, PathContent::Kind::file);
    EXPECT_EQ(GuardedListing::readPath(dir.path() + "/gone", none).kind, PathContent::Kind::missing);
}

} // namespace
} // namespace lh
