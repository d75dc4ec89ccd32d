#include "RootView.h"

#include "BottomBarView.h"
#include "DisplayTexts.h"
#include "LCDView.h"
#include "LeopardSlider.h"
#include "PlaybackTimeFormatter.h"
#include "PlaylistListView.h"
#include "PublisherHelpers.h"
#include "SquareButton.h"
#include "TrackInfoPanelController.h"
#include "TrackRows.h"
#include "TransportButton.h"

#include <QGraphicsOpacityEffect>

namespace lh {

namespace {

using Tracks = TrackList;
using Index = std::optional<std::int64_t>;

} // namespace

// Every handler runs on the main thread during a model assignment; the subscriptions die with
// the view, so none outlives it.
void RootView::bind()
{
    bindTransport();
    bindDisplay();
    bindSettings();
    bindPlaylist();
}

void RootView::bindTransport()
{
    subscriptions_.push_back(state_.isPlayingPublisher().sink(
        [this](bool playing) { playPauseButton_->setGlyph(playing ? Glyph::pause : Glyph::play); }));

    subscriptions_.push_back(combineLatest(state_.currentTimePublisher(), state_.durationPublisher())
                                 .sink([this](const std::tuple<double, double>& times) {
                                     const auto [time, duration] = times;
                                     lcd_->setElapsedText(PlaybackTimeFormatter::string(time));
                                     const double remaining = duration - time;
                                     lcd_->setRemainingText(
                                         u'-' + PlaybackTimeFormatter::string(remaining > 0 ? remaining : 0));
                                     LeopardSlider& slider = lcd_->progressSlider();
                                     slider.setEnabled(duration > 0);
                                     if (!slider.isTracking()) {
                                         slider.setRange(0, duration > 1 ? duration : 1);
                                         slider.setValue(time);
                                     }
                                 }));
}

void RootView::bindDisplay()
{
    subscriptions_.push_back(showsMeterPublisher().sink([this](bool shows) { lcd_->setShowsMeter(shows); }));
    subscriptions_.push_back(state_.leftLevelPublisher().sink([this](double level) { lcd_->setLeftLevel(level); }));
    subscriptions_.push_back(state_.rightLevelPublisher().sink([this](double level) { lcd_->setRightLevel(level); }));

    subscriptions_.push_back(
        combineLatest(state_.tracksPublisher(), state_.currentIndexPublisher(), state_.streamInfoPublisher())
            .sink([this](const std::tuple<Tracks, Index, SharedStreamInfo>& value) {
                lcd_->setFormatText(
                    DisplayTexts::formatText(std::get<0>(value), std::get<1>(value), std::get<2>(value)));
            }));

    subscriptions_.push_back(
        combineLatest(combineLatest(state_.tracksPublisher(), state_.currentIndexPublisher(), state_.isLoadingPublisher()),
            state_.isSoundDeviceMissingPublisher(), state_.tagNamesPublisher())
            .sink([this](const std::tuple<std::tuple<Tracks, Index, bool>, bool, TagNames>& value) {
                const auto& [tracks, index, isLoading] = std::get<0>(value);
                const TagNames& names = std::get<2>(value);
                const DisplayTexts::LcdLines lines = DisplayTexts::lcdInfo(tracks, index, names);
                // The line that is always shown: a player that cannot be heard must not look
                // as if it merely paused.
                const QString artist = std::get<1>(value) ? QStringLiteral("No Sound Device")
                    : isLoading                          ? QStringLiteral("Loading…")
                                                         : lines.artist;
                showTrack(lines.title, artist, DisplayTexts::windowTitle(tracks, index, names));
            }));

    subscriptions_.push_back(state_.infoPublisher().sink([this](const std::optional<TrackInfo>& info) {
        if (info)
            infoPanel_->show(*info, window());
        else
            infoPanel_->panel().hide();
    }));
}

void RootView::bindSettings()
{
    subscriptions_.push_back(state_.isShuffledPublisher().sink([this](bool on) { shuffleButton_->setOn(on); }));
    subscriptions_.push_back(state_.isRepeatingPublisher().sink([this](bool on) { repeatButton_->setOn(on); }));
    subscriptions_.push_back(state_.isDimmedPublisher().sink([this](bool dimmed) {
        // An effect that does nothing still costs an offscreen pass on every repaint: it is on
        // only while dimmed.
        for (QGraphicsOpacityEffect* effect : dimmedEffects_) {
            effect->setOpacity(dimmed ? 0.4 : 1.0);
            effect->setEnabled(dimmed);
        }
    }));
    subscriptions_.push_back(
        combineLatest(combineLatest(state_.tracksPublisher(), state_.sleepTimeRemainingPublisher()),
            combineLatest(state_.isReadingFolderPublisher(), state_.isWalkWaitingPublisher()))
            .sink([this](const std::tuple<std::tuple<Tracks, std::optional<double>>, std::tuple<bool, bool>>& value) {
                const auto& [tracks, sleepTimeRemaining] = std::get<0>(value);
                const auto& [isReadingFolder, isWalkWaiting] = std::get<1>(value);
                bottomBar_->setStatusText(DisplayTexts::statusText(
                    std::int64_t(tracks.size()), sleepTimeRemaining, isReadingFolder, isWalkWaiting));
            }));
    subscriptions_.push_back(
        combineLatest(state_.tracksPublisher(), state_.totalDurationPublisher())
            .sink([this](const std::tuple<Tracks, PlaylistDuration>& value) {
                bottomBar_->setToolTip(DisplayTexts::countToolTip(std::int64_t(std::get<0>(value).size()), std::get<1>(value)));
            }));
    subscriptions_.push_back(state_.volumePublisher().sink([this](float volume) {
        if (!volumeSlider_->isTracking())
            volumeSlider_->setValue(volume);
    }));
}

void RootView::bindPlaylist()
{
    // The list asks for the texts of the rows it draws, so no change costs a pass over the rows.
    subscriptions_.push_back(
        combineLatest(combineLatest(state_.tracksPublisher(), state_.streamInfoPublisher(), state_.fileStatesPublisher()),
            state_.knownDurationsPublisher(), state_.tagNamesPublisher())
            .sink([this](const std::tuple<std::tuple<Tracks, SharedStreamInfo, SharedFileStates>, SharedDurations, TagNames>& value) {
                const auto& [tracks, streamInfo, fileStates] = std::get<0>(value);
                tracks_ = tracks; // shared, not copied: for Copy
                list_->setRows(
                    std::make_shared<TrackRows>(tracks, streamInfo, fileStates, std::get<1>(value), std::get<2>(value)));
            }));

    subscriptions_.push_back(
        state_.currentIndexPublisher().sink([this](Index index) { list_->setPlayingIndex(index); }));

    // The list follows the playing track only when the current track itself changes, not when
    // the playlist is edited around it; a playlist change and an index change made in the same
    // turn arrive as one.
    auto lastTrack = std::make_shared<std::optional<std::optional<Track>>>();
    subscriptions_.push_back(debounced(combineLatest(state_.tracksPublisher(), state_.currentIndexPublisher()))
                                 .sink([this, lastTrack](const std::tuple<Tracks, Index>& value) {
                                     const Track* row = trackAt(std::get<0>(value), std::get<1>(value));
                                     const std::optional<Track> track = row ? std::optional(*row) : std::nullopt;
                                     if (*lastTrack && **lastTrack == track)
                                         return;
                                     *lastTrack = track;
                                     if (const Index index = std::get<1>(value))
                                         list_->scrollToRow(*index);
                                 }));
}

} // namespace lh
