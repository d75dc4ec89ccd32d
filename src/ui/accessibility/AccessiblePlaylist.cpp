#include "AccessiblePlaylist.h"

#include "PlaylistListView.h"

#include <QPointer>
#include <QScrollBar>

#include <malloc.h>

#include <algorithm>
#include <climits>

namespace lh {

namespace {

// So many row interfaces dropped at once that their memory is worth handing back.
constexpr std::size_t manyRows = 10'000;

// One row of the list; it reads the list each time and is valid while its row exists.
class AccessibleRow : public QAccessibleInterface, public QAccessibleTableCellInterface, public QAccessibleActionInterface {
public:
    AccessibleRow(PlaylistListView& list, int row)
        : list_(&list)
        , row_(row)
    {
    }

    bool isValid() const override { return list_ && row_ < list_->rowCount(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return list_ ? list_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(list_.data()); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    void setText(QAccessible::Text, const QString&) override { }
    QAccessible::Role role() const override { return QAccessible::ListItem; }

    QString text(QAccessible::Text type) const override
    {
        if (!isValid())
            return {};
        if (type == QAccessible::Name)
            return list_->rows().title(row_);
        if (type == QAccessible::Description) {
            QString duration = list_->rows().time(row_);
            if (isPlaying())
                duration += duration.isEmpty() ? QStringLiteral("playing") : QStringLiteral(", playing");
            return duration;
        }
        return {};
    }

    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QWidget* viewport = list_->viewport();
        const std::int64_t top = std::int64_t(row_) * PlaylistListView::rowHeight - list_->verticalScrollBar()->value();
        return QRect(viewport->mapToGlobal(QPoint(0, int(top))), QSize(viewport->width(), PlaylistListView::rowHeight));
    }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        state.selectable = true;
        state.multiSelectable = true;
        state.focusable = true;
        state.selected = isSelected();
        state.active = isPlaying();
        state.focused = list_->hasFocus() && list_->selection().head() == row_;
        state.invisible = !list_->isVisible();
        const QRect shown = list_->viewport()->rect();
        const QRect local(list_->viewport()->mapFromGlobal(rect().topLeft()), rect().size());
        state.offscreen = !shown.intersects(local);
        return state;
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TableCellInterface)
            return static_cast<QAccessibleTableCellInterface*>(this);
        if (type == QAccessible::ActionInterface)
            return static_cast<QAccessibleActionInterface*>(this);
        return nullptr;
    }

    bool isSelected() const override { return isValid() && list_->selectedIndices().contains(row_); }
    QList<QAccessibleInterface*> columnHeaderCells() const override { return {}; }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return 0; }
    int rowIndex() const override { return row_; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return parent(); }

    QStringList actionNames() const override { return { pressAction() }; }
    // Pressing a row plays it, as a double-click does.
    void doAction(const QString& actionName) override
    {
        if (isValid() && actionName == pressAction() && list_->onPlay)
            list_->onPlay(row_);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    bool isPlaying() const { return list_->playingIndex() == std::optional<std::int64_t>(row_); }

    QPointer<PlaylistListView> list_;
    int row_;
};

} // namespace

AccessiblePlaylist::AccessiblePlaylist(PlaylistListView* list)
    : QAccessibleWidget(list, QAccessible::List)
    , madeFrom_(list->sharedRows())
{
}

AccessiblePlaylist::~AccessiblePlaylist()
{
    for (const auto& [row, id] : rows_)
        QAccessible::deleteAccessibleInterface(id);
}

PlaylistListView& AccessiblePlaylist::list() const
{
    return *static_cast<PlaylistListView*>(widget());
}

