#include "RootView.h"

#include "LCDView.h"
#include "LeopardSlider.h"
#include "PlaylistListView.h"
#include "PlaybackTimeFormatter.h"
#include "TransportButton.h"

#include <cmath>

namespace lh {

// The buttons are named by their glyphs; what no glyph says is named here. Neither slider takes
// the keyboard focus, so assistive technology moves them in the steps the menus' keys use.
void RootView::makeAccessible()
{
    LeopardSlider* position = &lcd_->progressSlider();
    position->setAccessibleName(QStringLiteral("Position"));
    position->spoken = { seekStep, 1, [position](double time) {
                            const double duration = position->isEnabled() ? position->maximum() : 0;
                            return PlaybackTimeFormatter::string(time) + QStringLiteral(" of ")
                                + PlaybackTimeFormatter::string(duration);
                        } };
    volumeSlider_->setAccessibleName(QStringLiteral("Volume"));
    volumeSlider_->spoken
        = { 0.1, 100, [](double volume) { return QStringLiteral("%1%").arg(std::lround(volume * 100)); } };
    lcd_->meterArea().setAccessibleName(QStringLiteral("Level Meter"));
    list_->setAccessibleName(QStringLiteral("Playlist"));
    subscriptions_.push_back(isPlaylistVisiblePublisher().sink([this](bool visible) {
        playlistToggleButton_->setAccessibleName(
            visible ? QStringLiteral("Hide Playlist") : QStringLiteral("Show Playlist"));
    }));
}

// A new track is announced once, after both lines have changed; desktop task lists show it in
// the window's title.
void RootView::showTrack(const QString& title, const QString& artist, const QString& windowTitle)
{
    lcd_->showTrack(title, artist);
    setWindowTitle(windowTitle);
}

} // namespace lh
