#pragma once

#include "AboutPanelController.h"
#include "LCDView.h"
#include "LeopardSlider.h"
#include "RootView.h"
#include "SquareButton.h"
#include "TrackInfoPanelController.h"
#include "TransportButton.h"

#include <QGraphicsOpacityEffect>

namespace lh {

// The window's parts as tests reach them: the view keeps its widget tree to itself and
// befriends only this.
struct RootViewParts {
    static LCDView& lcd(const RootView& view) { return *view.lcd_; }
    static LeopardSlider& volumeSlider(const RootView& view) { return *view.volumeSlider_; }
    static TransportButton& previousButton(const RootView& view) { return *view.previousButton_; }
    static TransportButton& playPauseButton(const RootView& view) { return *view.playPauseButton_; }
    static TransportButton& nextButton(const RootView& view) { return *view.nextButton_; }
    static TransportButton& stopButton(const RootView& view) { return *view.stopButton_; }
    static TransportButton& playlistToggleButton(const RootView& view) { return *view.playlistToggleButton_; }
    static SquareButton& shuffleButton(const RootView& view) { return *view.shuffleButton_; }
    static SquareButton& repeatButton(const RootView& view) { return *view.repeatButton_; }
    static SquareButton& infoButton(const RootView& view) { return *view.infoButton_; }
    static TrackInfoPanelController& infoPanel(const RootView& view) { return *view.infoPanel_; }
    static AboutPanelController& aboutPanel(const RootView& view) { return *view.aboutPanel_; }
    // The opacity of the volume controls: 0.4 while dimmed.
    static double volumeControlsOpacity(const RootView& view) { return view.dimmedEffects_.front()->opacity(); }
};

} // namespace lh
