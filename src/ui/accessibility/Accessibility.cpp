#include "Accessibility.h"

#include "AboutView.h"
#include "AccessibleControls.h"
#include "AccessibleDisplay.h"
#include "AccessiblePanels.h"
#include "AccessiblePlaylist.h"
#include "BottomBarView.h"
#include "LCDView.h"
#include "LeopardButton.h"
#include "LeopardSlider.h"
#include "PlaylistListView.h"
#include "TrackInfoView.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace lh {

namespace {

// Qt asks once per class of the object's meta-object chain. The views declare no meta-object of
// their own, so they are told apart by type at the first, most derived, name.
QAccessibleInterface* makeInterface(const QString& className, QObject* object)
{
    if (!object || !object->isWidgetType() || className != QLatin1String(object->metaObject()->className()))
        return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    if (auto* button = dynamic_cast<LeopardButton*>(widget))
        return new AccessibleButton(button);
    if (auto* slider = dynamic_cast<LeopardSlider*>(widget))
        return new AccessibleSlider(slider);
    if (auto* display = dynamic_cast<LCDView*>(widget))
        return new AccessibleDisplay(display);
    if (auto* list = dynamic_cast<PlaylistListView*>(widget))
        return new AccessiblePlaylist(list);
    if (auto* bar = dynamic_cast<BottomBarView*>(widget))
        return new AccessibleStatusBar(bar);
    if (auto* info = dynamic_cast<TrackInfoView*>(widget))
        return AccessiblePanel::forInfo(info);
    if (auto* about = dynamic_cast<AboutView*>(widget))
        return AccessiblePanel::forAbout(about);
    // The main window and the panels are plain widgets made windows; Qt would call them panes.
    if (widget->isWindow() && className == QLatin1String("QWidget"))
        return new QAccessibleWidget(widget, QAccessible::Window);
    return nullptr;
}

} // namespace

void installAccessibleInterfaces()
{
    static const bool installed = [] {
        QAccessible::installFactory(makeInterface);
        return true;
    }();
    (void)installed;
}

} // namespace lh
