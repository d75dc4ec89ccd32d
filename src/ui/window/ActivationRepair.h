#pragma once

#include <QObject>

class QKeyEvent;
class QWidget;

namespace lh {

// Qt 6.4's Wayland plugin can lose a window's activation: when the keyboard leaves and
// re-enters the window while the main thread is busy (a sound device being closed, say), both
// changes are read in one go and the re-entry is dropped as "no change" against an activation
// state that has not caught up yet. The window then has the keyboard but Qt thinks nothing is
// active, so its shortcuts (Ctrl+L, Ctrl+I …) match nothing and are silently lost, until the
// focus leaves and comes back. A key press reaching one of our windows while none is active can
// only mean that window holds the keyboard: this makes it active again and gives the key to the
// shortcut it was meant for.
class ActivationRepair : public QObject {
public:
    explicit ActivationRepair(QObject* parent = nullptr);

    // The shortcut of `window`'s own actions that `event` names, triggered; false if none.
    static bool triggerShortcut(QWidget& window, const QKeyEvent& event);

    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace lh
