#pragma once

#include "AccessibleItem.h"

#include <QAccessibleWidget>

#include <functional>

namespace lh {

class AboutView;
class TrackInfoView;

// A custom-drawn panel: the texts it draws as items of their own (read-only text, or links),
// before its child widgets (the info panel's header and OK button).
class AccessiblePanel : public QAccessibleWidget {
public:
    AccessiblePanel(QWidget* view, const QString& name, const std::function<void(AccessibleItems&)>& build);

    // The info panel: title, artist, album and the length line, then each row's label and value.
    static AccessiblePanel* forInfo(TrackInfoView* view);
    // The about panel: the product name, the version and credit lines and the two links.
    static AccessiblePanel* forAbout(AboutView* view);

    QString text(QAccessible::Text type) const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;

private:
    QString name_;
    AccessibleItems items_;
};

} // namespace lh
