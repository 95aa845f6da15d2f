#include "ui/log_list_ctrl.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QItemSelection>
#include <QItemSelectionModel>
#include <QScopedValueRollback>
#include <QScrollBar>

#include <algorithm>
#include <cstdlib>

#include "logmodel/log.h"
#include "ui/column_widths.h"
#include "ui/log_list_model.h"
#include "ui/match_highlight.h"

namespace korv {

// The cache thread's way back to its list: it posts, from the worker, an
// event that the list handles on its own thread.
class LogListNotifySink : public ILogNotifySink {
public:
    explicit LogListNotifySink(QObject* target) : m_target(target) {}

    void PostLogNotify(std::intptr_t lParam) override {
        // postEvent is thread-safe and takes ownership of the event.
        QCoreApplication::postEvent(m_target, new LogNotifyEvent(lParam));
    }

private:
    QObject* m_target;  // the list; it cancels its jobs before it goes
};

}  // namespace korv


CLogListCtrl::CLogListCtrl(QWidget* parent)
    : QTableView(parent),
      m_model(std::make_unique<korv::LogListModel>()),
      m_sink(std::make_unique<korv::LogListNotifySink>(this)) {
    setModel(m_model.get());
    m_highlighter = new korv::MatchHighlightDelegate(this);
    setItemDelegate(m_highlighter);
    m_model->SetMissHandler([this] {
        ++m_missedCells;
        QueueVisiblePage();
    });

    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setSortingEnabled(false);
    // One row per scroll step keeps the scroll position equal to the top row.
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);

    // Every row has the same height, so the view never measures rows: a
    // million rows cost no more to scroll than a hundred.
    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(fontMetrics().height() + 4);

    QHeaderView* columns = horizontalHeader();
    columns->setSectionsMovable(true);  // header drag-and-drop of columns
    columns->setStretchLastSection(false);
    columns->setHighlightSections(false);
    columns->setMinimumSectionSize(0);  // a width of 0 hides a column
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    connect(columns, &QHeaderView::sectionResized, this,
            [this](int column, int, int newWidth) { OnSectionResized(column, newWidth); });
    connect(columns, &QHeaderView::sectionMoved, this, [this] { FillLastColumn(); });

    // A page whose cells still miss after the cache thread answered is not
    // queued again until the view shows another page.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { m_queuedPage = {}; });
}

CLogListCtrl::~CLogListCtrl() {
    if (m_pLog) {
        m_cacheThread.Thread().Cancel(m_pLog);  // no post to m_sink after this
    }
    setModel(nullptr);
}

void CLogListCtrl::SetLog(CLog* log) {
    if (m_pLog) {
        m_cacheThread.Thread().Cancel(m_pLog);
    }
    m_pLog = log;
    m_saved = {};
    m_queuedPage = {};
    m_model->SetLog(log);
    RebuildColumns();
    if (log) {
        SetItemCount(log->IsOpen() ? log->GetVisibleCount() : 0);
    }
}

void CLogListCtrl::RebuildColumns() {
    m_extraColumns = {-1, -1, -1};
    m_fillColumn = -1;  // the columns are another log's now
    m_fillSizedByUser = false;
    if (!m_pLog) {
        return;
    }
    const int logColumns = m_model->NumberColumn();
    const std::vector<HDR_INFO>& header = m_pLog->GetHeader().m_columns;
    for (int i = 0; i < logColumns; ++i) {
        // A module's proposal counts where it is wider than the list's own.
        const int proposed = i < static_cast<int>(header.size()) ? header[static_cast<size_t>(i)].width : 0;
        int width = StartWidth(i, std::max(kLogColumnWidth, proposed));
        if (i == 0 && m_pLog->GetViewMode() == LOG_VIEW_LIST) {
            width = std::max(width, korv::CellWidthFor(*this, korv::WidestRecordTimeSample()));
        }
        SetSectionWidth(i, width);
    }
    m_extraColumns = {m_model->NumberColumn(), m_model->FlagsColumn(), m_model->TypeColumn()};
    for (int extra = 0; extra < 3; ++extra) {
        m_defaultWidths[extra] = StartWidth(m_extraColumns[extra], kDefaultWidths[extra]);
        SetSectionWidth(m_extraColumns[extra], m_defaultWidths[extra]);
    }
    std::vector<int> order{m_extraColumns.begin(), m_extraColumns.end()};
    for (int i = 0; i < logColumns; ++i) {
        order.push_back(i);
    }
    SetColumnOrderArray(order);
    ShowColumn(kExtraNumber, false);
    FillLastColumn();
}

