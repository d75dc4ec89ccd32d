#pragma once

#include "ActivationRepair.h"
#include "Command.h"
#include "PlayerState.h"

#include <QObject>
#include <QRect>

#include <memory>
#include <string>

namespace lh {

class Preferences;
class RootView;

// The main window: the root view itself as a frameless window of fixed width, titled by the
// root view ("Larkhaven", with the playing track in front), centred when first shown, in the
// player's own light colours whatever the desktop's are. Closing it only hides it; playback goes
// on. Main thread only.
class MainWindowController : public QObject {
public:
    MainWindowController(const PlayerState& state, CommandDispatching& dispatcher, Preferences& defaults);
    ~MainWindowController() override;

    RootView& rootView() const { return *rootView_; }

    // Shows the window (centred the first time), raises it and asks for the focus, with the
    // desktop's activation token of the launch that asked for it, if any.
    void showWindow(const std::string& activationToken = {});
    void hideWindow();

    // Where a window of `size` first appears on a screen's `available` area: centred, but with
    // its top (the toolbar, with the close button) on the area and its height cut to the area's,
    // never below `minimumHeight`.
    static QRect initialGeometry(QSize size, int minimumHeight, const QRect& available);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void reportShown();

    CommandDispatching& dispatcher_;
    std::unique_ptr<RootView> rootView_;
    ActivationRepair activationRepair_;
    bool hasBeenShown_ = false;
};

} // namespace lh
