#pragma once

#include "ActivationMessage.h"
#include "AudioFileCache.h"
#include "AudioPlayerEngine.h"
#include "FileURL.h"
#include "PlayerController.h"
#include "PlayerModel.h"
#include "Preferences.h"

#include <memory>
#include <optional>
#include <vector>

namespace lh {

class MainWindowController;
class MprisService;
class PlayerMenu;

// The program's player, built whole once the application object exists: the controller over
// the engine, the window and its menus, and the media controls. It routes the desktop's
// requests into it: files given at launch are opened once the playlist is restored; files
// forwarded by a later launch are opened at once; a later launch without files shows the
// window again. Main thread only; lives until the process ends.
class AppDelegate {
public:
    // Opens the files given at launch (their sound starts first), or only adds them when
    // `isEnqueue`, then shows the window.
    explicit AppDelegate(const std::vector<FileURL>& filesToOpen, bool isEnqueue = false);
    ~AppDelegate();

    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // For the program's other entries (the media controls): show the window, or the model and
    // the one entry for commands.
    void showWindow(const std::string& activationToken);
    const PlayerModel& model() const { return model_; }
    CommandDispatching& dispatcher() const { return *playerController_; }
    // A message from a later launch of the program.
    void receive(const ActivationMessage& message);

private:
    void open(const std::vector<FileURL>& urls);
    void publishMediaControls();

    Preferences preferences_;
    PlayerModel model_;
    AudioPlayerEngine engine_;
    AudioFileCache cache_;
    std::unique_ptr<PlayerController> playerController_;
    std::unique_ptr<MainWindowController> windowController_;
    std::unique_ptr<PlayerMenu> playerMenu_;
    std::unique_ptr<MprisService> mediaControls_; // none when the session bus is not to be had
};

} // namespace lh
