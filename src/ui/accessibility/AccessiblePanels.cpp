#include "AccessiblePanels.h"

#include "AboutView.h"
#include "TrackInfoView.h"

namespace lh {

namespace {

QString optionalText(const std::optional<QString>& text)
{
    return text.value_or(QString());
}

// The items' rectangles follow where the views draw their texts, closely enough for a reader
// to point at them; nothing is hit-tested through them.
void addInfoItems(AccessibleItems& items, TrackInfoView& view)
{
    const auto summary = [&view](std::function<QString(const TrackInfo&)> text, int y, int height) {
        const int x = int(TrackInfoView::artworkRect.right()) + 16;
        return AccessibleItem::Content { QAccessible::StaticText,
            [&view, text = std::move(text)] { return view.info() ? text(*view.info()) : QString(); },
            [&view, x, y, height] { return QRect(x, y, view.QWidget::width() - x - int(TrackInfoView::margin), height); },
            {} };
    };
    items.add(view, summary([](const TrackInfo& info) { return info.title; }, 46, 19));
    items.add(view, summary([](const TrackInfo& info) { return optionalText(info.artist); }, 68, 16));
    items.add(view, summary([](const TrackInfo& info) { return optionalText(info.album); }, 86, 16));
    items.add(view, summary([](const TrackInfo& info) { return TrackInfoView::statusLine(info); }, 108, 15));

    constexpr int rowCount = 9;
    for (int row = 0; row < rowCount; ++row) {
        const int y = int(TrackInfoView::rowsTop + row * TrackInfoView::rowHeight);
        const int labelWidth = int(TrackInfoView::labelWidth);
        const int margin = int(TrackInfoView::margin);
        const auto cell = [&view, row](bool isLabel) {
            if (!view.info())
                return QString();
            const std::vector<TrackInfoView::Row> rows = TrackInfoView::rows(*view.info());
            if (row >= int(rows.size()))
                return QString();
            return isLabel ? rows[std::size_t(row)].label : rows[std::size_t(row)].value;
        };
        items.add(view, { QAccessible::StaticText, [cell] { return cell(true); },
                            [=] { return QRect(margin, y, labelWidth, int(TrackInfoView::rowHeight)); }, {} });
        items.add(view, { QAccessible::StaticText, [cell] { return cell(false); }, [&view, margin, labelWidth, y] {
                             const int x = margin + labelWidth + 8;
                             return QRect(x, y, view.QWidget::width() - x - margin, int(TrackInfoView::rowHeight));
                         },
                            {} });
    }
}

void addAboutItems(AccessibleItems& items, AboutView& view)
{
    const auto line = [&view](QString text, int y, int height) {
        return AccessibleItem::Content { QAccessible::StaticText, [text] { return text; },
            [&view, y, height] { return QRect(0, y, view.QWidget::width(), height); }, {} };
    };
    items.add(view, line(QStringLiteral("Larkhaven"), 140, 28));
    items.add(view, line(AboutView::versionLine(), 172, 16));
    items.add(view, line(AboutView::creditLine(), 216, 16));
    const std::vector<AboutView::Link> links = AboutView::links();
    for (std::size_t i = 0; i < links.size(); ++i) {
        const AboutView::Link link = links[i];
        items.add(view, { QAccessible::Link, [title = link.title] { return title; },
                            [&view, i] {
                                // Where the link was drawn last; below the credit line before the first paint.
                                if (i < view.linkRects().size())
                                    return view.linkRects()[i].rect.toAlignedRect();
                                return QRect(0, 236, view.QWidget::width(), 16);
                            },
                            [&view, url = link.url] {
                                if (view.openURL)
                                    view.openURL(url);
                            } });
    }
}

} // namespace

AccessiblePanel::AccessiblePanel(QWidget* view, const QString& name, const std::function<void(AccessibleItems&)>& build)
    : QAccessibleWidget(view, QAccessible::Pane)
    , name_(name)
{
    build(items_);
}

AccessiblePanel* AccessiblePanel::forInfo(TrackInfoView* view)
{
    return new AccessiblePanel(view, QStringLiteral("Get Info"), [view](AccessibleItems& items) { addInfoItems(items, *view); });
}

AccessiblePanel* AccessiblePanel::forAbout(AboutView* view)
{
    return new AccessiblePanel(
        view, QStringLiteral("About Larkhaven"), [view](AccessibleItems& items) { addAboutItems(items, *view); });
}

QString AccessiblePanel::text(QAccessible::Text type) const
{
    if (type == QAccessible::Name)
        return name_;
    return QAccessibleWidget::text(type);
}

int AccessiblePanel::childCount() const
{
    return items_.count() + QAccessibleWidget::childCount();
}

QAccessibleInterface* AccessiblePanel::child(int index) const
{
    if (index < items_.count())
        return items_.at(index);
    return QAccessibleWidget::child(index - items_.count());
}

int AccessiblePanel::indexOfChild(const QAccessibleInterface* child) const
{
    if (const int item = items_.indexOf(child); item >= 0)
        return item;
    const int widget = QAccessibleWidget::indexOfChild(child);
    return widget < 0 ? -1 : items_.count() + widget;
}

} // namespace lh