void CLogListCtrl::SetItemCount(int count) {
    m_queuedPage = {};
    m_model->SetItemCount(count);
}

int CLogListCtrl::GetItemCount() const { return m_model->ItemCount(); }

void CLogListCtrl::ToggleColumn(int extra) {
    if (extra < 0 || extra > 2) {
        return;
    }
    const bool hide = m_pLog && GetColumnWidth(m_extraColumns[extra]) != 0;
    ShowColumn(extra, !hide);
}

void CLogListCtrl::ShowColumn(int extra, bool show) {
    if (extra < 0 || extra > 2) {
        return;
    }
    SetSectionWidth(m_extraColumns[extra], show ? m_defaultWidths[extra] : 0);
}

int CLogListCtrl::StartWidth(int column, int originalPixels) const {
    return std::max(korv::ScaleDialogPixels(originalPixels, fontMetrics()),
                    horizontalHeader()->sectionSizeHint(column));
}

bool CLogListCtrl::IsColumnVisible(int extra) const {
    if (!m_pLog || extra < 0 || extra > 2 || m_extraColumns[extra] < 0) {
        return false;
    }
    return GetColumnWidth(m_extraColumns[extra]) != 0;
}

int CLogListCtrl::HasSelection() const {
    int first = -1;
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        if (first < 0 || range.top() < first) {
            first = range.top();
        }
    }
    return first + 1;
}

std::vector<int> CLogListCtrl::GetSelectedPositions() const {
    std::vector<int> rows;
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row) {
            rows.push_back(row);
        }
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void CLogListCtrl::SelectAll() { selectAll(); }

CLogListCtrl::RowKey CLogListCtrl::KeyOfRow(int position) const {
    RowKey key;
    if (!m_pLog || position < 0 || position >= m_pLog->GetVisibleCount()) {
        return key;
    }
    if (m_pLog->IsOpen() && !m_pLog->IsDirectory()) {
        if (const REC_INFO_BASE* info = m_pLog->GetRow(position)) {
            key.valid = true;
            key.record = info->record;
            key.row = info->row;
            key.auxiliary = info->auxiliary;
        }
    } else {
        key.file = m_pLog->GetDirectoryRowFile(position);
        key.valid = !key.file.empty();
    }
    return key;
}

int CLogListCtrl::PositionOfKey(const RowKey& key) const {
    if (!key.valid || !m_pLog) {
        return -1;
    }
    const int count = std::min(GetItemCount(), m_pLog->GetVisibleCount());
    for (int row = 0; row < count; ++row) {
        if (KeyOfRow(row) == key) {
            return row;
        }
    }
    return -1;
}

CLogListCtrl::Place CLogListCtrl::TakePlace() const {
    Place place;
    if (!m_pLog) {
        return place;
    }
    const std::vector<int> selected = GetSelectedPositions();
    place.keys.reserve(selected.size());
    for (int row : selected) {
        if (RowKey key = KeyOfRow(row); key.valid) {
            place.keys.push_back(std::move(key));
        }
    }
    std::sort(place.keys.begin(), place.keys.end());
    place.top = KeyOfRow(GetTopIndex());
    const QModelIndex current = currentIndex();
    place.current = current.isValid() ? KeyOfRow(current.row()) : RowKey{};
    place.currentColumn = current.isValid() ? current.column() : 0;
    place.atTop = verticalScrollBar()->value() == 0;
    place.valid = true;
    return place;
}

