#pragma once

#include "Command.h"
#include "FileDialogs.h"
#include "FileURL.h"
#include "IndexSet.h"
#include "Observable.h"
#include "PlayerState.h"
#include "Subscription.h"

#include <QRect>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QGraphicsOpacityEffect;
class QVariantAnimation;

namespace lh {

class AboutPanelController;
class BottomBarView;
class LCDView;
class LeopardSlider;
class PlaylistHeaderView;
class PlaylistListView;
class Preferences;
class ResizeGripView;
class SpeakerIconView;
class SquareButton;
class ToolbarView;
class TrackInfoPanelController;
class TransportButton;

// The whole content of the main window: the toolbar with the display, the transport buttons and
// the volume slider, and below it the collapsible playlist with its header and bottom bar.
//
// It shows the player's state (read through `PlayerState` only) and turns every click, key and
// slider move into one command sent through `CommandDispatching`. The menus call the same
// actions. Main thread only.
class RootView : public QWidget {
public:
    RootView(const PlayerState& state, CommandDispatching& dispatcher, Preferences& defaults, QWidget* parent = nullptr);
    ~RootView() override;

    static constexpr QSize size { 360, 540 };
    struct Layout {
        static constexpr int toolbarHeight = 158;
        static constexpr QRect lcdFrame { 12, 32, 336, 72 };
        static constexpr int controlsCenterY = 132;
        static constexpr int headerHeight = 17;
        static constexpr int bottomBarHeight = 24;
        static constexpr int minimumExpandedHeight = toolbarHeight + headerHeight + 95 + bottomBarHeight;
    };
    static constexpr std::array<int, 5> sleepTimerChoices { 15, 30, 45, 60, 90 };
    static constexpr int resizeAnimationMilliseconds = 160;
    static constexpr double seekStep = 5; // seconds

    bool isPlaylistVisible() const { return isPlaylistVisible_.value(); }
    bool showsMeter() const { return showsMeter_.value(); }
    Publisher<bool> isPlaylistVisiblePublisher() const { return isPlaylistVisible_.publisher(); }
    Publisher<bool> showsMeterPublisher() const { return showsMeter_.publisher(); }
    Publisher<IndexSet> selectionPublisher() const;

    // The actions of the buttons, keys and menus; each sends at most one command.
    void previousTrack();
    void togglePlayPause();
    void nextTrack();
    void stopButtonClicked(Qt::KeyboardModifiers modifiers);
    void stopPlayback();
    void seekChanged();
    void volumeChanged();
    // A few seconds back or on in the playing track, as one step of the position slider.
    void seekBackward();
    void seekForward();
    void volumeUp();
    void volumeDown();
    void toggleShuffle();
    void toggleRepeat();
    void toggleStopAfterCurrent();
    void toggleDim();
    void setReplayGainMode(ReplayGainMode mode);
    // Empty: the sound server's default.
    void setOutputDevice(const std::string& name);
    void setShowsTagTitles(bool shows);
    // 0 cancels the sleep timer.
    void setSleepTimer(int minutes);
    void showInfo();
    void removeSelectedTrack();
    void addFiles();
    // A folder chooser; the folder's music is added (walked in the background).
    void addFolder();
    // A save dialog; the playlist is written there, off the main thread.
    void exportPlaylist();
    // Edit: the selected rows' files on the clipboard as a URI list and as lines of paths (a
    // cue track as its audio file, each file once), Cut removing them too; Paste adds the
    // clipboard's files, folders and lists as a drop does. Only while the list is shown.
    void copySelection();
    void cutSelection();
    void paste();
    void togglePlaylist();
    void toggleMeter();
    void showAbout();
    // Makes a key equivalent of the window work while one of its panels has the focus too.
    void addPanelAction(QAction* action);
    // Closes the panel that has the focus, if one has (Get Info through the model); false when
    // none has.
    bool closeActivePanel();

    // Fresh menu items each call, owned by `owner`: the five durations, a separator and "Off".
    QList<QAction*> sleepTimerItems(QObject* owner);

    // Where the outside world is reached; real by default, replaced by tests.
    // The open, folder and save dialogs, answering later while the window goes on.
    std::unique_ptr<FileDialogs> dialogs;
    using ExportChoice = FileDialogs::ExportChoice;
    std::function<void(const QString& message)> tellFailure; // a message box
    std::function<void()> beep;

    // The parts the window around the view and the menus reach. Tests reach the others through
    // `RootViewParts` (tests/support), the one friend the view has.
    ToolbarView& toolbar() const { return *toolbar_; }
    PlaylistListView& list() const { return *list_; }
    BottomBarView& bottomBar() const { return *bottomBar_; }
    // Pops up the stop button's sleep-timer menu, which takes the items over.
    std::function<void(const QList<QAction*>& items, QPoint globalPosition)> popUpMenu;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    friend struct RootViewParts;

    void buildToolbar();
    void buildPlaylistArea();
    void buildBottomBar();
    void bind();
    void bindTransport();
    void bindDisplay();
    void bindPlaylist();
    void bindSettings();
    // Names and spoken values for assistive technology (RootViewAccessibility.cpp).
    void makeAccessible();
    void showTrack(const QString& title, const QString& artist, const QString& windowTitle);
    void layoutPlaylistArea();
    void applySizeLimits();
    void animateWindowHeight(int target);
    void send(const Command& command) { dispatcher_.perform(command); }

    const PlayerState& state_;
    CommandDispatching& dispatcher_;
    Preferences& defaults_;
    int expandedHeight_ = size.height();
    Observable<bool> isPlaylistVisible_ { true };
    Observable<bool> showsMeter_ { true };
    std::vector<Subscription> subscriptions_;
    TrackList tracks_;

    ToolbarView* toolbar_;
    LCDView* lcd_;
    TransportButton* previousButton_;
    TransportButton* playPauseButton_;
    TransportButton* nextButton_;
    TransportButton* stopButton_;
    TransportButton* playlistToggleButton_;
    SpeakerIconView* volumeDownIcon_;
    SpeakerIconView* volumeUpIcon_;
    LeopardSlider* volumeSlider_;
    PlaylistHeaderView* header_;
    PlaylistListView* list_;
    BottomBarView* bottomBar_;
    ResizeGripView* grip_;
    SquareButton* addButton_;
    SquareButton* removeButton_;
    SquareButton* infoButton_;
    SquareButton* shuffleButton_;
    SquareButton* repeatButton_;
    std::vector<QGraphicsOpacityEffect*> dimmedEffects_;
    std::unique_ptr<TrackInfoPanelController> infoPanel_;
    std::unique_ptr<AboutPanelController> aboutPanel_;
    QVariantAnimation* resizeAnimation_ = nullptr;
};

} // namespace lh
