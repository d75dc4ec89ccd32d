#include "AboutPanelController.h"
#include "AboutView.h"
#include "Accessibility.h"
#include "Announce.h"
#include "BottomBarView.h"
#include "EventLoop.h"
#include "LCDView.h"
#include "LeopardSlider.h"
#include "PlayerMenu.h"
#include "PlayerModel.h"
#include "PlaylistListView.h"
#include "Preferences.h"
#include "PushButton.h"
#include "RecordingDispatcher.h"
#include "RootView.h"
#include "RootViewParts.h"
#include "SquareButton.h"
#include "TrackInfoView.h"
#include "TransportButton.h"

#include <QAccessible>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sstream>

namespace lh {
namespace {

using namespace std::chrono_literals;

QAccessibleInterface* accessible(QObject* object)
{
    QAccessibleInterface* found = QAccessible::queryAccessibleInterface(object);
    EXPECT_NE(found, nullptr);
    return found;
}

QStringList childNames(QAccessibleInterface* parent)
{
    QStringList names;
    for (int i = 0; i < parent->childCount(); ++i)
        names << parent->child(i)->text(QAccessible::Name);
    return names;
}

struct AccessibilityTest : ::testing::Test {
    QTemporaryDir dir;
    Preferences defaults { dir.path() + "/preferences.json" };
    PlayerModel model;
    RecordingDispatcher dispatcher;
    std::unique_ptr<RootView> view;
    std::vector<std::pair<QObject*, QAccessible::Event>> sent; // the events the views sent

    AccessibilityTest()
    {
        installAccessibleInterfaces();
        view = std::make_unique<RootView>(model, dispatcher, defaults);
        accessibilityObserver = [this](const QAccessibleEvent& event) { sent.emplace_back(event.object(), event.type()); };
    }
    ~AccessibilityTest() override { accessibilityObserver = nullptr; }

    void setTracks(int count)
    {
        std::vector<Track> tracks;
        for (int i = 0; i < count; ++i) {
            Track track;
            track.url = FileURL("/music/Artist - Song " + std::to_string(i) + ".flac");
            tracks.push_back(track);
        }
        model.tracks.set(tracks);
    }

