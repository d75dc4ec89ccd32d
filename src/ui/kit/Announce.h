#pragma once

#include <functional>

class QAccessibleEvent;

namespace lh {

// How a view tells assistive technology that it changed: Qt's own event, with the view as its
// object. The views know nothing of their accessible interfaces; the accessibility layer above
// them makes those and answers what the reader then asks. A table's model change reaches its
// interface even while no reader listens, so the rows it keeps never outlast the change.
// Main thread only.
void announce(QAccessibleEvent& event);

// Qt drops events while no reader listens; the observer, when set, sees each one all the same
// (tests watch what the views send through it).
inline std::function<void(const QAccessibleEvent&)> accessibilityObserver;

} // namespace lh