void CLogListCtrl::SaveSelection() { m_saved = TakePlace(); }

void CLogListCtrl::RestoreSelection() {
    if (m_saved.valid) {
        const Place saved = std::move(m_saved);
        m_saved = {};
        PutPlace(saved, false);
    }
}

namespace {

// How far apart two rows of a file log are in record order (rows of one record count less
// than a record).
std::uint64_t RecordDistance(const korv::RowKey& a, const korv::RowKey& b) {
    const auto records = std::uint64_t(std::abs(std::int64_t(a.record) - std::int64_t(b.record)));
    const auto rows = std::uint64_t(std::abs(std::int64_t(a.row) - std::int64_t(b.row)));
    return (records << 20) + std::min<std::uint64_t>(rows, (1u << 20) - 1);
}

}  // namespace

void CLogListCtrl::PutPlace(const Place& place, bool chosenAnew) {
    if (!m_pLog || !place.valid) {
        return;
    }
    int remembered = -1;
    int current = -1;
    QItemSelection selection;
    const int count = std::min(GetItemCount(), m_pLog->GetVisibleCount());
    const int lastColumn = m_model->columnCount() - 1;
    int runStart = -1;
    auto endRun = [&](int end) {
        if (runStart >= 0) {
            selection.select(m_model->index(runStart, 0), m_model->index(end - 1, lastColumn));
            runStart = -1;
        }
    };
    // Keys are unique per row, so once every saved key has been met the rest
    // of a million-row list need not be looked at.
    std::size_t found = 0;
    int row = 0;
    for (; row < count; ++row) {
        if (found == place.keys.size() && (remembered >= 0 || !place.top.valid) &&
            (current >= 0 || !place.current.valid)) {
            break;
        }
        const RowKey key = KeyOfRow(row);
        const bool selected = key.valid && std::binary_search(place.keys.begin(), place.keys.end(), key);
        found += selected ? 1 : 0;
        if (key.valid && remembered < 0 && key == place.top) {
            remembered = row;
        }
        if (key.valid && current < 0 && key == place.current) {
            current = row;
        }
        if (selected && runStart < 0) {
            runStart = row;
        } else if (!selected) {
            endRun(row);
        }
    }
    endRun(row);
    QItemSelectionModel* model = selectionModel();
    model->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (current >= 0) {
        // The focus row (and the anchor of Shift+arrow) follows its record too.
        model->setCurrentIndex(m_model->index(current, std::max(0, place.currentColumn)),
                               QItemSelectionModel::NoUpdate);
    }

    const bool stayAtTop = place.atTop && (chosenAnew || m_bAutoScroll);
    if (chosenAnew && !stayAtTop && remembered < 0 && place.top.valid && place.top.file.empty()) {
        // The top record no longer passes: the row nearest to it in record order takes its place.
        std::uint64_t best = UINT64_MAX;
        for (int p = 0; p < count; ++p) {
            const RowKey key = KeyOfRow(p);
            if (key.valid && RecordDistance(key, place.top) < best) {
                best = RecordDistance(key, place.top);
                remembered = p;
            }
        }
    }
    updateGeometries();  // the scroll range must know of rows just added
    QScrollBar* bar = verticalScrollBar();
    if (stayAtTop) {
        bar->setValue(0);
    } else if (remembered >= 0) {
        bar->setValue(bar->value() + (remembered - GetTopIndex()));
    }
}

void CLogListCtrl::RefreshColumnTitles() {
    m_queuedPage = {};
    m_model->RefreshColumnTitles();
    viewport()->update();
}

void CLogListCtrl::SetHighlightCriteria(const std::vector<CLogFilterData>& criteria) {
    m_highlighter->SetCriteria(criteria);
    viewport()->update();
}

void CLogListCtrl::SetMarks(const korv::RowMarks* marks) {
    m_model->SetMarks(marks);
    viewport()->update();
}

