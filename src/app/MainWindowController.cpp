#include "MainWindowController.h"

#include "RootView.h"
#include "Theme.h"
#include "ToolbarView.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <QToolTip>

#include <algorithm>

namespace lh {

MainWindowController::MainWindowController(const PlayerState& state, CommandDispatching& dispatcher, Preferences& defaults)
    : dispatcher_(dispatcher)
    , rootView_(std::make_unique<RootView>(state, dispatcher, defaults))
{
    RootView& window = *rootView_;
    window.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    window.setWindowIcon(QIcon(QStringLiteral(":/larkhaven/icon.svg")));
    window.resize(RootView::size);
    // The views are drawn in fixed light colours; what Qt draws itself (the list's scroll bar,
    // the tooltips) must not take a dark desktop's colours beside them.
    window.setPalette(Theme::lightPalette());
    QToolTip::setPalette(Theme::lightPalette());
    window.installEventFilter(this);
    QCoreApplication::instance()->installEventFilter(&activationRepair_);
    window.toolbar().onClose = [this] { hideWindow(); };
    window.toolbar().onMinimise = [&window] { window.showMinimized(); };
}

MainWindowController::~MainWindowController() = default;

void MainWindowController::showWindow(const std::string& activationToken)
{
    RootView& window = *rootView_;
    if (!hasBeenShown_) {
        hasBeenShown_ = true;
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            const int minimumHeight = window.isPlaylistVisible() ? RootView::Layout::minimumExpandedHeight
                                                                 : RootView::Layout::toolbarHeight;
            window.setGeometry(initialGeometry(window.QWidget::size(), minimumHeight, screen->availableGeometry()));
        }
    }
    // Wayland's compositor lets a window take the focus only with the token of the launch that
    // asked for it.
    if (!activationToken.empty())
        qputenv("XDG_ACTIVATION_TOKEN", QByteArray::fromStdString(activationToken));
    if (window.isMinimized())
        window.showNormal();
    window.show();
    window.raise();
    window.activateWindow();
}

QRect MainWindowController::initialGeometry(QSize size, int minimumHeight, const QRect& available)
{
    const int height = std::max(minimumHeight, std::min(size.height(), available.height()));
    const int x = available.x() + (available.width() - size.width()) / 2;
    const int y = available.y() + std::max(0, (available.height() - height) / 2);
    return QRect(x, y, size.width(), height);
}

void MainWindowController::hideWindow()
{
    rootView_->hide();
}

// The window is never closed, only hidden: the player keeps running with its playback.
bool MainWindowController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == rootView_.get() && event->type() == QEvent::Close) {
        event->ignore();
        hideWindow();
        return true;
    }
    if (watched == rootView_.get()
        && (event->type() == QEvent::Show || event->type() == QEvent::Hide || event->type() == QEvent::WindowStateChange))
        reportShown();
    return QObject::eventFilter(watched, event);
}

// A hidden or minimised window is not painted; the player then need not keep its display
// up to date either.
void MainWindowController::reportShown()
{
    const RootView& window = *rootView_;
    dispatcher_.perform(SetWindowShownCommand(window.isVisible() && !window.isMinimized()));
}

} // namespace lh
