#include "RootView.h"

#include "AboutPanelController.h"
#include "BottomBarView.h"
#include "DesktopFileDialogs.h"
#include "LCDView.h"
#include "LeopardSlider.h"
#include "PlaylistHeaderView.h"
#include "PlaylistListView.h"
#include "PortalFileChooser.h"
#include "Preferences.h"
#include "ResizeGripView.h"
#include "SpeakerIconView.h"
#include "SquareButton.h"
#include "ToolbarView.h"
#include "TrackInfoPanelController.h"
#include "TransportButton.h"
#include "VolumeSliderCell.h"
#include "WindowMover.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QGraphicsOpacityEffect>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QVariantAnimation>
#include <QWindow>

#include <algorithm>
#include <unordered_set>

namespace lh {

namespace {

const QString showsMeterKey = QStringLiteral("showsMeter");

} // namespace

RootView::RootView(const PlayerState& state, CommandDispatching& dispatcher, Preferences& defaults, QWidget* parent)
    : QWidget(parent)
    , beep([] { QApplication::beep(); })
    , popUpMenu([this](const QList<QAction*>& items, QPoint at) {
        auto* menu = new QMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        for (QAction* item : items)
            item->setParent(menu);
        menu->addActions(items);
        menu->popup(at);
    })
    , state_(state)
    , dispatcher_(dispatcher)
    , defaults_(defaults)
    , infoPanel_(std::make_unique<TrackInfoPanelController>())
    , aboutPanel_(std::make_unique<AboutPanelController>())
{
    // A missing key, or one that holds no Boolean, leaves the meter on.
    const std::optional<QJsonValue> stored = defaults_.object(showsMeterKey);
    showsMeter_.set(!stored || !stored->isBool() || stored->toBool());
    dialogs = std::make_unique<DesktopFileDialogs>(*this, std::make_unique<PortalFileChooser>());
    tellFailure = [this](const QString& message) { QMessageBox::warning(this, QStringLiteral("Export Playlist"), message); };
    resize(size);
    setFocusPolicy(Qt::StrongFocus);
    new WindowMover(*this); // the LCD's bezel and the gaps between the controls move the window too
    buildToolbar();
    buildPlaylistArea();
    buildBottomBar();
    infoPanel_->onClose = [this] { send(CloseInfoCommand()); };
    makeAccessible();
    bind();
}

RootView::~RootView() = default;

Publisher<IndexSet> RootView::selectionPublisher() const
{
    return list_->selectionPublisher();
}

void RootView::buildToolbar()
{
    toolbar_ = new ToolbarView(this);
    toolbar_->setGeometry(0, 0, width(), Layout::toolbarHeight);
    toolbar_->setTitle(QStringLiteral("Larkhaven"));

    lcd_ = new LCDView(this);
    lcd_->setGeometry(Layout::lcdFrame);
    lcd_->progressSlider().action = [this] { seekChanged(); };
    lcd_->meterArea().onClick = [this] { toggleMeter(); };

    const auto place = [this](Glyph glyph, int x, int diameter, void (RootView::*action)()) {
        auto* button = new TransportButton(glyph, this);
        button->setGeometry(x, Layout::controlsCenterY - diameter / 2, diameter, diameter + 1);
        connect(button, &QAbstractButton::clicked, this, [this, action] { (this->*action)(); });
        return button;
    };
    previousButton_ = place(Glyph::previous, 16, 26, &RootView::previousTrack);
    playPauseButton_ = place(Glyph::play, 46, 34, &RootView::togglePlayPause);
    nextButton_ = place(Glyph::next, 84, 26, &RootView::nextTrack);
    stopButton_ = new TransportButton(Glyph::stop, this);
    stopButton_->setGeometry(120, Layout::controlsCenterY - 13, 26, 27);
    connect(stopButton_, &QAbstractButton::clicked, this,
        [this] { stopButtonClicked(QApplication::keyboardModifiers()); });
    playlistToggleButton_ = place(Glyph::list, 162, 26, &RootView::togglePlaylist);

    volumeDownIcon_ = new SpeakerIconView(0, this);
    volumeDownIcon_->setGeometry(222, Layout::controlsCenterY - 6, 12, 12);
    volumeUpIcon_ = new SpeakerIconView(2, this);
    volumeUpIcon_->setGeometry(328, Layout::controlsCenterY - 6, 18, 12);
    volumeSlider_ = new LeopardSlider(std::make_unique<VolumeSliderCell>(), this);
    volumeSlider_->setGeometry(237, Layout::controlsCenterY - 8, 85, 16);
    volumeSlider_->action = [this] { volumeChanged(); };
    for (QWidget* widget : std::initializer_list<QWidget*> { volumeSlider_, volumeDownIcon_, volumeUpIcon_ }) {
        auto* effect = new QGraphicsOpacityEffect(widget);
        effect->setOpacity(1.0);
        effect->setEnabled(false);
        widget->setGraphicsEffect(effect);
        dimmedEffects_.push_back(effect);
    }
}

void RootView::buildPlaylistArea()
{
    header_ = new PlaylistHeaderView(this);
    header_->setGeometry(0, Layout::toolbarHeight, width(), Layout::headerHeight);

    list_ = new PlaylistListView(this);
    list_->onPlay = [this](std::int64_t row) { send(PlayTrackCommand(row)); };
    list_->onShownRows = [this](std::int64_t first, std::int64_t count) { send(ShowRowsCommand(first, count)); };
    list_->onRemove = [this](const IndexSet& rows) {
        std::set<std::int64_t> indices;
        for (const IndexSet::Run& run : rows.runs()) {
            for (std::int64_t row = run.first; row <= run.last; ++row)
                indices.insert(indices.end(), row);
        }
        send(RemoveTracksCommand(std::move(indices)));
    };
    list_->onDropFiles = [this](std::vector<FileURL> files) { send(AddTracksCommand(std::move(files))); };
}

void RootView::buildBottomBar()
{
    bottomBar_ = new BottomBarView(this);
    grip_ = new ResizeGripView(bottomBar_);
    const auto square = [this](Glyph glyph, int x, void (RootView::*action)(), const QString& tip) {
        auto* button = new SquareButton(glyph, bottomBar_);
        button->setGeometry(x, 4, 24, 18);
        button->setToolTip(tip);
        connect(button, &QAbstractButton::clicked, this, [this, action] { (this->*action)(); });
        return button;
    };
    addButton_ = square(Glyph::plus, 7, &RootView::addFiles, {});
    removeButton_ = square(Glyph::minus, 30, &RootView::removeSelectedTrack, {});
    infoButton_ = square(Glyph::info, 62, &RootView::showInfo, {});
    shuffleButton_ = square(Glyph::shuffle, 94, &RootView::toggleShuffle, QStringLiteral("Shuffle"));
    repeatButton_ = square(Glyph::repeat, 117, &RootView::toggleRepeat, QStringLiteral("Repeat"));
    layoutPlaylistArea();
}

void RootView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    toolbar_->setGeometry(0, 0, width(), Layout::toolbarHeight);
    layoutPlaylistArea();
}

