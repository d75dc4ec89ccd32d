#pragma once

#include "TrackInfo.h"

#include <QPoint>
#include <QRect>
#include <QSize>

#include <functional>
#include <memory>
#include <optional>

class QWidget;

namespace lh {

class TrackInfoView;

// Owns the "Get Info" panel: a small frameless tool window around a `TrackInfoView`, created
// on first use and kept until the controller goes. The panel decides nothing: its owner shows
// it for the model's info and hides it when the info is cleared. Every request to dismiss it
// (OK, Return, Escape, the header's close button, the window manager's close) only calls
// `onClose`, and a close sent by the window manager is refused, so the panel leaves the screen
// only through the model. Main thread only.
class TrackInfoPanelController {
public:
    TrackInfoPanelController();
    ~TrackInfoPanelController();

    std::function<void()> onClose;

    TrackInfoView& infoView() const { return *infoView_; }
    // Created on first access; hiding it is the owner's business.
    QWidget& panel();

    // Shows `info`. A panel already on screen keeps its place and focus; otherwise it is placed
    // over `window` (on the screen's centre without one, or where the window manager chooses
    // on platforms that place windows themselves), raised and activated with the keyboard
    // focus on the view.
    void show(const TrackInfo& info, QWidget* window);

    // Where the panel's top-left goes: centred across the window's frame with its top 60
    // points below the window's top; centred in `screen` when there is no window.
    static QPoint origin(QSize panel, const std::optional<QRect>& windowFrame, const QRect& screen);

private:
    void place(QWidget* window);

    // Declared first, so destroyed last: the view, the panel's child once the panel exists,
    // leaves it when deleted, and neither is deleted twice.
    std::unique_ptr<QWidget> panel_;
    std::unique_ptr<TrackInfoView> infoView_;
};

} // namespace lh
