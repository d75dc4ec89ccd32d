#pragma once

#include "Command.h"
#include "PlayerState.h"

#include <QObject>

#include <memory>
#include <string>

namespace lh {

class Preferences;
class RootView;

// The main window: the root view itself as a frameless window of fixed width, titled
// "Larkhaven", centred when first shown. Closing it only hides it; playback goes on.
// Main thread only.
class MainWindowController : public QObject {
public:
    MainWindowController(const PlayerState& state, CommandDispatching& dispatcher, Preferences& defaults);
    ~MainWindowController() override;

    RootView& rootView() const { return *rootView_; }

    // Shows the window (centred the first time), raises it and asks for the focus, with the
    // desktop's activation token of the launch that asked for it, if any.
    void showWindow(const std::string& activationToken = {});
    void hideWindow();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void reportShown();

    CommandDispatching& dispatcher_;
    std::unique_ptr<RootView> rootView_;
    bool hasBeenShown_ = false;
};

} // namespace lh