void RootView::layoutPlaylistArea()
{
    const int w = width();
    const int h = height();
    const bool shown = h >= Layout::minimumExpandedHeight;
    header_->setVisible(shown);
    list_->setVisible(shown);
    bottomBar_->setVisible(shown);
    if (!shown)
        return;
    const int listTop = Layout::toolbarHeight + Layout::headerHeight;
    header_->setGeometry(0, Layout::toolbarHeight, w, Layout::headerHeight);
    list_->setGeometry(0, listTop, w, h - Layout::bottomBarHeight - listTop);
    bottomBar_->setGeometry(0, h - Layout::bottomBarHeight, w, Layout::bottomBarHeight);
    grip_->setGeometry(w - 18, 7, 15, 15);
}

void RootView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    applySizeLimits();
    if (isPlaylistVisible())
        list_->setFocus();
}

void RootView::applySizeLimits()
{
    QWidget* window = this->window();
    if (isPlaylistVisible()) {
        window->setMinimumSize(size.width(), Layout::minimumExpandedHeight);
        window->setMaximumSize(size.width(), QWIDGETSIZE_MAX);
    } else {
        window->setFixedSize(size.width(), Layout::toolbarHeight);
    }
}

void RootView::togglePlaylist()
{
    // Mid-way through an expansion the window's height is a step of the animation, not the
    // height the user had: that one is still the target.
    const bool isExpanding = resizeAnimation_ && resizeAnimation_->state() == QAbstractAnimation::Running;
    if (isPlaylistVisible() && !isExpanding)
        expandedHeight_ = window()->height();
    isPlaylistVisible_.set(!isPlaylistVisible());
    if (isPlaylistVisible())
        list_->setFocus();
    else if (list_->hasFocus())
        setFocus();
    animateWindowHeight(isPlaylistVisible() ? expandedHeight_ : Layout::toolbarHeight);
}