// A row interface reads its row by index, so after a change it would name whatever sits there
// now, still valid. A reader holding a dropped one finds it gone and asks the list again. Rows
// out of view are dropped too: what a reader once asked for (every row of a selected million)
// must not stay registered for the list's life.
void AccessiblePlaylist::modelChange(QAccessibleTableModelChangeEvent*)
{
    const PlaylistRows& now = list().rows();
    const auto [first, last] = rowsInView();
    const std::optional<std::int64_t> head = list().selection().head();
    const auto keeps = [&](int row) {
        const bool shown = (row >= first && row <= last) || head == std::optional<std::int64_t>(row);
        return shown && row < now.count() && row < madeFrom_->count() && now.title(row) == madeFrom_->title(row);
    };
    std::unordered_map<int, QAccessible::Id> kept;
    for (const auto& [row, id] : rows_) {
        if (keeps(row))
            kept.emplace(row, id);
        else
            QAccessible::deleteAccessibleInterface(id);
    }
    const std::size_t dropped = rows_.size() - kept.size();
    rows_ = std::move(kept);
    madeFrom_ = list().sharedRows();
    // A reader that asked for a huge selection left tens of megabytes of small blocks, which the
    // heap keeps unless told to give back the pages they freed.
    if (dropped >= manyRows)
        ::malloc_trim(0);
}

std::pair<std::int64_t, std::int64_t> AccessiblePlaylist::rowsInView() const
{
    const std::int64_t top = list().verticalScrollBar()->value();
    return { top / PlaylistListView::rowHeight, (top + list().viewport()->height() - 1) / PlaylistListView::rowHeight };
}

// A list of more rows than an int counts shows assistive technology the first INT_MAX.
int AccessiblePlaylist::childCount() const
{
    return int(std::min<std::int64_t>(list().rowCount(), INT_MAX));
}

QAccessibleInterface* AccessiblePlaylist::child(int index) const
{
    if (index < 0 || index >= childCount())
        return nullptr;
    auto found = rows_.find(index);
    if (found == rows_.end())
        found = rows_.emplace(index, QAccessible::registerAccessibleInterface(new AccessibleRow(list(), index))).first;
    return QAccessible::accessibleInterface(found->second);
}

int AccessiblePlaylist::indexOfChild(const QAccessibleInterface* child) const
{
    const auto* cell = const_cast<QAccessibleInterface*>(child)->tableCellInterface();
    if (!cell || cell->table() != this)
        return -1;
    return cell->rowIndex();
}

QAccessibleInterface* AccessiblePlaylist::childAt(int x, int y) const
{
    const QPoint local = list().viewport()->mapFromGlobal(QPoint(x, y));
    if (!list().viewport()->rect().contains(local))
        return nullptr;
    const std::int64_t row = (list().verticalScrollBar()->value() + local.y()) / PlaylistListView::rowHeight;
    return row < childCount() ? child(int(row)) : nullptr;
}

QAccessibleInterface* AccessiblePlaylist::focusChild() const
{
    const std::optional<std::int64_t> head = list().selection().head();
    if (!list().hasFocus() || !head || *head >= childCount())
        return nullptr;
    return child(int(*head));
}

void* AccessiblePlaylist::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TableInterface)
        return static_cast<QAccessibleTableInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QAccessibleInterface* AccessiblePlaylist::cellAt(int row, int column) const
{
    return column == 0 ? child(row) : nullptr;
}

QList<QAccessibleInterface*> AccessiblePlaylist::selectedCells() const
{
    QList<QAccessibleInterface*> cells;
    for (int row : selectedRows())
        cells << child(row);
    return cells;
}

QString AccessiblePlaylist::columnDescription(int column) const
{
    return column == 0 ? QStringLiteral("Name") : QString();
}

int AccessiblePlaylist::selectedRowCount() const
{
    return int(std::min<std::int64_t>(list().selectedIndices().below(childCount()).count(), INT_MAX));
}

QList<int> AccessiblePlaylist::selectedRows() const
{
    QList<int> rows;
    const IndexSet selected = list().selectedIndices().below(childCount());
    for (const auto& run : selected.runs()) {
        for (std::int64_t row = run.first; row <= run.last; ++row)
            rows << int(row);
    }
    return rows;
}

bool AccessiblePlaylist::isRowSelected(int row) const
{
    return list().selectedIndices().contains(row);
}

bool AccessiblePlaylist::selectRow(int row)
{
    if (row < 0 || row >= childCount())
        return false;
    if (!isRowSelected(row))
        list().toggleRow(row);
    return true;
}

bool AccessiblePlaylist::unselectRow(int row)
{
    if (row < 0 || row >= childCount())
        return false;
    if (isRowSelected(row))
        list().toggleRow(row);
    return true;
}

} // namespace lh
