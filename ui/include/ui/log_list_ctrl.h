#pragma once
// The list of the opened log's rows, in the main window and in every record
// window. It stores no row text: the model asks the attached CLog for each
// visible cell, and when the log cannot answer yet the visible page goes to
// the process-wide cache thread, whose notification repaints the list.
//
// Columns: the log's own columns 0..n-1, then the list's three own columns
// No. (n), Flags (n+1) and Type (n+2), shown first: No., Flags, Type, then
// the log's columns. A column of width 0 is hidden; the user may drag it
// open again or move columns by dragging their headers.
//
// Threads: everything here runs on the window's thread. The only other
// thread that reaches a list is the cache thread, and only through the
// notify sink, which posts an event to the list.

#include <QEvent>
#include <QPoint>
#include <QString>
#include <QTableView>

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "logmodel/filter_data.h"
#include "logmodel/log_cache_thread.h"
#include "ui/row_key.h"

class CLog;

namespace korv {

class LogListModel;
class LogListNotifySink;
class MatchHighlightDelegate;
class RowMarks;

// WM_LOG_NOTIFY as a Qt event: the workers post it to a window with the
// lParam of the message (0 new rows, 1 end of a pass, 2 a cached range).
class LogNotifyEvent : public QEvent {
public:
    static constexpr QEvent::Type kType = static_cast<QEvent::Type>(QEvent::User + 70);

    explicit LogNotifyEvent(std::intptr_t lParam) : QEvent(kType), m_lParam(lParam) {}
    std::intptr_t LParam() const { return m_lParam; }

private:
    std::intptr_t m_lParam;
};

}  // namespace korv

class CLogListCtrl : public QTableView {
    Q_OBJECT

public:
    // Index of the list's own columns in ToggleColumn, ShowColumn and
    // IsColumnVisible.
    static constexpr int kExtraNumber = 0;  // "No."
    static constexpr int kExtraFlags = 1;   // "Flags"
    static constexpr int kExtraType = 2;    // "Type"

    // A cell of the list: visible position and column number (not display
    // position); -1 where there is none.
    struct Cell {
        int row = -1;
        int column = -1;
    };

    using RowKey = korv::RowKey;

    // Takes a reference on the shared cache thread (the first list starts
    // it, the last one stops it).
    explicit CLogListCtrl(QWidget* parent = nullptr);
    ~CLogListCtrl() override;
    CLogListCtrl(const CLogListCtrl&) = delete;
    CLogListCtrl& operator=(const CLogListCtrl&) = delete;

    // Attaches a log (not owned; it must stay open until SetLog(nullptr) or
    // the list goes: both drop the log's cache job) or detaches with null, and rebuilds the columns: the
    // log's columns at width 100, No. hidden, Flags 30, Type 70 (scaled to
    // the font and widened to their titles and a record time, see
    // column_widths.h), the item count the log's visible row count. Forgets
    // the saved selection.
    void SetLog(CLog* log);
    CLog* GetLog() const { return m_pLog; }

    // The list's row count, set by the window after the log's Apply (the
    // list never reads it from the log on its own, so rows appear when the
    // window says so). Growing and shrinking keep the selection of the rows
    // that stay.
    void SetItemCount(int count);
    int GetItemCount() const;

    // extra: kExtraNumber, kExtraFlags or kExtraType. ToggleColumn hides a
    // shown column of an attached log and shows it at its default width
    // otherwise; ShowColumn sets the default width or 0.
    void ToggleColumn(int extra);
    void ShowColumn(int extra, bool show);
    bool IsColumnVisible(int extra) const;

    // First selected position + 1; 0 when nothing is selected.
    int HasSelection() const;
    // Selected positions, ascending.
    std::vector<int> GetSelectedPositions() const;
    void SelectAll();  // every row; the QTableView slot selects the same

    // Where the user is in the list, by record: the selected rows (sorted),
    // the top row, the current row and whether the view was at the very top.
    struct Place {
        std::vector<RowKey> keys;
        RowKey top;
        RowKey current;
        int currentColumn = 0;
        bool atTop = false;
        bool valid = false;
    };
    Place TakePlace() const;
    // Selects exactly the rows of `place` that are shown and puts its top row
    // back at the top. `chosenAnew` (the rows were chosen again: a filter,
    // zone or language change): a view that was at the very top stays there,
    // and a top row no longer shown gives its place to the nearest row in
    // record order. Otherwise (rows arrived) with m_bAutoScroll set and the
    // view at the very top, it stays at the top so that the newest rows show.
    void PutPlace(const Place& place, bool chosenAnew);

    // Keeps the place across a change of the row list (new rows).
    void SaveSelection();
    void RestoreSelection();

