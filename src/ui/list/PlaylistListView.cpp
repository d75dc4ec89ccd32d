#include "PlaylistListView.h"

#include "Announce.h"
#include "Glyphs.h"
#include "StringDrawing.h"
#include "Theme.h"

#include <QAccessible>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QProxyStyle>
#include <QScrollBar>

#include <algorithm>
#include <climits>

namespace lh {

namespace {

// The columns of the playlist header above the list.
constexpr int indicatorColumnWidth = 22;
constexpr int timeColumnWidth = 48;
constexpr int timeTextWidth = timeColumnWidth - 10;
constexpr int timeRightMargin = 5;

// The scroll bar floats over the rows instead of narrowing them, so the time column stays under
// the header's.
class OverlayScrollBarStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
        QStyleHintReturn* returnData) const override
    {
        if (hint == SH_ScrollBar_Transient)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

PlaylistListView::PlaylistListView(QWidget* parent)
    : QAbstractScrollArea(parent)
    , rows_(std::make_shared<TextRows>(QStringList()))
    , font_(Theme::font(11))
{
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto* style = new OverlayScrollBarStyle;
    style->setParent(this);
    verticalScrollBar()->setStyle(style);
    verticalScrollBar()->setSingleStep(rowHeight);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    viewport()->setAcceptDrops(true);
}

void PlaylistListView::setRows(std::shared_ptr<const PlaylistRows> rows)
{
    rows_ = std::move(rows);
    rowCount_ = rows_->count();
    updateScrollRange();
    // Any row may have changed: a reader's rows are checked against the new ones before it
    // hears of the selection they carry.
    QAccessibleTableModelChangeEvent changed(this, QAccessibleTableModelChangeEvent::ModelReset);
    announce(changed);
    changeSelection([count = rowCount_](PlaylistSelection& s) {
        s.setRowCount(count);
        return std::nullopt;
    });
    viewport()->update();
}

void PlaylistListView::setPlayingIndex(std::optional<std::int64_t> row)
{
    const std::optional<std::int64_t> old = std::exchange(playingIndex_, row);
    if (old)
        updateRows(*old, *old);
    if (row)
        updateRows(*row, *row);
}

void PlaylistListView::toggleRow(std::int64_t row)
{
    changeSelection([row](PlaylistSelection& s) { return s.click(row, { .toggle = true }); });
}

void PlaylistListView::selectAll()
{
    changeSelection([](PlaylistSelection& s) {
        s.selectAll();
        return std::nullopt;
    });
}

void PlaylistListView::clampSelection()
{
    changeSelection([](PlaylistSelection& s) {
        s.clampSelection();
        return std::nullopt;
    });
}

// Read with our own conversion: Qt's would decode the percent-encoded bytes of a name that is
// not UTF-8 into replacement characters.
std::vector<FileURL> PlaylistListView::filesOf(const QMimeData& data)
{
    std::vector<FileURL> files;
    const auto take = [&files](const QByteArray& lines, bool isURIList) {
        for (const QByteArray& entry : lines.split('\n')) {
            const QByteArray line = isURIList ? entry.trimmed() : entry.endsWith('\r') ? entry.chopped(1) : entry;
            if (isURIList && !line.startsWith("file:"))
                continue; // comments, other schemes
            if (auto url = FileURL::fromUserInput(std::string_view(line.constData(), std::size_t(line.size()))))
                files.push_back(std::move(*url));
        }
    };
    take(data.data(QStringLiteral("text/uri-list")), true);
    if (files.empty() && data.hasText())
        take(data.data(QStringLiteral("text/plain")).isEmpty() ? data.text().toUtf8() : data.data(QStringLiteral("text/plain")), false);
    return files;
}

void PlaylistListView::removeSelected()
{
    IndexSet removed;
    changeSelection([&removed](PlaylistSelection& s) {
        removed = s.removeSelected();
        return std::nullopt;
    });
    if (!removed.isEmpty() && onRemove)
        onRemove(removed);
}

void PlaylistListView::scrollToRow(std::int64_t row)
{
    if (row < 0 || row >= rowCount())
        return;
    const std::int64_t top = row * rowHeight;
    const std::int64_t offset = scrollOffset();
    const int height = viewport()->height();
    if (top < offset)
        verticalScrollBar()->setValue(int(top));
    else if (top + rowHeight > offset + height)
        verticalScrollBar()->setValue(int(top + rowHeight - height));
}

std::int64_t PlaylistListView::scrollOffset() const
{
    return verticalScrollBar()->value();
}

bool PlaylistListView::isFocused() const
{
    // The window's keyboard target, whether or not the window is active.
    const QWidget* target = window()->focusWidget();
    return target == this || target == viewport();
}

void PlaylistListView::paint(QPainter& painter, const QRect& area, bool focused) const
{
    // Rows are placed relative to the scroll position in 64-bit arithmetic, so coordinates stay
    // small however far down the list is.
    const std::int64_t offset = scrollOffset();
    const std::int64_t first = std::max<std::int64_t>(0, (offset + area.top()) / rowHeight);
    const std::int64_t last = (offset + area.bottom()) / rowHeight;
    painter.save();
    for (std::int64_t row = first; row <= last; ++row)
        drawRow(painter, row, int(row * rowHeight - offset), focused);
    if (isDropTargeted_) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Theme::selection(), 3));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(viewport()->rect()).adjusted(2, 2, -2, -2), 3, 3);
    }
    painter.restore();
}

