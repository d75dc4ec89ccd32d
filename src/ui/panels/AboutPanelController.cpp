#include "AboutPanelController.h"

#include "AboutView.h"
#include "Theme.h"

#include <QAction>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

namespace lh {

AboutPanelController::AboutPanelController() = default;
AboutPanelController::~AboutPanelController() = default;

void AboutPanelController::show()
{
    if (!panel_) {
        panel_ = std::make_unique<QWidget>(nullptr, Qt::Tool | Qt::FramelessWindowHint);
        panel_->setWindowTitle(QStringLiteral("About Larkhaven"));
        panel_->setPalette(Theme::lightPalette());
        auto* layout = new QVBoxLayout(panel_.get());
        layout->setContentsMargins(0, 0, 0, 0);
        auto* view = new AboutView(panel_.get());
        view->onClose = [panel = panel_.get()] { panel->hide(); };
        layout->addWidget(view);
        view->setFocus(); // Escape closes it from the start
        panel_->setFixedSize(AboutView::width, AboutView::height);
        for (QAction* action : actions_) {
            if (action)
                panel_->addAction(action);
        }
        auto* close = new QAction(panel_.get());
        close->setShortcut(Qt::Key_Escape);
        QObject::connect(close, &QAction::triggered, panel_.get(), &QWidget::hide);
        panel_->addAction(close);
    }
    if (!panel_->isVisible()) {
        if (QScreen* screen = QGuiApplication::primaryScreen())
            panel_->move(screen->availableGeometry().center() - panel_->rect().center());
    }
    panel_->show();
    panel_->raise();
    panel_->activateWindow();
}

void AboutPanelController::addAction(QAction* action)
{
    actions_.append(action);
    if (panel_)
        panel_->addAction(action);
}

} // namespace lh