QString CLogListCtrl::GetItemText(int row, int column) const { return m_model->CellText(row, column); }

int CLogListCtrl::GetColumnCount() const { return m_model->columnCount(); }

int CLogListCtrl::GetColumnWidth(int column) const {
    if (column < 0 || column >= GetColumnCount()) {
        return 0;
    }
    if (column == m_fillColumn && !m_fillSizedByUser) {
        return m_fillOwnWidth;  // the free width it took is the window's, not the column's
    }
    return horizontalHeader()->sectionSize(column);
}

void CLogListCtrl::SetColumnWidth(int column, int width) { SetSectionWidth(column, width); }

void CLogListCtrl::SetSectionWidth(int column, int width) {
    if (column < 0 || column >= GetColumnCount() || width < 0) {
        return;
    }
    if (column == m_fillColumn) {
        m_fillOwnWidth = width;  // a width given, not one the user dragged
    }
    {
        const QScopedValueRollback<bool> own(m_resizingSection, true);
        horizontalHeader()->resizeSection(column, width);
    }
    FillLastColumn();
}

void CLogListCtrl::OnSectionResized(int column, int newWidth) {
    if (m_resizingSection) {
        return;
    }
    // The user dragged (or double-clicked) a column's edge.
    if (column == m_fillColumn) {
        m_fillSizedByUser = true;
        m_fillOwnWidth = newWidth;
    }
    FillLastColumn();
}

void CLogListCtrl::FillLastColumn() {
    if (m_resizingSection || !m_pLog || GetColumnCount() == 0) {
        return;
    }
    QHeaderView* header = horizontalHeader();
    // A width of 0 hides a column, so the last shown one is the last with a width.
    int last = -1;
    for (int visual = GetColumnCount() - 1; visual >= 0 && last < 0; --visual) {
        const int column = header->logicalIndex(visual);
        if (column == m_fillColumn ? m_fillOwnWidth > 0 : header->sectionSize(column) > 0) {
            last = column;
        }
    }
    const QScopedValueRollback<bool> own(m_resizingSection, true);
    if (last != m_fillColumn) {
        // Another column is last now (moved, shown or hidden): the former one gets its own
        // width back, and the user's sizing held for that one alone.
        if (m_fillColumn >= 0 && m_fillColumn < GetColumnCount()) {
            header->resizeSection(m_fillColumn, m_fillOwnWidth);
        }
        m_fillColumn = last;
        m_fillSizedByUser = false;
        m_fillOwnWidth = last >= 0 ? header->sectionSize(last) : 0;
    }
    if (last < 0 || m_fillSizedByUser) {
        return;
    }
    const int others = header->length() - header->sectionSize(last);
    const int width = std::max(m_fillOwnWidth, viewport()->width() - others);
    if (header->sectionSize(last) != width) {
        header->resizeSection(last, width);
    }
}

std::vector<int> CLogListCtrl::GetColumnOrderArray() const {
    std::vector<int> order;
    const QHeaderView* header = horizontalHeader();
    const int n = GetColumnCount();
    order.reserve(static_cast<std::size_t>(n));
    for (int visual = 0; visual < n; ++visual) {
        order.push_back(header->logicalIndex(visual));
    }
    return order;
}

bool CLogListCtrl::SetColumnOrderArray(std::span<const int> order) {
    const int n = GetColumnCount();
    if (n == 0 || order.size() != static_cast<std::size_t>(n)) {
        return false;
    }
    std::vector<bool> seen(order.size(), false);
    for (int column : order) {
        if (column < 0 || column >= n || seen[static_cast<std::size_t>(column)]) {
            return false;
        }
        seen[static_cast<std::size_t>(column)] = true;
    }
    QHeaderView* header = horizontalHeader();
    for (int visual = 0; visual < n; ++visual) {
        const int from = header->visualIndex(order[static_cast<std::size_t>(visual)]);
        if (from != visual) {
            header->moveSection(from, visual);
        }
    }
    return true;
}