    bool wasSent(QObject* object, QAccessible::Event type) const
    {
        return std::find(sent.begin(), sent.end(), std::pair { object, type }) != sent.end();
    }
};

TEST_F(AccessibilityTest, EveryButtonIsANamedButtonAndTheSwitchesShowTheirSetting)
{
    struct Case {
        QWidget* button;
        const char* name;
        bool checkable;
    };
    const auto square = [this](int index) { return view->bottomBar().findChildren<SquareButton*>().at(index); };
    for (const Case& c : { Case { &RootViewParts::previousButton(*view), "Previous", false }, Case { &RootViewParts::playPauseButton(*view), "Play", false },
             Case { &RootViewParts::nextButton(*view), "Next", false }, Case { &RootViewParts::stopButton(*view), "Stop", false },
             Case { &RootViewParts::playlistToggleButton(*view), "Hide Playlist", false }, Case { square(0), "Add", false },
             Case { square(1), "Remove", false }, Case { square(2), "Get Info", false }, Case { square(3), "Shuffle", true },
             Case { square(4), "Repeat", true } }) {
        QAccessibleInterface* button = accessible(c.button);
        EXPECT_EQ(button->role(), QAccessible::Button) << c.name;
        EXPECT_EQ(button->text(QAccessible::Name), c.name);
        EXPECT_EQ(button->state().checkable, c.checkable) << c.name;
    }

    // The names and states follow the player, and each change is announced.
    model.isPlaying.set(true);
    EXPECT_EQ(accessible(&RootViewParts::playPauseButton(*view))->text(QAccessible::Name), "Pause");
    EXPECT_TRUE(wasSent(&RootViewParts::playPauseButton(*view), QAccessible::NameChanged));
    EXPECT_TRUE(accessible(&RootViewParts::repeatButton(*view))->state().checked);
    EXPECT_FALSE(accessible(&RootViewParts::shuffleButton(*view))->state().checked);
    model.isShuffled.set(true);
    EXPECT_TRUE(accessible(&RootViewParts::shuffleButton(*view))->state().checked);
    EXPECT_TRUE(wasSent(&RootViewParts::shuffleButton(*view), QAccessible::StateChanged));

    // Pressing through the action interface is a click: the command goes, the setting stays
    // with the model.
    accessible(&RootViewParts::shuffleButton(*view))->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    accessible(&RootViewParts::playPauseButton(*view))->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(dispatcher.sent, (std::vector<std::string> { RecordingDispatcher::name<ToggleShuffleCommand>(), RecordingDispatcher::name<TogglePlayPauseCommand>() }));
    EXPECT_TRUE(accessible(&RootViewParts::shuffleButton(*view))->state().checked);
}

TEST_F(AccessibilityTest, SlidersReadTheirValuesAndStepAsTheKeysDo)
{
    QAccessibleInterface* position = accessible(&RootViewParts::lcd(*view).progressSlider());
    QAccessibleInterface* volume = accessible(&RootViewParts::volumeSlider(*view));
    EXPECT_EQ(position->role(), QAccessible::Slider);
    EXPECT_EQ(position->text(QAccessible::Name), "Position");
    EXPECT_EQ(volume->text(QAccessible::Name), "Volume");

    // Nothing loaded: the position cannot be moved.
    EXPECT_EQ(position->text(QAccessible::Value), "0:00 of 0:00");
    position->actionInterface()->doAction(QAccessibleActionInterface::increaseAction());
    EXPECT_TRUE(dispatcher.sent.empty());

    model.duration.set(296);
    model.currentTime.set(83.4);
    EXPECT_EQ(position->text(QAccessible::Value), "1:23 of 4:56");
    EXPECT_DOUBLE_EQ(position->valueInterface()->currentValue().toDouble(), 83.4);
    EXPECT_DOUBLE_EQ(position->valueInterface()->maximumValue().toDouble(), 296);
    position->actionInterface()->doAction(QAccessibleActionInterface::increaseAction());
    position->actionInterface()->doAction(QAccessibleActionInterface::decreaseAction());
    position->valueInterface()->setCurrentValue(400.0); // clamped to the end
    EXPECT_EQ(dispatcher.sent, (std::vector<std::string> { "seek 88.4", "seek 83.4", "seek 296" }));

    dispatcher.sent.clear();
    EXPECT_EQ(volume->text(QAccessible::Value), "80%");
    EXPECT_NEAR(volume->valueInterface()->currentValue().toDouble(), 80, 1e-4);
    EXPECT_DOUBLE_EQ(volume->valueInterface()->maximumValue().toDouble(), 100);
    volume->actionInterface()->doAction(QAccessibleActionInterface::decreaseAction());
    volume->valueInterface()->setCurrentValue(25);
    EXPECT_EQ(dispatcher.sent, (std::vector<std::string> { "volume 0.7", "volume 0.25" }));
}

TEST_F(AccessibilityTest, TheDisplayReadsWhatPlaysAndAnnouncesOnlyATrackChange)
{
    QAccessibleInterface* display = accessible(&RootViewParts::lcd(*view));
    EXPECT_EQ(display->text(QAccessible::Name), "Not Playing");
    EXPECT_EQ(view->windowTitle(), "Larkhaven");

    setTracks(2);
    model.currentIndex.set(1);
    EXPECT_EQ(display->text(QAccessible::Name), "Song 1, Artist");
    EXPECT_TRUE(wasSent(&RootViewParts::lcd(*view), QAccessible::NameChanged));
    EXPECT_TRUE(wasSent(&RootViewParts::lcd(*view), QAccessible::TextUpdated));
    EXPECT_EQ(view->windowTitle(), "Artist - Song 1 — Larkhaven");
    model.duration.set(60);
    model.currentTime.set(5);
    QAccessibleTextInterface* text = display->textInterface();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text(0, text->characterCount()), "Song 1\nArtist\nFLAC\n0:05 -0:55");

    // The clock ticks and the playlist grows around the track: nothing to announce.
    sent.clear();
    model.currentTime.set(6);
    setTracks(3);
    EXPECT_FALSE(wasSent(&RootViewParts::lcd(*view), QAccessible::NameChanged));
    model.currentIndex.set(2);
    EXPECT_TRUE(wasSent(&RootViewParts::lcd(*view), QAccessible::NameChanged));