    // The key of the row at a visible position; invalid when there is none.
    RowKey KeyOfRow(int position) const;
    // The visible position of the row with this key; -1 when it is not shown.
    int PositionOfKey(const RowKey& key) const;

    // Sets the titles of the log's columns again (after a language change)
    // and repaints; No., Flags and Type keep theirs.
    void RefreshColumnTitles();

    // The criteria whose matches the cells highlight (the filter's and the
    // last search's); repaints.
    void SetHighlightCriteria(const std::vector<CLogFilterData>& criteria);
    const korv::MatchHighlightDelegate& Highlighter() const { return *m_highlighter; }
    // The marks the Flags column shows (not owned; null for none); repaints.
    void SetMarks(const korv::RowMarks* marks);

    // The text of a cell as the list shows it (empty while it is not cached).
    QString GetItemText(int row, int column) const;

    // The cell under the pointer at the last context-menu request.
    Cell GetRightClickedCell() const { return m_rightClicked; }

    // Columns as the settings store them: header item count, width of each
    // column number, and the column shown at each display position. The last
    // shown column takes the width left free in the list until the user sizes
    // it; its width here is its own, without that free width.
    int GetColumnCount() const;
    int GetColumnWidth(int column) const;
    void SetColumnWidth(int column, int width);
    std::vector<int> GetColumnOrderArray() const;
    // False, changing nothing, unless `order` holds every column once.
    bool SetColumnOrderArray(std::span<const int> order);
    // Column number of No., Flags or Type; -1 with no log attached.
    int GetExtraColumn(int extra) const;

    // The first row on screen and how many fit wholly (0 when empty).
    int GetTopIndex() const;
    int GetCountPerPage() const;

    // When set, RestoreSelection leaves the view where it is. The main
    // window toggles and persists it.
    bool m_bAutoScroll = false;

signals:
    // A context menu was asked for at `globalPos`; GetRightClickedCell()
    // tells the cell (row -1 when not over a row).
    void ContextMenuRequested(QPoint globalPos);
    // Enter was pressed: the current row when it is selected, else the first
    // selected row (double-click is Qt's own doubleClicked).
    void RowActivated(int row);
    // A paint of the list drew at least one row and every cell it asked
    // for was there (none waited for the cache thread).
    void RowsPainted();

protected:
    // Qt's type-to-search would ask for the text of every row, decoding the
    // whole log on this thread: the list has no keyboard search.
    void keyboardSearch(const QString&) override {}
    void keyPressEvent(QKeyEvent* event) override;
    // Keys move and select as in any list: Home and End (with or without
    // Ctrl) go to the first and last row in the same column, selecting it;
    // Shift extends, Ctrl+arrows move alone and Ctrl+Space toggles.
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;
    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // A range of visible positions queued to the cache thread, both ends
    // inclusive; {-1, -1} for none.
    struct Page {
        int first = -1;
        int last = -1;
        bool operator==(const Page&) const = default;
    };

    void QueueVisiblePage();
    void RebuildColumns();
    void SetSectionWidth(int column, int width);
    // Gives the last shown column the free width of the viewport (or back its
    // own width when the list narrows); nothing once the user sized it.
    void FillLastColumn();
    void OnSectionResized(int column, int newWidth);

    // The width, in pixels of this font, of a column given `originalPixels`
    // of the original dialog font, and never narrower than its title.
    int StartWidth(int column, int originalPixels) const;

    // Pixels of the original dialog font: a log column, and No., Flags, Type.
    static constexpr int kLogColumnWidth = 100;
    static constexpr std::array<int, 3> kDefaultWidths{50, 30, 70};

    // Declared first so that it goes last: the last list stops the worker.
    CLogCacheThread::User m_cacheThread;
    CLog* m_pLog = nullptr;  // attached log, not owned
    std::unique_ptr<korv::LogListModel> m_model;
    std::unique_ptr<korv::LogListNotifySink> m_sink;  // the cache thread's way back here
    korv::MatchHighlightDelegate* m_highlighter = nullptr;  // owned through Qt's parent chain
    std::array<int, 3> m_extraColumns{-1, -1, -1};
    std::array<int, 3> m_defaultWidths = kDefaultWidths;  // of No., Flags, Type, scaled to the font in use
    // The snapshot of SaveSelection.
    Place m_saved;
    Cell m_rightClicked;
    Page m_queuedPage;  // last page queued since the view last moved or changed
    int m_missedCells = 0;  // cells the model could not answer, counted to tell a complete paint
    // The last shown column, which fills the free width: its column number (-1 for none
    // yet), its own width, whether the user sized it, and whether a resize is this
    // list's own (filling, or a width it was given) rather than the user's.
    int m_fillColumn = -1;
    int m_fillOwnWidth = 0;
    bool m_fillSizedByUser = false;
    bool m_resizingSection = false;
};
