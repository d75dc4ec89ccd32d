#include "TrackInfoPanelController.h"

#include "Theme.h"
#include "TrackInfoView.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace lh {

namespace {

constexpr int belowWindowTop = 60;

// The panel window. A close asked for by the window manager (or by anyone calling close()) is
// refused and reported instead.
class InfoPanel : public QWidget {
public:
    explicit InfoPanel(std::function<void()> onCloseRequest)
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint)
        , onCloseRequest(std::move(onCloseRequest))
    {
        setWindowTitle(QStringLiteral("Get Info"));
        setPalette(Theme::lightPalette());
        setFixedSize(TrackInfoView::width, TrackInfoView::height);
    }

protected:
    void closeEvent(QCloseEvent* event) override
    {
        event->ignore();
        onCloseRequest();
    }

private:
    std::function<void()> onCloseRequest;
};

} // namespace

TrackInfoPanelController::TrackInfoPanelController()
    : infoView_(std::make_unique<TrackInfoView>())
{
    infoView_->onClose = [this] {
        if (onClose)
            onClose();
    };
}

TrackInfoPanelController::~TrackInfoPanelController() = default;

QWidget& TrackInfoPanelController::panel()
{
    if (!panel_) {
        panel_ = std::make_unique<InfoPanel>([this] { infoView_->onClose(); });
        infoView_->setParent(panel_.get());
        infoView_->move(0, 0);
        infoView_->show();
    }
    return *panel_;
}

void TrackInfoPanelController::show(const TrackInfo& info, QWidget* window)
{
    infoView_->setInfo(info);
    QWidget& shown = panel();
    if (shown.isVisible())
        return;
    place(window);
    shown.show();
    shown.raise();
    shown.activateWindow();
    infoView_->setFocus();
}

QPoint TrackInfoPanelController::origin(QSize panel, const std::optional<QRect>& windowFrame, const QRect& screen)
{
    if (!windowFrame)
        return screen.topLeft() + QPoint((screen.width() - panel.width()) / 2, (screen.height() - panel.height()) / 2);
    return QPoint(windowFrame->x() + (windowFrame->width() - panel.width()) / 2, windowFrame->y() + belowWindowTop);
}

void TrackInfoPanelController::place(QWidget* window)
{
    QWidget* mainWindow = window ? window->window() : nullptr;
    QScreen* screen = mainWindow ? mainWindow->screen() : QGuiApplication::primaryScreen();
    const QRect screenRect = screen ? screen->availableGeometry() : QRect();
    const std::optional<QRect> frame = mainWindow ? std::optional(mainWindow->frameGeometry()) : std::nullopt;
    // Window managers that place windows themselves (Wayland) ignore the move; the main window
    // as transient parent still keeps the panel above it and near it there.
    panel_->move(origin(panel_->size(), frame, screenRect));
    panel_->winId();
    if (QWindow* handle = panel_->windowHandle())
        handle->setTransientParent(mainWindow ? mainWindow->windowHandle() : nullptr);
}

} // namespace lh
