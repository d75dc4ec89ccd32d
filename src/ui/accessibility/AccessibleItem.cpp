#include "AccessibleItem.h"

namespace lh {

AccessibleItem::AccessibleItem(QWidget& view, Content content)
    : view_(&view)
    , content_(std::move(content))
{
}

QWindow* AccessibleItem::window() const
{
    return view_ ? view_->window()->windowHandle() : nullptr;
}

QAccessibleInterface* AccessibleItem::parent() const
{
    return view_ ? QAccessible::queryAccessibleInterface(view_.data()) : nullptr;
}

QString AccessibleItem::text(QAccessible::Text type) const
{
    return type == QAccessible::Name && view_ ? content_.text() : QString();
}

QRect AccessibleItem::rect() const
{
    if (!view_)
        return {};
    const QRect local = content_.rect();
    return QRect(view_->mapToGlobal(local.topLeft()), local.size());
}

QAccessible::State AccessibleItem::state() const
{
    QAccessible::State state;
    state.readOnly = true;
    state.invisible = !view_ || !view_->isVisible();
    state.linked = bool(content_.activate);
    return state;
}

void* AccessibleItem::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface*>(this);
    if (type == QAccessible::ActionInterface && content_.activate)
        return static_cast<QAccessibleActionInterface*>(this);
    return nullptr;
}

QString AccessibleItem::accessibleText() const
{
    return text(QAccessible::Name);
}

QStringList AccessibleItem::actionNames() const
{
    return content_.activate ? QStringList { pressAction() } : QStringList {};
}

void AccessibleItem::doAction(const QString& actionName)
{
    if (view_ && content_.activate && actionName == pressAction())
        content_.activate();
}

AccessibleItems::~AccessibleItems()
{
    for (QAccessible::Id id : ids_)
        QAccessible::deleteAccessibleInterface(id);
}

void AccessibleItems::add(QWidget& view, AccessibleItem::Content content)
{
    ids_.push_back(QAccessible::registerAccessibleInterface(new AccessibleItem(view, std::move(content))));
}

QAccessibleInterface* AccessibleItems::at(int index) const
{
    if (index < 0 || index >= count())
        return nullptr;
    return QAccessible::accessibleInterface(ids_[std::size_t(index)]);
}

int AccessibleItems::indexOf(const QAccessibleInterface* item) const
{
    for (int i = 0; i < count(); ++i) {
        if (at(i) == item)
            return i;
    }
    return -1;
}

} // namespace lh
