#pragma once

#include <QList>
#include <QPointer>

#include <memory>

class QAction;
class QWidget;

namespace lh {

class AboutView;

// Owns the about panel: created on first use, reused, never destroyed; closing it (or Escape)
// only hides it. The panel is frameless: the view fills it, draws its own close button and moves
// it when dragged by its background.
class AboutPanelController {
public:
    AboutPanelController();
    ~AboutPanelController();

    // Shows the panel and brings it to the front; a panel that is already visible stays where
    // the user put it, a hidden one is centred on the screen first.
    void show();

    // Null until first shown.
    QWidget* panel() const { return panel_.get(); }
    // An action of the panel's window (a key equivalent), also for a panel made later.
    void addAction(QAction* action);

private:
    std::unique_ptr<QWidget> panel_;
    QList<QPointer<QAction>> actions_; // the menus own them and may go first
};

} // namespace lh
