#include "Announce.h"

#include <QAccessible>

namespace lh {

void announce(QAccessibleEvent& event)
{
    if (accessibilityObserver)
        accessibilityObserver(event);
    // Qt hands a table its model change only while a reader listens, but the row interfaces made
    // while one listened outlive it, and would name other rows when it comes back.
    if (event.type() == QAccessible::TableModelChanged && !QAccessible::isActive()) {
        QAccessibleInterface* table = event.accessibleInterface();
        if (table && table->tableInterface())
            table->tableInterface()->modelChange(static_cast<QAccessibleTableModelChangeEvent*>(&event));
    }
    QAccessible::updateAccessibility(&event);
}

} // namespace lh
