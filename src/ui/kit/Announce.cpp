#include "Announce.h"

#include <QAccessible>

namespace lh {

void announce(QAccessibleEvent& event)
{
    if (accessibilityObserver)
        accessibilityObserver(event);
    QAccessible::updateAccessibility(&event);
}

} // namespace lh
