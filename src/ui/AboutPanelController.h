#pragma once

#include <memory>

class QWidget;

namespace lh {

class AboutView;

// Owns the about panel: created on first use, reused, never destroyed; closing it (or Escape)
// only hides it.
class AboutPanelController {
public:
    AboutPanelController();
    ~AboutPanelController();

    // Shows the panel and brings it to the front; a panel that is already visible stays where
    // the user put it, a hidden one is centred on the screen first.
    void show();

    QWidget* panel() const { return panel_.get(); }

private:
    std::unique_ptr<QWidget> panel_;
};

} // namespace lh