// The window grows or shrinks downwards: its top edge stays where it is. The limits of the new
// state apply once the animation ends, so the steps in between are not clamped away.
void RootView::animateWindowHeight(int target)
{
    QWidget* window = this->window();
    const QRect start = window->geometry();
    if (resizeAnimation_)
        resizeAnimation_->stop();
    window->setMinimumSize(size.width(), std::min(start.height(), target));
    window->setMaximumSize(size.width(), std::max({ start.height(), target, Layout::toolbarHeight }));
    if (!resizeAnimation_) {
        resizeAnimation_ = new QVariantAnimation(this);
        resizeAnimation_->setDuration(resizeAnimationMilliseconds);
        resizeAnimation_->setEasingCurve(QEasingCurve::InOutQuad);
    }
    resizeAnimation_->disconnect(this);
    connect(resizeAnimation_, &QVariantAnimation::finished, this, [this] { applySizeLimits(); });
    connect(resizeAnimation_, &QVariantAnimation::valueChanged, this, [window, start](const QVariant& value) {
        window->setGeometry(start.x(), start.y(), start.width(), value.toInt());
    });
    resizeAnimation_->setStartValue(start.height());
    resizeAnimation_->setEndValue(target);
    resizeAnimation_->start();
}

void RootView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
        togglePlayPause();
        return;
    }
    QWidget::keyPressEvent(event);
}

// Actions.

void RootView::previousTrack() { send(PreviousCommand()); }
void RootView::togglePlayPause() { send(TogglePlayPauseCommand()); }
void RootView::nextTrack() { send(NextCommand()); }
void RootView::stopPlayback() { send(StopCommand()); }
void RootView::seekChanged() { send(SeekCommand(lcd_->progressSlider().value())); }
void RootView::volumeChanged() { send(SetVolumeCommand(float(volumeSlider_->value()))); }
void RootView::seekBackward() { lcd_->progressSlider().moveTo(lcd_->progressSlider().value() - seekStep); }
void RootView::seekForward() { lcd_->progressSlider().moveTo(lcd_->progressSlider().value() + seekStep); }
void RootView::volumeUp() { send(ChangeVolumeCommand(0.1f)); }
void RootView::volumeDown() { send(ChangeVolumeCommand(-0.1f)); }
void RootView::toggleShuffle() { send(ToggleShuffleCommand()); }
void RootView::toggleRepeat() { send(ToggleRepeatCommand()); }
void RootView::toggleStopAfterCurrent() { send(ToggleStopAfterCurrentCommand()); }
void RootView::toggleDim() { send(ToggleDimCommand()); }
void RootView::setReplayGainMode(ReplayGainMode mode) { send(SetReplayGainModeCommand(mode)); }
void RootView::setOutputDevice(const std::string& name) { send(SetOutputDeviceCommand(name)); }
void RootView::setShowsTagTitles(bool shows) { send(SetShowsTagTitlesCommand(shows)); }
void RootView::removeSelectedTrack() { list_->removeSelected(); }
void RootView::showAbout() { aboutPanel_->show(); }

void RootView::addPanelAction(QAction* action)
{
    infoPanel_->panel().addAction(action);
    aboutPanel_->addAction(action);
}

bool RootView::closeActivePanel()
{
    QWidget* active = QApplication::activeWindow();
    if (!active)
        return false;
    if (active == &infoPanel_->panel()) {
        send(CloseInfoCommand());
        return true;
    }
    if (active == aboutPanel_->panel()) {
        active->hide();
        return true;
    }
    return false;
}

