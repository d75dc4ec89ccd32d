#pragma once

#include "AccessibleText.h"

#include <QAccessibleWidget>

namespace lh {

class BottomBarView;
class LCDView;

// The display as a screen reader reads it: named by what is playing ("Title, Artist"), its text
// the lines it shows, one a line: title, artist, the format line and the two times. The seek
// slider stays its child.
class AccessibleDisplay : public QAccessibleWidget, public AccessibleText {
public:
    explicit AccessibleDisplay(LCDView* display);

    QString text(QAccessible::Text type) const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    QString accessibleText() const override;
    QRect accessibleTextRect() const override { return rect(); }

private:
    const LCDView& display() const;
};

// The bottom bar as a status bar, named and read by its status text ("12 songs").
class AccessibleStatusBar : public QAccessibleWidget, public AccessibleText {
public:
    explicit AccessibleStatusBar(BottomBarView* bar);

    QString text(QAccessible::Text type) const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    QString accessibleText() const override;
    QRect accessibleTextRect() const override { return rect(); }
};

} // namespace lh
