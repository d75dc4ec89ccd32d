#include "PlayerMenu.h"

#include "PlaylistListView.h"
#include "PublisherHelpers.h"
#include "RootView.h"
#include "ToolbarView.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

#include <tuple>

namespace lh {

namespace {

QKeySequence ctrl(int key)
{
    return QKeySequence(Qt::CTRL | key);
}

} // namespace

PlayerMenu::PlayerMenu(const PlayerState& state, RootView& view, QWidget& window, WindowActions actions)
    : view_(view)
    , window_(window)
    , menu_(std::make_unique<QMenu>())
{
    buildAppMenu(actions);
    buildFileMenu(actions);
    buildEditMenu();
    buildControlsMenu();
    buildViewMenu();
    buildWindowMenu(actions);

    // Where the desktop has a global menu bar the tree goes there; otherwise the bar would sit
    // inside the fixed-size window, so it is not shown at all.
    menuBar_ = new QMenuBar(&window_);
    menuBar_->setNativeMenuBar(true);
    for (QAction* submenu : menu_->actions())
        menuBar_->addAction(submenu);
    if (!menuBar_->isNativeMenuBar())
        menuBar_->hide();
    bind(state);
    addMenuKeys();
}

PlayerMenu::~PlayerMenu() = default;

bool PlayerMenu::isNative() const
{
    return menuBar_->isNativeMenuBar();
}

void PlayerMenu::popUp(QPoint globalPosition) const
{
    menu_->popup(globalPosition);
}

QAction* PlayerMenu::item(const QString& title) const
{
    for (QAction* action : items_) {
        if (action->text() == title)
            return action;
    }
    return nullptr;
}

// Every item is also an action of the window and of its panels, so its key works while no menu
// is open, whichever of the player's windows has the focus.
QAction* PlayerMenu::add(QMenu& menu, Item handle, const QString& title, QKeySequence key, std::function<void()> action)
{
    QAction* item = menu.addAction(title);
    handles_[static_cast<std::size_t>(handle)] = item;
    if (!key.isEmpty()) {
        item->setShortcut(key);
        item->setShortcutContext(Qt::WindowShortcut);
        window_.addAction(item);
        view_.addPanelAction(item);
    }
    QObject::connect(item, &QAction::triggered, item, [action = std::move(action)] { action(); });
    items_.push_back(item);
    return item;
}

void PlayerMenu::buildAppMenu(const WindowActions& actions)
{
    QMenu* menu = menu_->addMenu(QStringLiteral("Larkhaven"));
    add(*menu, Item::about, QStringLiteral("About Larkhaven"), {}, [this] { view_.showAbout(); });
    menu->addSeparator();
    add(*menu, Item::hide, QStringLiteral("Hide Larkhaven"), ctrl(Qt::Key_H), actions.hide);
    menu->addSeparator();
    add(*menu, Item::quit, QStringLiteral("Quit Larkhaven"), ctrl(Qt::Key_Q), actions.quit);
}

void PlayerMenu::buildFileMenu(const WindowActions& actions)
{
    QMenu* menu = menu_->addMenu(QStringLiteral("File"));
    add(*menu, Item::addFiles, QStringLiteral("Add Files…"), ctrl(Qt::Key_O), [this] { view_.addFiles(); });
    add(*menu, Item::addFolder, QStringLiteral("Add Folder…"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O), [this] { view_.addFolder(); });
    add(*menu, Item::getInfo, QStringLiteral("Get Info"), ctrl(Qt::Key_I), [this] { view_.showInfo(); });
    menu->addSeparator();
    add(*menu, Item::exportPlaylist, QStringLiteral("Export Playlist…"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S),
        [this] { view_.exportPlaylist(); });
    menu->addSeparator();
    add(*menu, Item::remove, QStringLiteral("Remove from Playlist"), {}, [this] { view_.removeSelectedTrack(); });
    menu->addSeparator();
    add(*menu, Item::closeWindow, QStringLiteral("Close Window"), ctrl(Qt::Key_W), [this, hide = actions.hide] {
        if (!view_.closeActivePanel())
            hide();
    });
}

// Cut, Copy and Paste and Select All are the list's.
void PlayerMenu::buildEditMenu()
{
    QMenu* menu = menu_->addMenu(QStringLiteral("Edit"));
    add(*menu, Item::cut, QStringLiteral("Cut"), ctrl(Qt::Key_X), [this] { view_.cutSelection(); });
    add(*menu, Item::copy, QStringLiteral("Copy"), ctrl(Qt::Key_C), [this] { view_.copySelection(); });
    add(*menu, Item::paste, QStringLiteral("Paste"), ctrl(Qt::Key_V), [this] { view_.paste(); });
    add(*menu, Item::selectAll, QStringLiteral("Select All"), ctrl(Qt::Key_A), [this] {
        if (view_.isPlaylistVisible())
            view_.list().selectAll();
    });
}

void PlayerMenu::buildControlsMenu()
{
    QMenu* menu = menu_->addMenu(QStringLiteral("Controls"));
    add(*menu, Item::playPause, QStringLiteral("Play"), {}, [this] { view_.togglePlayPause(); });
    add(*menu, Item::stop, QStringLiteral("Stop"), ctrl(Qt::Key_Period), [this] { view_.stopPlayback(); });
    add(*menu, Item::stopAfterCurrent, QStringLiteral("Stop After Current Track"), {}, [this] { view_.toggleStopAfterCurrent(); })
        ->setCheckable(true);
    add(*menu, Item::next, QStringLiteral("Next"), ctrl(Qt::Key_Right), [this] { view_.nextTrack(); });
    add(*menu, Item::previous, QStringLiteral("Previous"), ctrl(Qt::Key_Left), [this] { view_.previousTrack(); });
    add(*menu, Item::seekForward, QStringLiteral("Seek Forward"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Right),
        [this] { view_.seekForward(); });
    add(*menu, Item::seekBackward, QStringLiteral("Seek Backward"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Left),
        [this] { view_.seekBackward(); });
    menu->addSeparator();
    add(*menu, Item::increaseVolume, QStringLiteral("Increase Volume"), ctrl(Qt::Key_Up), [this] { view_.volumeUp(); });
    add(*menu, Item::decreaseVolume, QStringLiteral("Decrease Volume"), ctrl(Qt::Key_Down), [this] { view_.volumeDown(); });
    add(*menu, Item::dim, QStringLiteral("Dim"), ctrl(Qt::Key_D), [this] { view_.toggleDim(); })->setCheckable(true);
    menu->addSeparator();
    add(*menu, Item::shuffle, QStringLiteral("Shuffle"), ctrl(Qt::Key_U), [this] { view_.toggleShuffle(); })->setCheckable(true);
    add(*menu, Item::repeat, QStringLiteral("Repeat"), ctrl(Qt::Key_R), [this] { view_.toggleRepeat(); })->setCheckable(true);
    QMenu* sleep = menu->addMenu(QStringLiteral("Sleep Timer"));
    const QList<QAction*> sleepItems = view_.sleepTimerItems(sleep);
    for (QAction* action : sleepItems) {
        sleep->addAction(action);
        if (!action->isSeparator())
            items_.push_back(action);
    }
    handles_[static_cast<std::size_t>(Item::sleepTimerOff)] = sleepItems.back(); // "Off" comes last
    buildReplayGainMenu(*menu);
    outputDeviceMenu_ = menu->addMenu(QStringLiteral("Output Device"));
    fillOutputDeviceMenu({}, {});
}

// Rebuilt whole at every change of the devices or the choice: a handful of items.
void PlayerMenu::fillOutputDeviceMenu(const std::vector<OutputDevice>& devices, const std::string& chosen)
{
    outputDeviceMenu_->clear();
    auto* group = new QActionGroup(outputDeviceMenu_);
    const auto addDevice = [&](const QString& title, const std::string& name) {
        QAction* item = outputDeviceMenu_->addAction(title);
        item->setCheckable(true);
        item->setChecked(name == chosen);
        group->addAction(item);
        QObject::connect(item, &QAction::triggered, item, [this, name] { view_.setOutputDevice(name); });
    };
    addDevice(QStringLiteral("Default"), {});
    if (!devices.empty())
        outputDeviceMenu_->addSeparator();
    for (const OutputDevice& device : devices)
        addDevice(QString::fromStdString(device.description.empty() ? device.name : device.description), device.name);
}

void PlayerMenu::buildReplayGainMenu(QMenu& controls)
{
    QMenu* menu = controls.addMenu(QStringLiteral("ReplayGain"));
    auto* group = new QActionGroup(menu);
    group->setExclusive(true);
    const std::array<QString, 3> titles { QStringLiteral("Off"), QStringLiteral("Track"), QStringLiteral("Album") };
    for (std::size_t i = 0; i < titles.size(); ++i) {
        QAction* item = menu->addAction(titles[i]);
        item->setCheckable(true);
        group->addAction(item);
        const auto mode = static_cast<ReplayGainMode>(i);
        QObject::connect(item, &QAction::triggered, item, [this, mode] { view_.setReplayGainMode(mode); });
        replayGainItems_[i] = item;
    }
}

void PlayerMenu::buildViewMenu()
{
    QMenu* menu = menu_->addMenu(QStringLiteral("View"));
    add(*menu, Item::togglePlaylist, QStringLiteral("Hide Playlist"), ctrl(Qt::Key_L), [this] { view_.togglePlaylist(); });
    add(*menu, Item::showMeter, QStringLiteral("Show VU Meter"), {}, [this] { view_.toggleMeter(); })->setCheckable(true);
    // A check item flips its mark before it reports: the mark is what the user asked for.
    add(*menu, Item::showTagTitles, QStringLiteral("Show Tag Titles"), {}, [this] {
        view_.setShowsTagTitles(item(Item::showTagTitles)->isChecked());
    })->setCheckable(true);
}

void PlayerMenu::buildWindowMenu(const WindowActions& actions)
{
    QMenu* menu = menu_->addMenu(QStringLiteral("Window"));
    add(*menu, Item::minimise, QStringLiteral("Minimize"), ctrl(Qt::Key_M), actions.minimise);
    menu->addSeparator();
    add(*menu, Item::bringAllToFront, QStringLiteral("Bring All to Front"), {}, actions.bringToFront);
}

void PlayerMenu::bind(const PlayerState& state)
{
    QAction* playPause = item(Item::playPause);
    QAction* stop = item(Item::stop);
    QAction* next = item(Item::next);
    QAction* previous = item(Item::previous);
    QAction* louder = item(Item::increaseVolume);
    QAction* quieter = item(Item::decreaseVolume);
    QAction* getInfo = item(Item::getInfo);
    QAction* remove = item(Item::remove);
    QAction* exportPlaylist = item(Item::exportPlaylist);
    QAction* off = item(Item::sleepTimerOff);
    QAction* playlist = item(Item::togglePlaylist);
    QAction* meter = item(Item::showMeter);
    QAction* shuffle = item(Item::shuffle);
    QAction* repeat = item(Item::repeat);
    QAction* dim = item(Item::dim);
    QAction* selectAll = item(Item::selectAll);
    QAction* seekForward = item(Item::seekForward);
    QAction* seekBackward = item(Item::seekBackward);

    const auto keep = [this](Subscription subscription) { subscriptions_.push_back(std::move(subscription)); };
    keep(state.isPlayingPublisher().sink([playPause](bool playing) {
        playPause->setText(playing ? QStringLiteral("Pause") : QStringLiteral("Play"));
    }));
    keep(state.tracksPublisher().sink([=](const TrackList& tracks) {
        for (QAction* action : { playPause, next, previous, exportPlaylist })
            action->setEnabled(!tracks.empty());
    }));
    keep(combineLatest(state.durationPublisher(), state.isLoadingPublisher())
             .sink([stop](const std::tuple<double, bool>& value) {
                 stop->setEnabled(std::get<0>(value) > 0 || std::get<1>(value));
             }));
    keep(state.durationPublisher().sink([seekForward, seekBackward](double duration) {
        seekForward->setEnabled(duration > 0);
        seekBackward->setEnabled(duration > 0);
    }));
    keep(state.volumePublisher().sink([louder, quieter](float volume) {
        louder->setEnabled(volume < 1);
        quieter->setEnabled(volume > 0);
    }));
    keep(combineLatest(view_.selectionPublisher(), state.currentIndexPublisher())
             .sink([getInfo](const std::tuple<IndexSet, std::optional<std::int64_t>>& value) {
                 getInfo->setEnabled(!std::get<0>(value).isEmpty() || std::get<1>(value).has_value());
             }));
    keep(combineLatest(view_.selectionPublisher(), view_.isPlaylistVisiblePublisher())
             .sink([remove, cut = item(Item::cut), copy = item(Item::copy)](const std::tuple<IndexSet, bool>& value) {
                 for (QAction* action : { remove, cut, copy })
                     action->setEnabled(!std::get<0>(value).isEmpty() && std::get<1>(value));
             }));
    // Paste follows what the clipboard holds, as the desktop changes it.
    QAction* paste = item(Item::paste);
    const auto updatePaste = [paste, this] {
        const QMimeData* data = QApplication::clipboard()->mimeData();
        paste->setEnabled(view_.isPlaylistVisible() && data && !PlaylistListView::filesOf(*data).empty());
    };
    QObject::connect(QApplication::clipboard(), &QClipboard::dataChanged, paste, updatePaste);
    keep(view_.isPlaylistVisiblePublisher().sink([updatePaste](bool) { updatePaste(); }));
    // Only the list answers Select All, and only while it is shown and has rows.
    keep(combineLatest(state.tracksPublisher(), view_.isPlaylistVisiblePublisher())
             .sink([selectAll](const std::tuple<TrackList, bool>& value) {
                 selectAll->setEnabled(!std::get<0>(value).empty() && std::get<1>(value));
             }));
    keep(state.isShuffledPublisher().sink([shuffle](bool on) { shuffle->setChecked(on); }));
    keep(state.isRepeatingPublisher().sink([repeat](bool on) { repeat->setChecked(on); }));
    keep(state.isDimmedPublisher().sink([dim](bool on) { dim->setChecked(on); }));
    keep(state.stopsAfterCurrentPublisher().sink([stopAfter = item(Item::stopAfterCurrent)](bool on) { stopAfter->setChecked(on); }));
    keep(state.replayGainModePublisher().sink([this](ReplayGainMode mode) { replayGainItem(mode)->setChecked(true); }));
    keep(combineLatest(state.outputDevicesPublisher(), state.outputDevicePublisher())
             .sink([this](const std::tuple<std::vector<OutputDevice>, std::string>& value) {
                 fillOutputDeviceMenu(std::get<0>(value), std::get<1>(value));
             }));
    keep(state.sleepTimeRemainingPublisher().sink(
        [off](const std::optional<double>& remaining) { off->setEnabled(remaining.has_value()); }));
    keep(view_.isPlaylistVisiblePublisher().sink([playlist](bool visible) {
        playlist->setText(visible ? QStringLiteral("Hide Playlist") : QStringLiteral("Show Playlist"));
    }));
    keep(view_.showsMeterPublisher().sink([meter](bool shows) { meter->setChecked(shows); }));
    keep(state.showsTagTitlesPublisher().sink([tagTitles = item(Item::showTagTitles)](bool shows) {
        tagTitles->setChecked(shows);
    }));
}

// Keys of the window only, not items: each opens the whole tree as the mouse would.
void PlayerMenu::addMenuKeys()
{
    const auto key = [this](const QKeySequence& sequence, std::function<void()> open) {
        auto* action = new QAction(menu_.get());
        action->setShortcut(sequence);
        action->setShortcutContext(Qt::WindowShortcut);
        QObject::connect(action, &QAction::triggered, action, std::move(open));
        window_.addAction(action);
    };
    key(QKeySequence(Qt::Key_F10), [this] { popUp(view_.toolbar().menuPosition()); });
    const auto atFocus = [this] {
        QWidget* focus = window_.focusWidget();
        if (!focus || !focus->isVisible())
            focus = &window_;
        popUp(focus->mapToGlobal(focus->rect().center()));
    };
    key(QKeySequence(Qt::SHIFT | Qt::Key_F10), atFocus);
    key(QKeySequence(Qt::Key_Menu), atFocus);
}

} // namespace lh
