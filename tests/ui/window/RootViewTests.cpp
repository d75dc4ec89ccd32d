#include "RootView.h"

#include "AboutPanelController.h"
#include "BottomBarView.h"
#include "EventLoop.h"
#include "LCDView.h"
#include "LeopardSlider.h"
#include "PlayerMenu.h"
#include "PlayerModel.h"
#include "PlaylistListView.h"
#include "RecordingDispatcher.h"
#include "Preferences.h"
#include "RootViewParts.h"
#include "SquareButton.h"
#include "TrackInfoPanelController.h"
#include "TrackInfoView.h"
#include "TransportButton.h"

#include <QAction>
#include <QMenu>
#include <QScrollBar>
#include <QClipboard>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <set>
#include <sstream>

namespace lh {
namespace {

using namespace std::chrono_literals;

Track fileTrack(const std::string& path)
{
    Track track;
    track.url = FileURL(path);
    return track;
}

struct RootViewTest : ::testing::Test {
    QTemporaryDir dir;
    Preferences defaults { dir.path() + "/preferences.json" };
    PlayerModel model;
    RecordingDispatcher dispatcher;
    RootView view { model, dispatcher, defaults };
    int beeps = 0;

    RootViewTest()
    {
        view.beep = [this] { ++beeps; };
        view.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    }

    void setTracks(int count)
    {
        std::vector<Track> tracks;
        for (int i = 0; i < count; ++i)
            tracks.push_back(fileTrack("/music/Artist - Song " + std::to_string(i) + ".flac"));
        model.tracks.set(tracks);
    }

    void showAndSettle()
    {
        view.move(100, 100);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    }