int CLogListCtrl::GetExtraColumn(int extra) const {
    return extra >= 0 && extra <= 2 ? m_extraColumns[extra] : -1;
}

int CLogListCtrl::GetTopIndex() const { return std::max(0, rowAt(0)); }

int CLogListCtrl::GetCountPerPage() const {
    const int height = verticalHeader()->defaultSectionSize();
    return height > 0 ? viewport()->height() / height : 0;
}

void CLogListCtrl::QueueVisiblePage() {
    if (!m_pLog) {
        return;
    }
    const int first = GetTopIndex();
    // Both ends inclusive, so the partly shown row at the bottom is covered.
    const Page page{first, first + GetCountPerPage()};
    if (page == m_queuedPage) {
        return;  // queued already, or answered and still missing: do not spin
    }
    m_queuedPage = page;
    m_cacheThread.Thread().Queue(m_pLog, m_sink.get(), page.first, page.last);
}

bool CLogListCtrl::event(QEvent* event) {
    if (event->type() == korv::LogNotifyEvent::kType) {
        viewport()->update();
        return true;
    }
    return QTableView::event(event);
}

bool CLogListCtrl::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Resize) {
        // The window, or a scroll bar coming or going, changed the free width.
        const bool handled = QTableView::viewportEvent(event);
        FillLastColumn();
        return handled;
    }
    if (event->type() != QEvent::Paint) {
        return QTableView::viewportEvent(event);
    }
    const int missedBefore = m_missedCells;
    const bool handled = QTableView::viewportEvent(event);
    if (m_missedCells == missedBefore && GetItemCount() > 0 && m_model->columnCount() > 0) {
        emit RowsPainted();
    }
    return handled;
}

void CLogListCtrl::resizeEvent(QResizeEvent* event) {
    m_queuedPage = {};
    QTableView::resizeEvent(event);
}

void CLogListCtrl::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        event->modifiers() == Qt::NoModifier) {
        // The row that opens is one the copy commands would copy: a selected one.
        const QModelIndex current = currentIndex();
        const std::vector<int> selected = GetSelectedPositions();
        if (current.isValid() && selectionModel()->isRowSelected(current.row(), QModelIndex())) {
            emit RowActivated(current.row());
        } else if (!selected.empty()) {
            emit RowActivated(selected.front());
        }
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

QModelIndex CLogListCtrl::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) {
    if ((cursorAction == MoveHome || cursorAction == MoveEnd) && GetItemCount() > 0) {
        // The first or last row; the column stays, so the view does not scroll sideways.
        const QModelIndex current = currentIndex();
        const int column = current.isValid() ? current.column() : std::max(0, horizontalHeader()->logicalIndexAt(0));
        return m_model->index(cursorAction == MoveHome ? 0 : GetItemCount() - 1, std::max(0, column));
    }
    return QTableView::moveCursor(cursorAction, modifiers);
}

QItemSelectionModel::SelectionFlags CLogListCtrl::selectionCommand(const QModelIndex& index,
                                                                   const QEvent* event) const {
    if (event != nullptr && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<const QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Home || key->key() == Qt::Key_End) && (key->modifiers() & Qt::ControlModifier)) {
            // Ctrl+Home and Ctrl+End select like Home and End; a list has no other meaning for them.
            const QKeyEvent plain(QEvent::KeyPress, key->key(), key->modifiers() & ~Qt::ControlModifier);
            return QTableView::selectionCommand(index, &plain);
        }
    }
    return QTableView::selectionCommand(index, event);
}

void CLogListCtrl::contextMenuEvent(QContextMenuEvent* event) {
    const QModelIndex index =
        event->reason() == QContextMenuEvent::Mouse ? indexAt(event->pos()) : currentIndex();
    m_rightClicked = {index.isValid() ? index.row() : -1, index.isValid() ? index.column() : -1};
    emit ContextMenuRequested(event->globalPos());
    event->accept();
}
