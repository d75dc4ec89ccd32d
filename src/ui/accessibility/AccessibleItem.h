#pragma once

#include "AccessibleText.h"

#include <QAccessible>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <vector>

namespace lh {

// A part of a custom-drawn view that has no widget of its own, read by assistive technology as
// an object of its own: a text line of a panel, or a link. Its text and rectangle are read from
// the view each time, so it never shows stale content; it is valid while the view lives.
class AccessibleItem : public QAccessibleInterface, public AccessibleText, public QAccessibleActionInterface {
public:
    struct Content {
        QAccessible::Role role = QAccessible::StaticText;
        std::function<QString()> text;
        std::function<QRect()> rect; // in the view's coordinates
        std::function<void()> activate; // a link's press; none for plain text
    };

    AccessibleItem(QWidget& view, Content content);

    bool isValid() const override { return !view_.isNull(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text type) const override;
    void setText(QAccessible::Text, const QString&) override { }
    QRect rect() const override;
    QAccessible::Role role() const override { return content_.role; }
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    QString accessibleText() const override;
    QRect accessibleTextRect() const override { return rect(); }

    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<QWidget> view_;
    Content content_;
};

// The items a view's interface adds beside its child widgets, registered with Qt's cache on
// first use and released with the interface that owns them.
class AccessibleItems {
public:
    AccessibleItems() = default;
    AccessibleItems(const AccessibleItems&) = delete;
    AccessibleItems& operator=(const AccessibleItems&) = delete;
    ~AccessibleItems();

    bool isEmpty() const { return ids_.empty(); }
    int count() const { return int(ids_.size()); }
    void add(QWidget& view, AccessibleItem::Content content);
    QAccessibleInterface* at(int index) const;
    int indexOf(const QAccessibleInterface* item) const;

private:
    std::vector<QAccessible::Id> ids_;
};

} // namespace lh
