#pragma once

#include "PlayerState.h"
#include "Subscription.h"

#include <QKeySequence>
#include <QPoint>

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

namespace lh {

class RootView;

// The player's menus: Larkhaven, File, Edit, Controls, View and Window, their items bound to the
// player state and the root view (titles, check marks, enabled states), and every key
// equivalent a shortcut of the window (Ctrl for Command, Alt for Option).
//
// The same tree is the window's native menu bar where the desktop shows a global one, and opens
// from the toolbar's menu button and a right-click on the toolbar or the bottom bar
// (`popUp`). A menu bar is never shown inside the window, so F10 opens the tree from the menu
// button, and Shift+F10 and the Menu key open it at the keyboard focus. Main thread only.
class PlayerMenu {
public:
    // What the menus do to the window and the application.
    struct WindowActions {
        std::function<void()> hide; // "Hide Larkhaven", "Close Window"
        std::function<void()> minimise;
        std::function<void()> bringToFront;
        std::function<void()> quit;
    };

    // Every item the menus bind or others reach, named apart from its title so a title can
    // change (or be translated) without losing its item. A new item adds a name before `count`.
    enum class Item : std::size_t {
        about, hide, quit,
        addFiles, addFolder, exportPlaylist, getInfo, remove, closeWindow,
        cut, copy, paste, selectAll,
        playPause, stop, stopAfterCurrent, next, previous, seekForward, seekBackward,
        increaseVolume, decreaseVolume, dim, shuffle, repeat, sleepTimerOff,
        togglePlaylist, showMeter, showTagTitles,
        minimise, bringAllToFront,
        count
    };

    PlayerMenu(const PlayerState& state, RootView& view, QWidget& window, WindowActions actions);
    ~PlayerMenu();

    PlayerMenu(const PlayerMenu&) = delete;
    PlayerMenu& operator=(const PlayerMenu&) = delete;

    // The whole tree as one menu of submenus.
    QMenu& menu() const { return *menu_; }
    // Whether the tree is also shown as the desktop's global menu bar.
    bool isNative() const;
    void popUp(QPoint globalPosition) const;

    QAction* item(Item item) const { return handles_[static_cast<std::size_t>(item)]; }
    // An item by the title a user reads (tests look items up as a user would), or null.
    QAction* item(const QString& title) const;
    // The ReplayGain submenu's item for `mode`; its titles repeat the Sleep Timer's "Off".
    QAction* replayGainItem(ReplayGainMode mode) const { return replayGainItems_.at(static_cast<std::size_t>(mode)); }

private:
    QAction* add(QMenu& menu, Item item, const QString& title, QKeySequence key, std::function<void()> action);
    void buildAppMenu(const WindowActions& actions);
    void buildFileMenu(const WindowActions& actions);
    void buildEditMenu();
    void buildControlsMenu();
    void buildReplayGainMenu(QMenu& controls);
    void fillOutputDeviceMenu(const std::vector<OutputDevice>& devices, const std::string& chosen);
    void buildViewMenu();
    void buildWindowMenu(const WindowActions& actions);
    void bind(const PlayerState& state);
    void addMenuKeys();

    RootView& view_;
    QWidget& window_;
    std::unique_ptr<QMenu> menu_;
    QMenuBar* menuBar_ = nullptr;
    std::vector<QAction*> items_; // in menu order
    std::array<QAction*, 3> replayGainItems_ {}; // in the order of ReplayGainMode
    QMenu* outputDeviceMenu_ = nullptr; // "Default", then the devices by description
    std::array<QAction*, static_cast<std::size_t>(Item::count)> handles_ {};
    std::vector<Subscription> subscriptions_;
};

} // namespace lh
