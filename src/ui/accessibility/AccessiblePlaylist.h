#pragma once

#include <QAccessibleWidget>

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <utility>

namespace lh {

class PlaylistListView;
class PlaylistRows;

// The playlist as a list of one column: a child per row, named by its title and described by
// its duration (and "playing" on the current row), selected through the table's row selection
// as a Ctrl-click selects, played through the row's press action as a double-click plays.
class AccessiblePlaylist : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit AccessiblePlaylist(PlaylistListView* list);
    ~AccessiblePlaylist() override;

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override;
    int selectedCellCount() const override { return selectedRowCount(); }
    QList<QAccessibleInterface*> selectedCells() const override;
    QString columnDescription(int column) const override;
    QString rowDescription(int) const override { return {}; }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override;
    int columnCount() const override { return 1; }
    int rowCount() const override { return childCount(); }
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override;
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int row) const override;
    bool selectRow(int row) override;
    bool selectColumn(int) override { return false; }
    bool unselectRow(int row) override;
    bool unselectColumn(int) override { return false; }
    // The list's rows changed: the row interfaces that are gone or name another row now are
    // dropped, and of the rest only those in view and the keyboard's row are kept.
    void modelChange(QAccessibleTableModelChangeEvent*) override;

private:
    PlaylistListView& list() const;
    std::pair<std::int64_t, std::int64_t> rowsInView() const;

    // The rows' interfaces, made when first asked for and kept until the rows change.
    mutable std::unordered_map<int, QAccessible::Id> rows_;
    // The rows those interfaces were made from, to tell at a change which still name their row.
    std::shared_ptr<const PlaylistRows> madeFrom_;
};

} // namespace lh
