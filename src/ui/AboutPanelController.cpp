#include "AboutPanelController.h"

#include "AboutView.h"

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
        panel_ = std::make_unique<QWidget>(nullptr, Qt::Tool | Qt::WindowCloseButtonHint | Qt::WindowTitleHint);
        panel_->setWindowTitle(QStringLiteral("About Larkhaven"));
        auto* layout = new QVBoxLayout(panel_.get());
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(new AboutView(panel_.get()));
        panel_->setFixedSize(AboutView::width, AboutView::height);
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

} // namespace lh