void RootView::stopButtonClicked(Qt::KeyboardModifiers modifiers)
{
    if (modifiers & Qt::ShiftModifier) {
        // The menu takes the items over and they go with it, so a click costs nothing once the
        // menu is closed.
        popUpMenu(sleepTimerItems(this), stopButton_->mapToGlobal(QPoint(0, stopButton_->height() + 2)));
        return;
    }
    send(StopCommand());
}

void RootView::setSleepTimer(int minutes)
{
    send(SetSleepTimerCommand(minutes == 0 ? std::nullopt : std::optional<int>(minutes)));
}

void RootView::showInfo()
{
    std::optional<std::int64_t> row = list_->selectedIndices().first();
    if (!row)
        row = list_->playingIndex();
    if (!row) {
        beep();
        return;
    }
    send(ShowInfoCommand(*row));
}

// The dialogs answer after this returns, but never once the view is gone: it owns them.
void RootView::addFiles()
{
    dialogs->openFiles([this](std::vector<FileURL> files) {
        if (!files.empty())
            send(AddTracksCommand(std::move(files)));
    });
}

void RootView::addFolder()
{
    dialogs->chooseFolder([this](std::optional<FileURL> folder) {
        if (folder)
            send(AddTracksCommand({ std::move(*folder) }));
    });
}

void RootView::exportPlaylist()
{
    dialogs->chooseExport([this](std::optional<ExportChoice> choice) {
        if (!choice)
            return;
        // The view may be gone by the time a write to a dead share gives up.
        send(ExportPlaylistCommand(choice->list, choice->format,
            [view = QPointer(this), list = choice->list](const std::optional<QString>& error) {
                if (error && view)
                    view->tellFailure(QStringLiteral("The playlist could not be saved as %1: %2.").arg(list.toQString(), *error));
            }));
    });
}

void RootView::copySelection()
{
    if (!isPlaylistVisible())
        return;
    std::vector<FileURL> files;
    std::unordered_set<FileURL> seen;
    for (const IndexSet::Run& run : list_->selectedIndices().runs()) {
        for (std::int64_t row = run.first; row <= run.last && row < std::int64_t(tracks_.size()); ++row) {
            if (const FileURL& file = tracks_[std::size_t(row)].url; seen.insert(file).second)
                files.push_back(file);
        }
    }
    if (files.empty())
        return;
    QByteArray uris;
    QByteArray paths;
    for (const FileURL& file : files) {
        uris += QByteArray::fromStdString(file.toUri()) + "\r\n";
        paths += QByteArray::fromStdString(file.path()) + "\n";
    }
    auto* data = new QMimeData;
    data->setData(QStringLiteral("text/uri-list"), uris);
    data->setData(QStringLiteral("text/plain"), paths);
    QApplication::clipboard()->setMimeData(data);
}

void RootView::cutSelection()
{
    if (!isPlaylistVisible() || list_->selectedIndices().isEmpty())
        return;
    copySelection();
    removeSelectedTrack();
}

void RootView::paste()
{
    const QMimeData* data = QApplication::clipboard()->mimeData();
    std::vector<FileURL> files = data ? PlaylistListView::filesOf(*data) : std::vector<FileURL>();
    if (!files.empty() && isPlaylistVisible() && list_->onDropFiles)
        list_->onDropFiles(std::move(files));
}

void RootView::toggleMeter()
{
    showsMeter_.set(!showsMeter());
    defaults_.set(showsMeter(), showsMeterKey);
}

QList<QAction*> RootView::sleepTimerItems(QObject* owner)
{
    QList<QAction*> items;
    const auto item = [&](const QString& title, int minutes) {
        auto* action = new QAction(title, owner);
        connect(action, &QAction::triggered, this, [this, minutes] { setSleepTimer(minutes); });
        items.append(action);
    };
    for (int minutes : sleepTimerChoices)
        item(QStringLiteral("%1 Minutes").arg(minutes), minutes);
    auto* separator = new QAction(owner);
    separator->setSeparator(true);
    items.append(separator);
    item(QStringLiteral("Off"), 0);
    return items;
}

} // namespace lh