    void waitForHeight(int height)
    {
        EXPECT_TRUE(test::runEventsUntil([&] { return view.height() == height; }, 2s)) << view.height();
        test::runEventsFor(50ms);
    }
};

TEST_F(RootViewTest, AnEmptyPlaylistShowsNotPlayingAndTheInfoButtonOnlyBeeps)
{
    EXPECT_EQ(RootViewParts::lcd(view).title(), "Not Playing");
    EXPECT_EQ(RootViewParts::lcd(view).artist(), "");
    EXPECT_EQ(RootViewParts::lcd(view).formatText(), "");
    EXPECT_EQ(view.bottomBar().statusText(), "0 songs");
    RootViewParts::infoButton(view).click();
    EXPECT_EQ(beeps, 1);
    EXPECT_TRUE(dispatcher.sent.empty());
}

TEST_F(RootViewTest, ShowsTheCurrentTrackAndTheTimes)
{
    setTracks(3);
    model.currentIndex.set(1);
    model.isLoading.set(true);
    EXPECT_EQ(RootViewParts::lcd(view).title(), "Song 1");
    EXPECT_EQ(RootViewParts::lcd(view).artist(), "Loading…");
    model.isLoading.set(false);
    EXPECT_EQ(RootViewParts::lcd(view).artist(), "Artist");
    model.isSoundDeviceMissing.set(true); // said where it is seen, whether meter or format shows
    EXPECT_EQ(RootViewParts::lcd(view).artist(), "No Sound Device");
    EXPECT_EQ(RootViewParts::lcd(view).title(), "Song 1");
    model.isSoundDeviceMissing.set(false);
    EXPECT_EQ(RootViewParts::lcd(view).artist(), "Artist");
    EXPECT_EQ(RootViewParts::lcd(view).formatText(), "FLAC");
    EXPECT_EQ(view.bottomBar().statusText(), "3 songs");
    EXPECT_EQ(view.list().rows().title(2), "Artist - Song 2");

    // Duration 0: the slider is off, its maximum 1, nothing remains.
    LeopardSlider& progress = RootViewParts::lcd(view).progressSlider();
    EXPECT_FALSE(progress.isEnabled());
    EXPECT_EQ(progress.maximum(), 1);
    EXPECT_EQ(RootViewParts::lcd(view).remainingText(), "-0:00");
    model.duration.set(200);
    model.currentTime.set(65.5);
    EXPECT_TRUE(progress.isEnabled());
    EXPECT_EQ(progress.maximum(), 200);
    EXPECT_EQ(progress.value(), 65.5);
    EXPECT_EQ(RootViewParts::lcd(view).elapsedText(), "1:05");
    EXPECT_EQ(RootViewParts::lcd(view).remainingText(), "-2:14");
    model.currentTime.set(250);
    EXPECT_EQ(RootViewParts::lcd(view).remainingText(), "-0:00");

    model.sleepTimeRemaining.set(89.5);
    EXPECT_EQ(view.bottomBar().statusText(), "3 songs — stops in 2 min");
    model.isReadingFolder.set(true);
    EXPECT_EQ(view.bottomBar().statusText(), "3 songs — reading folder…");
}

TEST_F(RootViewTest, SlidersBeingDraggedDoNotFollowTheModel)
{
    showAndSettle();
    model.duration.set(100);
    LeopardSlider& volume = RootViewParts::volumeSlider(view);
    QTest::mousePress(&volume, Qt::LeftButton, {}, QPoint(volume.width() / 2, 8));
    ASSERT_TRUE(volume.isTracking());
    const double dragged = volume.value();
    model.volume.set(0.1f);
    EXPECT_EQ(volume.value(), dragged);
    QTest::mouseRelease(&volume, Qt::LeftButton, {}, QPoint(volume.width() / 2, 8));
    model.volume.set(0.1f);
    EXPECT_FLOAT_EQ(float(volume.value()), 0.1f);
    ASSERT_FALSE(dispatcher.sent.empty());
    EXPECT_EQ(dispatcher.sent.front().rfind("volume ", 0), 0u);

    LeopardSlider& progress = RootViewParts::lcd(view).progressSlider();
    QTest::mousePress(&progress, Qt::LeftButton, {}, QPoint(progress.width() - 2, 7));
    model.currentTime.set(3);
    EXPECT_GT(progress.value(), 90);
    QTest::mouseRelease(&progress, Qt::LeftButton, {}, QPoint(progress.width() - 2, 7));
    EXPECT_EQ(dispatcher.sent.back().rfind("seek ", 0), 0u);
}

TEST_F(RootViewTest, EachControlSendsItsOneCommand)
{
    setTracks(2);
    const std::vector<std::pair<std::function<void()>, std::string>> cases = {
        { [&] { RootViewParts::previousButton(view).click(); }, RecordingDispatcher::name<PreviousCommand>() },
        { [&] { RootViewParts::playPauseButton(view).click(); }, RecordingDispatcher::name<TogglePlayPauseCommand>() },
        { [&] { RootViewParts::nextButton(view).click(); }, RecordingDispatcher::name<NextCommand>() },
        { [&] { view.stopButtonClicked({}); }, RecordingDispatcher::name<StopCommand>() },
        { [&] { RootViewParts::shuffleButton(view).click(); }, RecordingDispatcher::name<ToggleShuffleCommand>() },
        { [&] { RootViewParts::repeatButton(view).click(); }, RecordingDispatcher::name<ToggleRepeatCommand>() },
        { [&] { view.volumeUp(); }, "change volume 0.1" },
        { [&] { view.volumeDown(); }, "change volume -0.1" },
        { [&] { view.toggleDim(); }, RecordingDispatcher::name<ToggleDimCommand>() },
        { [&] { view.setSleepTimer(30); }, "sleep 30" },
        { [&] { view.setSleepTimer(0); }, "sleep off" },
        { [&] { QTest::keyClick(&view, Qt::Key_Space); }, RecordingDispatcher::name<TogglePlayPauseCommand>() },
    };
    for (const auto& [act, expected] : cases) {
        dispatcher.sent.clear();
        act();
        EXPECT_EQ(dispatcher.sent, std::vector<std::string> { expected });
    }
}

TEST_F(RootViewTest, ShiftClickOnStopOffersTheSleepTimerInsteadOfStopping)
{
    QStringList offered;
    view.popUpMenu = [&](const QList<QAction*>& items, QPoint) {
        for (QAction* item : items)
            offered.append(item->isSeparator() ? QStringLiteral("-") : item->text());
    };
    view.stopButtonClicked(Qt::ShiftModifier);
    EXPECT_TRUE(dispatcher.sent.empty());
    EXPECT_EQ(offered,
        QStringList({ "15 Minutes", "30 Minutes", "45 Minutes", "60 Minutes", "90 Minutes", "-", "Off" }));
}

TEST_F(RootViewTest, InfoAddAndRemoveGoThroughTheList)
{
    setTracks(5);
    model.currentIndex.set(3);
    view.showInfo();
    EXPECT_EQ(dispatcher.sent.back(), "info 3"); // no selection: the playing row
    view.list().selectAll();
    view.showInfo();
    EXPECT_EQ(dispatcher.sent.back(), "info 0");
    view.removeSelectedTrack();
    EXPECT_EQ(dispatcher.sent.back(), "remove 5");

    view.chooseFiles = [] { return std::vector<FileURL> { FileURL("/x/a.mp3") }; };
    view.addFiles();
    EXPECT_EQ(dispatcher.sent.back(), "add /x/a.mp3");
    view.chooseFolder = [] { return FileURL("/music/Album", true); };
    view.addFolder();
    EXPECT_EQ(dispatcher.sent.back(), "add /music/Album");
    dispatcher.sent.clear();
    view.chooseFiles = [] { return std::vector<FileURL> {}; };
    view.addFiles();
    view.chooseFolder = [] { return std::nullopt; };
    view.addFolder();
    EXPECT_TRUE(dispatcher.sent.empty());
}

// Copy puts each selected row's file once (a cue track as its audio file) as a URI list and as
// paths; Cut removes them too; Paste adds file URLs or absolute paths as a drop does.
TEST_F(RootViewTest, CopyCutAndPasteCarryFiles)
{
    std::vector<Track> tracks { fileTrack("/music/a.flac"), fileTrack("/music/Caf\xE9.flac"), fileTrack("/music/image.flac") };
    for (double start : { 0.0, 60.0 }) {
        tracks.push_back(fileTrack("/music/image.flac"));
        tracks.back().title = QStringLiteral("Cue");
        tracks.back().start = start;
    }
    model.tracks.set(tracks);
    view.list().selectAll();
    view.copySelection();
    const QMimeData* copied = QApplication::clipboard()->mimeData();
    ASSERT_TRUE(copied);
    EXPECT_EQ(copied->data("text/uri-list"), "file:///music/a.flac\r\nfile:///music/Caf%E9.flac\r\nfile:///music/image.flac\r\n");
    EXPECT_EQ(copied->data("text/plain"), "/music/a.flac\n/music/Caf\xE9.flac\n/music/image.flac\n");
    EXPECT_TRUE(dispatcher.sent.empty());

    view.paste();
    ASSERT_EQ(dispatcher.sent.size(), 1u);
    EXPECT_EQ(dispatcher.sent.back().rfind("add /music/a.flac", 0), 0u) << dispatcher.sent.back();
    view.cutSelection();
    EXPECT_EQ(dispatcher.sent.back(), "remove 5");

    auto* text = new QMimeData;
    text->setText(QStringLiteral("/music/Album\nnot a path\nfile:///music/list.m3u8\n"));
    QApplication::clipboard()->setMimeData(text);
    view.paste();
    EXPECT_EQ(dispatcher.sent.back(), "add /music/Album"); // and the list after it
}

// The save dialog's choice goes to the player; a write that failed is told, one that worked is not.
TEST_F(RootViewTest, AnExportGoesToThePlayerAndAFailureIsTold)
{
    std::vector<QString> told;
    view.tellFailure = [&](const QString& message) { told.push_back(message); };
    view.chooseExport = [] { return std::nullopt; };
    view.exportPlaylist();
    EXPECT_TRUE(dispatcher.sent.empty());

    view.chooseExport = [] { return RootView::ExportChoice { FileURL("/x/road.pls"), PlaylistFile::Format::pls }; };
    view.exportPlaylist();
    ASSERT_EQ(dispatcher.sent, std::vector<std::string>({ "export /x/road.pls 2" }));
    dispatcher.exportDone(std::nullopt);
    EXPECT_TRUE(told.empty());
    dispatcher.exportDone(QStringLiteral("No space left on device"));
    EXPECT_EQ(told, std::vector({ QStringLiteral("The playlist could not be saved as /x/road.pls: No space left on device.") }));
}

TEST_F(RootViewTest, DimmingFadesTheVolumeControls)
{
    model.isDimmed.set(true);
    EXPECT_DOUBLE_EQ(RootViewParts::volumeControlsOpacity(view), 0.4);
    model.isDimmed.set(false);
    EXPECT_DOUBLE_EQ(RootViewParts::volumeControlsOpacity(view), 1.0);
}

TEST_F(RootViewTest, TheMeterSettingIsKeptInTheDefaults)
{
    EXPECT_TRUE(RootViewParts::lcd(view).showsMeter());
    RootViewParts::lcd(view).meterArea().onClick();
    EXPECT_FALSE(RootViewParts::lcd(view).showsMeter());
    EXPECT_EQ(defaults.object("showsMeter"), QJsonValue(false));
}

TEST_F(RootViewTest, CollapsingKeepsTheTopEdgeAndRestoresTheHeightTheUserHad)
{
    showAndSettle();
    EXPECT_EQ(view.minimumHeight(), RootView::Layout::minimumExpandedHeight);
    view.resize(360, 600);
    const int top = view.geometry().top();

    view.togglePlaylist();
    waitForHeight(RootView::Layout::toolbarHeight);
    EXPECT_EQ(view.geometry().top(), top);
    EXPECT_EQ(view.minimumHeight(), 158);
    EXPECT_EQ(view.maximumHeight(), 158);
    EXPECT_FALSE(view.list().isVisible());
    EXPECT_FALSE(view.isPlaylistVisible());

    view.togglePlaylist();
    waitForHeight(600);
    EXPECT_EQ(view.geometry().top(), top);
    EXPECT_TRUE(view.list().isVisible());
    EXPECT_EQ(view.list().geometry(), QRect(0, 175, 360, 600 - 24 - 175));
    EXPECT_EQ(view.minimumHeight(), 294);
}

TEST_F(RootViewTest, MenusFollowTheState)
{
    PlayerMenu menu(model, view, view, { [] {}, [] {}, [] {}, [] {} });
    const auto enabled = [&](const char* title) { return menu.item(QString::fromUtf8(title))->isEnabled(); };

    EXPECT_FALSE(enabled("Play"));
    EXPECT_FALSE(enabled("Next"));
    EXPECT_FALSE(enabled("Get Info"));
    EXPECT_FALSE(enabled("Remove from Playlist"));
    EXPECT_FALSE(enabled("Stop"));
    model.isLoading.set(true);
    EXPECT_TRUE(enabled("Stop"));

    setTracks(3);
    EXPECT_TRUE(enabled("Previous"));
    view.list().selectAll();
    EXPECT_TRUE(enabled("Remove from Playlist"));
    EXPECT_TRUE(enabled("Get Info"));

    model.volume.set(1);
    EXPECT_FALSE(enabled("Increase Volume"));
    EXPECT_TRUE(enabled("Decrease Volume"));
    model.volume.set(0);
    EXPECT_TRUE(enabled("Increase Volume"));
    EXPECT_FALSE(enabled("Decrease Volume"));

    EXPECT_FALSE(enabled("Off"));
    model.sleepTimeRemaining.set(60);
    EXPECT_TRUE(enabled("Off"));

    model.isPlaying.set(true);
    EXPECT_NE(menu.item("Pause"), nullptr);
    model.isShuffled.set(true);
    EXPECT_TRUE(menu.item("Shuffle")->isChecked());

    showAndSettle();
    int folders = 0;
    view.chooseFolder = [&] {
        ++folders;
        return std::nullopt;
    };
    QTest::keyClick(&view, Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(folders, 1);
    QAction* playlist = menu.item("Hide Playlist");
    QTest::keyClick(&view, Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(playlist->text(), "Show Playlist");
    EXPECT_FALSE(enabled("Remove from Playlist")); // selection kept, playlist collapsed
    EXPECT_TRUE(enabled("Get Info"));
    waitForHeight(158);
}

TEST_F(RootViewTest, ShiftClicksOnStopLeaveNoMenuItemsBehind)
{
    showAndSettle();
    const auto actions = [&] { return view.findChildren<QAction*>().size(); };
    const qsizetype before = actions();
    for (int click = 0; click < 3; ++click) {
        view.stopButtonClicked(Qt::ShiftModifier);
        QMenu* menu = view.findChild<QMenu*>();
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(menu->actions().size(), 7);
        menu->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    EXPECT_EQ(view.findChild<QMenu*>(), nullptr);
    EXPECT_EQ(actions(), before);
    EXPECT_TRUE(dispatcher.sent.empty());
}

TEST_F(RootViewTest, CollapsingWhileTheExpansionRunsKeepsTheHeightTheUserHad)
{
    showAndSettle();
    view.resize(360, 600);
    view.togglePlaylist();
    waitForHeight(RootView::Layout::toolbarHeight);

    view.togglePlaylist();
    ASSERT_TRUE(test::runEventsUntil([&] { return view.height() > 200; }, 2s));
    ASSERT_LT(view.height(), 600);
    view.togglePlaylist(); // caught mid-way
    waitForHeight(RootView::Layout::toolbarHeight);
    view.togglePlaylist();
    waitForHeight(600);
}

TEST_F(RootViewTest, TheListsCallbacksSendTheirCommands)
{
    setTracks(6);
    view.list().onPlay(4);
    IndexSet rows = IndexSet::range(1, 2);
    rows.insert(5);
    view.list().onRemove(rows);
    view.list().onDropFiles({ FileURL("/x/dropped.flac") });
    EXPECT_EQ(dispatcher.sent, (std::vector<std::string> { "play 4", "remove 3", "add /x/dropped.flac" }));
}

TEST_F(RootViewTest, DownloadMarksComeFromTheFileStates)
{
    setTracks(6);
    const std::vector<std::pair<FileState, bool>> cases = { { FileState::local, false }, { FileState::cached, false },
        { FileState::waiting, true }, { FileState::copying, true }, { FileState::unreachable, true } };
    FileStateMap states;
    std::vector<bool> expected;
    for (std::size_t row = 0; row < cases.size(); ++row) {
        states[model.tracks.value()[row].url] = cases[row].first;
        expected.push_back(cases[row].second);
    }
    expected.push_back(false); // a file with no state yet
    model.fileStates.set(SharedFileStates(states));
    std::vector<bool> shown;
    for (std::int64_t row = 0; row < view.list().rowCount(); ++row)
        shown.push_back(view.list().rows().isUncached(row));
    EXPECT_EQ(shown, expected);
}

TEST_F(RootViewTest, TheListFollowsOnlyAChangeOfThePlayingTrack)
{
    setTracks(100);
    showAndSettle();
    QScrollBar& bar = *view.list().verticalScrollBar();
    const auto settle = [] { test::runEventsFor(20ms); };

    model.currentIndex.set(80);
    settle();
    EXPECT_GT(bar.value(), 0) << "a new playing track is brought into view";

    bar.setValue(0);
    std::vector<Track> tracks = model.tracks.value().toVector();
    tracks.insert(tracks.begin(), fileTrack("/music/Inserted.flac"));
    model.tracks.set(tracks);
    model.currentIndex.set(81); // the same track, one row down
    settle();
    EXPECT_EQ(bar.value(), 0) << "an edit around the playing track leaves the list where the user put it";

    model.currentIndex.set(90);
    settle();
    EXPECT_GT(bar.value(), 0);
}

TEST_F(RootViewTest, TheInfoPanelFollowsTheModel)
{
    TrackInfo info = TrackInfo::placeholder(FileURL("/music/Artist - Song.flac"));
    model.info.set(info);
    EXPECT_TRUE(RootViewParts::infoPanel(view).panel().isVisible());
    EXPECT_EQ(RootViewParts::infoPanel(view).infoView().info(), info);
    info.title = QStringLiteral("Read");
    model.info.set(info);
    EXPECT_EQ(RootViewParts::infoPanel(view).infoView().info(), info);
    EXPECT_FALSE(RootViewParts::infoPanel(view).panel().close()); // a close from the window manager only asks
    EXPECT_EQ(dispatcher.sent, std::vector<std::string> { RecordingDispatcher::name<CloseInfoCommand>() });
    EXPECT_TRUE(RootViewParts::infoPanel(view).panel().isVisible());
    model.info.set(std::nullopt);
    EXPECT_FALSE(RootViewParts::infoPanel(view).panel().isVisible());
}

TEST_F(RootViewTest, TheMeterSettingIsRestored)
{
    const std::vector<std::pair<QJsonValue, bool>> cases
        = { { QJsonValue(false), false }, { QJsonValue(true), true }, { QJsonValue(QStringLiteral("no")), true } };
    for (const auto& [stored, shows] : cases) {
        defaults.set(stored, QStringLiteral("showsMeter"));
        RootView restored(model, dispatcher, defaults);
        EXPECT_EQ(restored.showsMeter(), shows);
        EXPECT_EQ(RootViewParts::lcd(restored).showsMeter(), shows);
    }
}

struct MenuTest : RootViewTest {
    int hides = 0;
    int minimises = 0;
    int quits = 0;
    PlayerMenu menu { model, view, view, { [this] { ++hides; }, [this] { ++minimises; }, [] {}, [this] { ++quits; } } };
};

TEST_F(MenuTest, EachSleepTimerItemSendsItsMinutesAndOffCancels)
{
    model.sleepTimeRemaining.set(600);
    for (const auto& [title, sent] : { std::pair { "15 Minutes", "sleep 15" }, std::pair { "30 Minutes", "sleep 30" },
             std::pair { "45 Minutes", "sleep 45" }, std::pair { "60 Minutes", "sleep 60" },
             std::pair { "90 Minutes", "sleep 90" }, std::pair { "Off", "sleep off" } }) {
        dispatcher.sent.clear();
        menu.item(QString::fromUtf8(title))->trigger();
        EXPECT_EQ(dispatcher.sent, std::vector<std::string> { sent }) << title;
    }
}

TEST_F(MenuTest, CheckMarksFollowTheirSettings)
{
    const std::vector<std::tuple<const char*, std::function<void(bool)>>> cases = {
        { "Repeat", [&](bool on) { model.isRepeating.set(on); } },
        { "Dim", [&](bool on) { model.isDimmed.set(on); } },
        { "Shuffle", [&](bool on) { model.isShuffled.set(on); } },
        { "Show VU Meter", [&](bool on) {
             if (view.showsMeter() != on)
                 view.toggleMeter();
         } },
    };
    for (const auto& [title, set] : cases) {
        for (const bool on : { true, false, true }) {
            set(on);
            EXPECT_EQ(menu.item(QString::fromUtf8(title))->isChecked(), on) << title;
        }
    }
}

// One mode is checked at a time, the one the player has; choosing one asks the player for it.
TEST_F(MenuTest, ReplayGainModesAreACheckedGroupThatFollowsThePlayer)
{
    const ReplayGainMode modes[] = { ReplayGainMode::off, ReplayGainMode::track, ReplayGainMode::album };
    for (const ReplayGainMode mode : { ReplayGainMode::album, ReplayGainMode::off, ReplayGainMode::track }) {
        model.replayGainMode.set(mode);
        for (const ReplayGainMode each : modes)
            EXPECT_EQ(menu.replayGainItem(each)->isChecked(), each == mode) << static_cast<int>(each);
        dispatcher.sent.clear();
        menu.replayGainItem(mode)->trigger();
        EXPECT_EQ(dispatcher.sent, std::vector<std::string> { "replay gain " + std::to_string(static_cast<int>(mode)) });
    }
}

// Bindings hold their items, so a title a binding or a translator changes loses nothing.
TEST_F(MenuTest, EveryItemHasItsOwnHandleWhateverItsTitle)
{
    std::set<QAction*> seen;
    for (std::size_t i = 0; i < std::size_t(PlayerMenu::Item::count); ++i) {
        QAction* action = menu.item(PlayerMenu::Item(i));
        ASSERT_NE(action, nullptr) << i;
        EXPECT_TRUE(seen.insert(action).second) << i;
    }
    EXPECT_EQ(menu.item(PlayerMenu::Item::sleepTimerOff)->text(), "Off");

    QAction* stop = menu.item(PlayerMenu::Item::stop);
    stop->setText(QStringLiteral("Arrêter"));
    model.duration.set(0);
    EXPECT_FALSE(stop->isEnabled());
    model.duration.set(60);
    EXPECT_TRUE(stop->isEnabled());
}

TEST_F(MenuTest, SelectAllIsEnabledOnlyWhileTheListCanTakeIt)
{
    QAction* selectAll = menu.item("Select All");
    EXPECT_FALSE(selectAll->isEnabled()) << "no rows";
    setTracks(3);
    EXPECT_TRUE(selectAll->isEnabled());
    showAndSettle();
    view.togglePlaylist();
    EXPECT_FALSE(selectAll->isEnabled()) << "playlist collapsed";
    view.togglePlaylist();
    EXPECT_TRUE(selectAll->isEnabled());
    waitForHeight(RootView::size.height());
}

// Every key equivalent works whichever of the player's windows is active; Ctrl+W closes the
// active one.
TEST_F(MenuTest, KeyEquivalentsWorkInEveryWindow)
{
    setTracks(3);
    model.currentIndex.set(1);
    model.duration.set(100);
    showAndSettle();
    model.info.set(TrackInfo::placeholder(model.tracks.value()[1].url));
    view.showAbout();
    QWidget& infoPanel = RootViewParts::infoPanel(view).panel();
    QWidget& aboutPanel = *RootViewParts::aboutPanel(view).panel();

    const auto command = [](auto type) { return RecordingDispatcher::name<decltype(type)>(); };
    const std::vector<std::pair<Qt::Key, std::string>> commands = {
        { Qt::Key_Period, command(StopCommand()) },
        { Qt::Key_Right, command(NextCommand()) },
        { Qt::Key_Left, command(PreviousCommand()) },
        { Qt::Key_Up, "change volume 0.1" },
        { Qt::Key_Down, "change volume -0.1" },
        { Qt::Key_D, command(ToggleDimCommand()) },
        { Qt::Key_I, "info 1" },
        { Qt::Key_O, "add /x/chosen.mp3" },
    };
    view.chooseFiles = [] { return std::vector<FileURL> { FileURL("/x/chosen.mp3") }; };
    const auto press = [](QWidget& window, Qt::Key key) {
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, key, Qt::ControlModifier);
    };
    for (QWidget* window : { static_cast<QWidget*>(&view), &infoPanel, &aboutPanel }) {
        SCOPED_TRACE(window->windowTitle().toStdString());
        for (const auto& [key, sent] : commands) {
            dispatcher.sent.clear();
            press(*window, key);
            EXPECT_EQ(dispatcher.sent, std::vector<std::string> { sent }) << QKeySequence(key).toString().toStdString();
        }
        const int before = quits;
        press(*window, Qt::Key_Q);
        EXPECT_EQ(quits, before + 1);
        press(*window, Qt::Key_M);
        press(*window, Qt::Key_H);
    }
    EXPECT_EQ(minimises, 3);
    EXPECT_EQ(hides, 3);

    dispatcher.sent.clear();
    press(infoPanel, Qt::Key_W);
    EXPECT_EQ(dispatcher.sent, std::vector<std::string> { command(CloseInfoCommand()) });
    press(aboutPanel, Qt::Key_W);
    EXPECT_FALSE(aboutPanel.isVisible());
    EXPECT_EQ(hides, 3) << "closing a panel leaves the main window";
    press(view, Qt::Key_W);
    EXPECT_EQ(hides, 4);

    press(view, Qt::Key_A);
    EXPECT_EQ(view.list().selectedIndices(), IndexSet::range(0, 2));
}

} // namespace
} // namespace lh
