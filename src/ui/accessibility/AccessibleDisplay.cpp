#include "AccessibleDisplay.h"

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

QString AccessibleDisplay::text(QAccessible::Text type) const
{
    if (type == QAccessible::Name)
        return display().spokenName();
    if (type == QAccessible::Value)
        return display().spokenText();
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
    return display().spokenText();
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