void PlaylistListView::drawRow(QPainter& painter, std::int64_t row, int y, bool focused) const
{
    const int width = viewport()->width();
    const bool isRow = row < rowCount();
    const bool selected = isRow && selectedIndices().contains(row);
    const bool highlighted = selected && focused;
    const QColor background = selected ? (focused ? Theme::selection() : Theme::selectionUnfocused())
                                       : (row % 2 ? Theme::stripe() : QColor(Qt::white));
    // Without antialiasing, so that rows meeting inside a device pixel (at a ratio of 1.5)
    // leave no seam.
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(QRect(0, y, width, rowHeight), background);
    if (!isRow)
        return;

    painter.setRenderHint(QPainter::Antialiasing);

    const QColor text = highlighted ? QColor(Qt::white) : QColor(Qt::black);
    if (row == playingIndex_)
        Glyphs::drawSpeaker(painter, QRectF(6, y + 4, 13, 11), 2, text, false);
    else if (rows_->isUncached(row))
        Glyphs::drawDownload(painter, QRectF(6, y + 4, 11, 11), highlighted ? QColor(Qt::white) : Theme::rowMark());

    const int titleX = indicatorColumnWidth + 5;
    const int timeRight = width - timeRightInset();
    drawString(painter, rows_->title(row), QRectF(titleX, y + 2, timeRight - timeTextWidth - 9 - titleX, rowHeight - 3),
        { font_, text, Qt::AlignLeft });
    if (const QString time = rows_->time(row); !time.isEmpty())
        drawString(painter, time, QRectF(timeRight - timeTextWidth, y + 2, timeTextWidth, rowHeight - 3),
            { font_, text, Qt::AlignRight });
}

// The scroll bar floats over the rows' right end whenever the list can scroll; the durations then
// end left of it instead of under it.
int PlaylistListView::timeRightInset() const
{
    const QScrollBar* bar = verticalScrollBar();
    if (bar->maximum() <= 0)
        return timeRightMargin;
    return std::max(timeRightMargin, bar->sizeHint().width() + 2);
}

void PlaylistListView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    paint(painter, event->rect(), isFocused());
    // Counted from the whole viewport, not the part repainted: what the user can see.
    const std::int64_t first = scrollOffset() / rowHeight;
    const std::pair shown { first, (scrollOffset() + viewport()->height() - 1) / rowHeight - first + 1 };
    if (shown != shownRows_ && onShownRows) {
        shownRows_ = shown;
        onShownRows(shown.first, shown.second);
    }
}

void PlaylistListView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollRange();
}

void PlaylistListView::updateScrollRange()
{
    // The rows plus, when they are fewer than fill the view, stripes down to its bottom.
    const int height = viewport()->height();
    const std::int64_t hidden = std::max<std::int64_t>(0, rowCount() * rowHeight - height);
    QScrollBar* bar = verticalScrollBar();
    const bool couldScroll = bar->maximum() > 0;
    bar->setPageStep(height);
    bar->setRange(0, int(std::min<std::int64_t>(hidden, INT_MAX)));
    if (couldScroll != (bar->maximum() > 0))
        viewport()->update(); // the durations move beside the bar or back
}

void PlaylistListView::scrollContentsBy(int, int dy)
{
    // The drop frame stays put while the rows move, so it needs a full redraw.
    if (isDropTargeted_ || std::abs(dy) >= viewport()->height())
        viewport()->update();
    else
        viewport()->scroll(0, dy);
}

void PlaylistListView::mousePressEvent(QMouseEvent* event)
{
    mouseDown(event, false);
}

void PlaylistListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    mouseDown(event, true);
}

