#include "AppDelegate.h"

#include "DisplayTexts.h"
#include "MainWindowController.h"
#include "MediaTrackInfoReader.h"
#include "MprisService.h"
#include "NetworkFiles.h"
#include "PlayerMenu.h"
#include "RootView.h"
#include "ToolbarView.h"
#include "BottomBarView.h"

#include <QApplication>
#include <QDBusConnection>

#include <chrono>
#include <cstdio>

namespace lh {

namespace {

constexpr std::int64_t cacheLimit = 5'000'000'000;
constexpr std::chrono::seconds stallLimit { 15 };

} // namespace

AppDelegate::AppDelegate(const std::vector<FileURL>& filesToOpen, bool isEnqueue)
    : preferences_(Preferences::defaultFilePath())
    , cache_(AudioFileCache::defaultFolder(), cacheLimit)
{
    PlayerController::Environment environment;
    environment.streamTitle = &DisplayTexts::displayName;
    environment.metadataCache = std::make_shared<MetadataCache>(
        AudioFileCache::defaultFolder().appendingPathComponent("metadata", true).path());
    playerController_ = std::make_unique<PlayerController>(model_, engine_, std::make_shared<MediaTrackInfoReader>(),
        cache_, std::make_shared<NetworkFiles>(), stallLimit, preferences_, QStringLiteral("savedPlaylist"),
        std::move(environment));
    // The files the launch names are opened before the window is built: their sound starts
    // while the window, its fonts and its menus are still being made, instead of after them.
    // The window reads the model as it is when it subscribes, so it shows the same either way.
    if (!filesToOpen.empty() && isEnqueue)
        playerController_->perform(AddTracksCommand(filesToOpen));
    else if (!filesToOpen.empty())
        open(filesToOpen);
    windowController_ = std::make_unique<MainWindowController>(model_, *playerController_, preferences_);
    RootView& view = windowController_->rootView();
    playerMenu_ = std::make_unique<PlayerMenu>(model_, view, view,
        PlayerMenu::WindowActions {
            [this] { windowController_->hideWindow(); },
            [&view] { view.showMinimized(); },
            [this] { windowController_->showWindow(); },
            [] { QApplication::quit(); },
        });
    const auto popUp = [this](QPoint at) { playerMenu_->popUp(at); };
    view.toolbar().onContextMenu = popUp;
    view.bottomBar().onContextMenu = popUp;
    showWindow({});
    // Nothing the first sound or the first frame needs waits for the session bus.
    publishMediaControls();
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::receive(const ActivationMessage& message)
{
    if (message.files.empty()) {
        showWindow(message.activationToken);
        return;
    }
    // A launch with many files sends them in parts; only the first opens (and plays) its files,
    // the later ones join them behind it. A launch that only adds (--enqueue) sends no first
    // part: it neither plays nor brings the window forward.
    if (message.part > 0) {
        playerController_->perform(AddTracksCommand(message.files));
        return;
    }
    showWindow(message.activationToken);
    open(message.files);
}

void AppDelegate::open(const std::vector<FileURL>& urls)
{
    playerController_->perform(OpenTracksCommand(urls));
}

// The media keys and the desktop's controls are a convenience: without a session bus the
// player runs on, and says so once.
void AppDelegate::publishMediaControls()
{
    mediaControls_ = std::make_unique<MprisService>(QDBusConnection::sessionBus(), model_, *playerController_,
        MprisService::WindowActions { [this] { showWindow({}); }, [] { QApplication::quit(); } });
    if (const auto failure = mediaControls_->publish()) {
        std::fprintf(stderr, "larkhaven: media keys and desktop media controls are off: %s\n", qPrintable(*failure));
        mediaControls_.reset();
    }
}

void AppDelegate::showWindow(const std::string& activationToken)
{
    windowController_->showWindow(activationToken);
}

} // namespace lh
