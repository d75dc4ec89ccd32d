#pragma once

#include <functional>

class QAccessibleEvent;

namespace lh {

// Makes the window's custom-drawn views readable by assistive technology: installs the
// interfaces that name them and expose their values, texts and rows. Safe to call more than
// once; main thread only.
void installAccessibleInterfaces();

// Tells assistive technology of a change. Qt drops events while no reader listens; the observer,
// when set, sees each one all the same (tests watch what the views send through it).
void announce(QAccessibleEvent& event);
inline std::function<void(const QAccessibleEvent&)> accessibilityObserver;

} // namespace lh