void PlaylistListView::mouseDown(QMouseEvent* event, bool isDoubleClick)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    setFocus(Qt::MouseFocusReason);
    const std::int64_t row = (scrollOffset() + std::max(0, int(event->position().y()))) / rowHeight;
    const PlaylistSelection::Modifiers modifiers { event->modifiers().testFlag(Qt::ShiftModifier),
        event->modifiers().testFlag(Qt::ControlModifier) };
    const bool isPlainClick = !(modifiers.extend && selection_.anchor()) && !modifiers.toggle;
    changeSelection([row, modifiers](PlaylistSelection& s) { return s.click(row, modifiers); });
    if (isDoubleClick && isPlainClick && row < rowCount() && onPlay)
        onPlay(row);
}

void PlaylistListView::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
        return;
    }
    const bool extend = event->modifiers().testFlag(Qt::ShiftModifier);
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Consumed even with nothing selected, so Return never reaches the window.
        if (const auto first = selectedIndices().first(); first && onPlay)
            onPlay(*first);
        return;
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        removeSelected();
        return;
    case Qt::Key_Down:
    case Qt::Key_Up: {
        const int step = event->key() == Qt::Key_Down ? 1 : -1;
        changeSelection([step, extend](PlaylistSelection& s) { return s.arrow(step, extend); });
        return;
    }
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        scrollByKey(event->key());
        return;
    default:
        event->ignore(); // on to the parent: the space bar plays and pauses there
    }
}

void PlaylistListView::scrollByKey(int key)
{
    // What an enclosing scroll view does with these keys: the selection stays.
    QScrollBar* bar = verticalScrollBar();
    if (key == Qt::Key_PageUp || key == Qt::Key_PageDown)
        bar->triggerAction(key == Qt::Key_PageUp ? QAbstractSlider::SliderPageStepSub : QAbstractSlider::SliderPageStepAdd);
    else
        bar->triggerAction(key == Qt::Key_Home ? QAbstractSlider::SliderToMinimum : QAbstractSlider::SliderToMaximum);
}

void PlaylistListView::focusInEvent(QFocusEvent*)
{
    updateSelectedBand();
    announceSelection();
}

void PlaylistListView::focusOutEvent(QFocusEvent*)
{
    updateSelectedBand();
}

void PlaylistListView::dragEnterEvent(QDragEnterEvent* event)
{
    if (filesOf(*event->mimeData()).empty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    setDropTargeted(true);
}

void PlaylistListView::dragMoveEvent(QDragMoveEvent* event)
{
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void PlaylistListView::dragLeaveEvent(QDragLeaveEvent*)
{
    setDropTargeted(false);
}

void PlaylistListView::dropEvent(QDropEvent* event)
{
    setDropTargeted(false);
    std::vector<FileURL> files = filesOf(*event->mimeData());
    if (files.empty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (onDropFiles)
        onDropFiles(std::move(files));
}

void PlaylistListView::setDropTargeted(bool targeted)
{
    isDropTargeted_ = targeted;
    viewport()->update();
}

void PlaylistListView::changeSelection(
    const std::function<std::optional<std::int64_t>(PlaylistSelection&)>& operation)
{
    const IndexSet old = selection_.selectedIndices();
    const std::optional<std::int64_t> reveal = operation(selection_);
    const IndexSet& now = selection_.selectedIndices();
    if (now != old) {
        IndexSet both = old;
        both.insert(now);
        updateRows(*both.first(), *both.last());
        published_.set(now);
        announceSelection();
    }
    if (reveal)
        scrollToRow(*reveal);
}

// Tells assistive technology that the selection changed, and which row has the focus.
void PlaylistListView::announceSelection()
{
    QAccessibleEvent selection(this, QAccessible::SelectionWithin);
    announce(selection);
    const std::optional<std::int64_t> head = selection_.head();
    if (hasFocus() && head && *head < rowCount_ && *head <= INT_MAX) {
        QAccessibleEvent focus(this, QAccessible::Focus);
        focus.setChild(int(*head));
        announce(focus);
    }
}

void PlaylistListView::updateSelectedBand()
{
    if (const IndexSet& selected = selectedIndices(); !selected.isEmpty())
        updateRows(*selected.first(), *selected.last());
}

void PlaylistListView::updateRows(std::int64_t first, std::int64_t last)
{
    const std::int64_t offset = scrollOffset();
    const std::int64_t top = std::max<std::int64_t>(first * rowHeight - offset, 0);
    const std::int64_t bottom = std::min<std::int64_t>((last + 1) * rowHeight - offset, viewport()->height());
    if (top < bottom)
        viewport()->update(0, int(top), viewport()->width(), int(bottom - top));
}

} // namespace lh
