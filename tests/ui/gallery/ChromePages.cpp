#include "Gallery.h"

#include "BottomBarView.h"
#include "PlaylistHeaderView.h"
#include "ResizeGripView.h"
#include "SpeakerIconView.h"
#include "Theme.h"
#include "ToolbarView.h"
#include "WindowButton.h"

#include <QPainter>
#include <QPalette>
#include <QWidget>

namespace lh::gallery {

namespace {

constexpr int width = 360;

const QString longStatus = QStringLiteral("12,345 songs — stops in 90 min, and a text far too long for the bar");

void addBottomBar(QWidget& parent, QRect frame, const QString& status)
{
    auto* bar = new BottomBarView(&parent);
    bar->setGeometry(frame);
    bar->setStatusText(status);
    (new ResizeGripView(bar))->move(frame.width() - 18, 7);
}

// The window's frame as the root view lays it out: toolbar with speakers, header, an empty list
// and the bottom bar.
const Page chrome("chrome", [](const Camera& camera) {
    QWidget window;
    window.resize(width, 294);
    QPalette white = window.palette();
    white.setColor(QPalette::Window, Qt::white);
    window.setPalette(white);
    auto* toolbar = new ToolbarView(&window);
    toolbar->setGeometry(0, 0, width, 158);
    toolbar->setTitle(QStringLiteral("Larkhaven"));
    (new SpeakerIconView(0, &window))->setGeometry(222, 126, 12, 12);
    (new SpeakerIconView(2, &window))->setGeometry(328, 126, 18, 12);
    (new PlaylistHeaderView(&window))->setGeometry(0, 158, width, 17);
    addBottomBar(window, QRect(0, 294 - 24, width, 24), QStringLiteral("12 songs — stops in 45 min"));
    camera.shoot("chrome", window);
});

const Page toolbar("toolbar", [](const Camera& camera) {
    ToolbarView view;
    view.resize(width, 158);
    view.setTitle(QStringLiteral("Larkhaven"));
    camera.shoot("toolbar", view);
    view.setTitle(QStringLiteral("A window title that is much too long to fit between the buttons"));
    camera.shoot("toolbar-long-title", view);
});

const Page windowButtons("window-buttons", [](const Camera& camera) {
    camera.shoot("window-buttons", QSize(80, 44), [](QPainter& painter) {
        const QRectF bounds(0, 0, 80, 44);
        painter.fillRect(bounds, Theme::grey(0.88));
        const WindowButton::Kind kinds[] = { WindowButton::Kind::close, WindowButton::Kind::minimise,
            WindowButton::Kind::menu };
        for (int row = 0; row < 2; ++row) {
            for (int i = 0; i < 3; ++i) {
                painter.save();
                painter.translate(8 + 24 * i, 6 + 20 * row);
                WindowButton::paint(painter, kinds[i], row == 1);
                painter.restore();
            }
        }
    });
});

const Page header("header", [](const Camera& camera) {
    PlaylistHeaderView view;
    view.resize(width, 17);
    camera.shoot("header", view);
});

const Page bottomBar("bottom-bar", [](const Camera& camera) {
    QWidget holder;
    holder.resize(width, 24);
    addBottomBar(holder, QRect(0, 0, width, 24), longStatus);
    camera.shoot("bottom-bar-long-status", holder);
});

const Page grip("grip", [](const Camera& camera) {
    camera.shoot("grip", QSize(45, 45), [](QPainter& painter) {
        painter.fillRect(QRect(0, 0, 45, 45), Theme::vertical(QRectF(0, 0, 45, 45), Theme::grey(0.89), Theme::grey(0.74)));
        painter.translate(15, 15);
        ResizeGripView::paint(painter, QSizeF(15, 15));
    });
});

const Page speakers("speakers", [](const Camera& camera) {
    camera.shoot("speakers", QSize(60, 24), [](QPainter& painter) {
        painter.fillRect(QRect(0, 0, 60, 24), Theme::grey(0.8));
        painter.translate(6, 6);
        SpeakerIconView::paint(painter, QSizeF(12, 12), 0);
        painter.translate(20, 0);
        SpeakerIconView::paint(painter, QSizeF(18, 12), 2);
    });
});

} // namespace

} // namespace lh::gallery
