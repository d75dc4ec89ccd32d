#include "AccessibleDisplay.h"

#include "Accessibility.h"
#include "BottomBarView.h"
#include "LCDView.h"

namespace lh {

AccessibleDisplay::AccessibleDisplay(LCDView* display)
    : QAccessibleWidget(display, QAccessible::StaticText)
{
}

const LCDView& AccessibleDisplay::display() const
{
    return *static_cast<const LCDView*>(widget());
}

QString AccessibleDisplay::name(const LCDView& display)
{
    if (display.artist().isEmpty())
        return display.title();
    return display.title() + QStringLiteral(", ") + display.artist();
}

QString AccessibleDisplay::lines(const LCDView& display)
{
    QStringList shown { display.title(), display.artist() };
    if (!display.formatText().isEmpty())
        shown << display.formatText();
    shown << display.elapsedText() + u' ' + display.remainingText();
    return shown.join(u'\n');
}

void AccessibleDisplay::announceChange(LCDView& display, const QString& oldName, const QString& oldText)
{
    if (name(display) != oldName) {
        QAccessibleEvent renamed(&display, QAccessible::NameChanged);
        announce(renamed);
    }
    if (const QString text = lines(display); text != oldText) {
        QAccessibleTextUpdateEvent updated(&display, 0, oldText, text);
        announce(updated);
    }
}

QString AccessibleDisplay::text(QAccessible::Text type) const
{
    if (type == QAccessible::Name)
        return name(display());
    if (type == QAccessible::Value)
        return lines(display());
    return QAccessibleWidget::text(type);
}

void* AccessibleDisplay::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QString AccessibleDisplay::accessibleText() const
{
    return lines(display());
}

AccessibleStatusBar::AccessibleStatusBar(BottomBarView* bar)
    : QAccessibleWidget(bar, QAccessible::StatusBar)
{
}

QString AccessibleStatusBar::text(QAccessible::Text type) const
{
    if (type == QAccessible::Name || type == QAccessible::Value)
        return accessibleText();
    return QAccessibleWidget::text(type);
}

void* AccessibleStatusBar::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QString AccessibleStatusBar::accessibleText() const
{
    return static_cast<const BottomBarView*>(widget())->statusText();
}

} // namespace lh
