#include "ActivationRepair.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace lh {

ActivationRepair::ActivationRepair(QObject* parent)
    : QObject(parent)
{
}

bool ActivationRepair::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || QApplication::activeWindow() || QApplication::activePopupWidget())
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || !widget->isVisible())
        return false;
    QWidget* window = widget->window();
    // The replacement, QWidget::activateWindow, asks the window system for the focus the
    // window already has; only Qt's own idea of it is wrong.
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    QApplication::setActiveWindow(window);
    QT_WARNING_POP
    return triggerShortcut(*window, static_cast<const QKeyEvent&>(*event));
}

bool ActivationRepair::triggerShortcut(QWidget& window, const QKeyEvent& event)
{
    const QKeySequence pressed(event.keyCombination());
    for (QAction* action : window.actions()) {
        if (action->isEnabled() && action->shortcutContext() != Qt::WidgetShortcut && action->shortcuts().contains(pressed)) {
            QShortcutEvent shortcut(pressed, 0);
            QCoreApplication::sendEvent(action, &shortcut);
            return true;
        }
    }
    return false;
}

} // namespace lh
