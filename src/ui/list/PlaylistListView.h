#pragma once

#include "FileURL.h"
#include "IndexSet.h"
#include "Observable.h"
#include "PlaylistRows.h"
#include "PlaylistSelection.h"

#include <QAbstractScrollArea>
#include <QMimeData>
#include <QFont>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace lh {

// The playlist rows: indicator, title and duration per row, striped, with a selection the user
// changes by mouse and keys, and dropped files.
//
// The list is a scroll area that works out its visible rows itself and paints only those, so a
// million rows cost what twenty do (a widget of 19 × 1,000,000 pixels is beyond what Qt allows).
// It knows nothing of tracks: the owner feeds it plain texts and flags and turns the callbacks
// into commands. Keys it does not handle go on to its parent.
//
// Main thread only. The callbacks run synchronously from the user's event; until they are set
// the actions only change the selection.
class PlaylistListView : public QAbstractScrollArea {
public:
    static constexpr int rowHeight = 19;

    explicit PlaylistListView(QWidget* parent = nullptr);

    // The rows to show; the count is theirs. Taking them costs the same for any length: the
    // list asks only for the rows it draws or reads out. The selection is clamped to the new rows.
    // Assistive technology is told that the rows changed, as a table's model reset tells it.
    void setRows(std::shared_ptr<const PlaylistRows> rows);
    const PlaylistRows& rows() const noexcept { return *rows_; }
    const std::shared_ptr<const PlaylistRows>& sharedRows() const noexcept { return rows_; }
    std::int64_t rowCount() const noexcept { return rowCount_; }
    void setPlayingIndex(std::optional<std::int64_t> row);
    std::optional<std::int64_t> playingIndex() const noexcept { return playingIndex_; }

    const IndexSet& selectedIndices() const noexcept { return selection_.selectedIndices(); }
    // Delivers the selection at once and after every change of it.
    Publisher<IndexSet> selectionPublisher() const { return published_.publisher(); }
    const PlaylistSelection& selection() const noexcept { return selection_; }

    void selectAll();
    // Adds the row to the selection or takes it out, as a Ctrl-click does.
    void toggleRow(std::int64_t row);
    void clampSelection();
    // Clears the selection and reports the rows it held through onRemove; the rows themselves go
    // when the owner sets the new titles.
    void removeSelected();
    // Scrolls the least that brings the row into view.
    void scrollToRow(std::int64_t row);
    bool isDropTargeted() const noexcept { return isDropTargeted_; }

    std::function<void(std::int64_t row)> onPlay;
    std::function<void(const IndexSet& rows)> onRemove;
    std::function<void(std::vector<FileURL> files)> onDropFiles;
    // The files a drag or the clipboard holds: its URI list's file URLs, else its text's lines
    // that are absolute paths or file URLs.
    static std::vector<FileURL> filesOf(const QMimeData& data);
    // The rows on screen changed: `count` rows from `first` on, told when they are painted.
    std::function<void(std::int64_t first, std::int64_t count)> onShownRows;

    // Draws the part `area` of the viewport (its own coordinates) at the current scroll
    // position, as the focused or the unfocused list.
    void paint(QPainter& painter, const QRect& area, bool focused) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    std::int64_t scrollOffset() const;
    bool isFocused() const;
    int timeRightInset() const;
    void drawRow(QPainter& painter, std::int64_t row, int y, bool focused) const;
    void mouseDown(QMouseEvent* event, bool isDoubleClick);
    void scrollByKey(int key);
    // Runs a selection operation, redraws the band of rows it touched, publishes the new
    // selection and scrolls to the row the operation names.
    void changeSelection(const std::function<std::optional<std::int64_t>(PlaylistSelection&)>& operation);
    void updateRows(std::int64_t first, std::int64_t last);
    void updateSelectedBand();
    void announceSelection();
    void updateScrollRange();
    void setDropTargeted(bool targeted);

    std::shared_ptr<const PlaylistRows> rows_; // never null
    std::int64_t rowCount_ = 0; // rows_'s, asked once per change
    std::optional<std::int64_t> playingIndex_;
    PlaylistSelection selection_;
    Observable<IndexSet> published_;
    bool isDropTargeted_ = false;
    std::pair<std::int64_t, std::int64_t> shownRows_ { -1, -1 }; // as last told through onShownRows
    QFont font_;
};

} // namespace lh