    EXPECT_EQ(accessible(&view->bottomBar())->role(), QAccessible::StatusBar);
    EXPECT_EQ(accessible(&view->bottomBar())->text(QAccessible::Name), "3 songs");
    EXPECT_TRUE(wasSent(&view->bottomBar(), QAccessible::NameChanged));
}

TEST_F(AccessibilityTest, ThePlaylistHasARowPerTrackWithItsStatesAndSelection)
{
    setTracks(3);
    model.currentIndex.set(1);
    QAccessibleInterface* list = accessible(&view->list());
    EXPECT_EQ(list->role(), QAccessible::List);
    EXPECT_EQ(list->text(QAccessible::Name), "Playlist");
    ASSERT_EQ(list->childCount(), 3);
    EXPECT_EQ(childNames(list), (QStringList { "Artist - Song 0", "Artist - Song 1", "Artist - Song 2" }));
    QAccessibleInterface* row = list->child(1);
    EXPECT_EQ(row->role(), QAccessible::ListItem);
    EXPECT_EQ(list->indexOfChild(row), 1);
    EXPECT_EQ(row->parent(), list);
    EXPECT_TRUE(row->state().active);
    EXPECT_EQ(row->text(QAccessible::Description), "playing");
    EXPECT_FALSE(list->child(0)->state().active);

    // Selecting through the table selects in the list, as Ctrl-clicks would.
    QAccessibleTableInterface* table = list->tableInterface();
    ASSERT_NE(table, nullptr);
    EXPECT_TRUE(table->selectRow(0));
    EXPECT_TRUE(table->selectRow(2));
    IndexSet expected = IndexSet::single(0);
    expected.insert(2);
    EXPECT_EQ(view->list().selectedIndices(), expected);
    EXPECT_EQ(table->selectedRows(), (QList<int> { 0, 2 }));
    EXPECT_TRUE(list->child(2)->state().selected);
    EXPECT_TRUE(wasSent(&view->list(), QAccessible::SelectionWithin));
    EXPECT_TRUE(table->unselectRow(0));
    EXPECT_FALSE(table->isRowSelected(0));
    EXPECT_FALSE(table->selectRow(3));

    // A row's press plays it; a row that is gone is gone for the reader too.
    list->child(2)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(dispatcher.sent, std::vector<std::string> { "play 2" });
    const QAccessible::Id last = QAccessible::uniqueId(list->child(2));
    setTracks(2);
    EXPECT_EQ(list->childCount(), 2);
    EXPECT_EQ(QAccessible::accessibleInterface(last), nullptr);
}

TEST_F(AccessibilityTest, ThePanelsReadTheirTextsAndTheAboutLinksOpen)
{
    TrackInfoView info;
    TrackInfo track = TrackInfo::placeholder(FileURL("/music/Artist - Song.flac"));
    track.isLoading = false;
    track.duration = 83;
    info.setInfo(track);
    QAccessibleInterface* panel = accessible(&info);
    const QStringList texts = childNames(panel);
    EXPECT_EQ(texts.mid(0, 2), (QStringList { "Song", "Artist" }));
    const qsizetype kind = texts.indexOf("Kind:");
    ASSERT_GE(kind, 0);
    EXPECT_EQ(texts.at(kind + 1), "FLAC audio file");
    EXPECT_EQ(texts.at(texts.indexOf("Length:") + 1), "1:23");
    EXPECT_TRUE(texts.contains("OK"));
    EXPECT_EQ(panel->child(0)->textInterface()->text(0, -1), "Song");

    AboutView about;
    std::vector<QUrl> opened;
    about.openURL = [&opened](const QUrl& url) { opened.push_back(url); };
    QAccessibleInterface* aboutPanel = accessible(&about);
    // Its texts and links, then its close button.
    ASSERT_EQ(aboutPanel->childCount(), 6);
    EXPECT_EQ(aboutPanel->child(5)->text(QAccessible::Name), "Close");
    EXPECT_EQ(aboutPanel->child(5)->role(), QAccessible::Button);
    EXPECT_EQ(childNames(aboutPanel).mid(0, 2), (QStringList { "Larkhaven", AboutView::versionLine() }));
    for (int i = 3; i < 5; ++i) {
        QAccessibleInterface* link = aboutPanel->child(i);
        EXPECT_EQ(link->role(), QAccessible::Link);
        EXPECT_EQ(link->text(QAccessible::Name), AboutView::links().at(std::size_t(i - 3)).title);
        link->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    }
    EXPECT_EQ(opened, (std::vector<QUrl> { AboutView::links().at(0).url, AboutView::links().at(1).url }));
}

TEST_F(AccessibilityTest, TheKeyboardReachesTheMenusTheirNewKeysAndClosesAbout)
{
    PlayerMenu menu(model, *view, *view, { [] {}, [] {}, [] {}, [] {} });
    for (const auto& [title, key] : { std::pair { "Seek Forward", "Ctrl+Shift+Right" },
             std::pair { "Seek Backward", "Ctrl+Shift+Left" }, std::pair { "Shuffle", "Ctrl+U" },
             std::pair { "Repeat", "Ctrl+R" } }) {
        ASSERT_NE(menu.item(title), nullptr) << title;
        EXPECT_EQ(menu.item(title)->shortcut().toString(), key) << title;
    }
    EXPECT_FALSE(menu.item("Seek Forward")->isEnabled());
    model.duration.set(100);
    model.currentTime.set(2);
    EXPECT_TRUE(menu.item("Seek Forward")->isEnabled());

    view->show();
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    QTest::keyClick(view.get(), Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(dispatcher.sent, std::vector<std::string> { "seek 0" });
    for (const QKeySequence& key : { QKeySequence(Qt::Key_F10), QKeySequence(Qt::SHIFT | Qt::Key_F10), QKeySequence(Qt::Key_Menu) }) {
        QTest::keySequence(view.get(), key);
        EXPECT_TRUE(test::runEventsUntil([&] { return menu.menu().isVisible(); }, 2s)) << key.toString().toStdString();
        menu.menu().hide();
    }

    AboutPanelController about;
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(about.panel()));
    QTest::keyClick(about.panel(), Qt::Key_Escape);
    EXPECT_FALSE(about.panel()->isVisible());
}

} // namespace
} // namespace lh
