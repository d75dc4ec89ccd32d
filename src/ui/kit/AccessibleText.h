#pragma once

#include <QAccessibleInterface>
#include <QRect>
#include <QString>

namespace lh {

// A text that assistive technology reads and never edits: no selection, no cursor, no
// attributes. The views draw their texts themselves and keep no layout per character, so every
// character is reported at the whole text's rectangle (screen coordinates).
class AccessibleText : public QAccessibleTextInterface {
public:
    virtual QString accessibleText() const = 0;
    virtual QRect accessibleTextRect() const = 0;

    void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override { }
    void removeSelection(int) override { }
    void setSelection(int, int, int) override { }
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override { }
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override { return int(accessibleText().size()); }
    QRect characterRect(int) const override { return accessibleTextRect(); }
    int offsetAtPoint(const QPoint& point) const override;
    void scrollToSubstring(int, int) override { }
    QString attributes(int offset, int* startOffset, int* endOffset) const override;
};

} // namespace lh
