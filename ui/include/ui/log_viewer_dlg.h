#pragma once
// The viewer window: the list of the opened log above a six-pane status bar.
// It owns the opened log and its updater thread and turns the user's
// commands into operations on them. The application runs one main window
// modally; further windows of this class (a log of a directory listing) or
// of CLogViewerDlgDetail (one record) are opened modeless as its children,
// get no menu bar, and are destroyed with it or when the user closes them.
//
// Threads: everything here runs on the user-interface thread. The updater
// reaches the window only through its notify sink, which posts a
// LogNotifyEvent; before the window changes, re-filters or closes its log it
// pauses the updater.

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QTimer>

#include "logmodel/filter_data.h"
#include "logmodel/log.h"
#include "logmodel/log_type.h"
#include "logmodel/log_updater_thread.h"
#include "ui/clipboard.h"
#include "ui/command_line.h"
#include "ui/commands.h"
#include "ui/log_list_ctrl.h"
#include "ui/log_filter_dlg.h"
#include "ui/row_key.h"
#include "ui/row_marks.h"
#include "ui/time_zone_dlg.h"
#include "ui/viewer_text.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QMenu;
class QLayout;
class QMenuBar;

namespace korv {
class TimelineStrip;
class TimelineWindow;
class ViewerStatusBar;
class WindowNotifySink;
}  // namespace korv

class CLogViewerDlg : public QDialog {
    Q_OBJECT

public:
    // `owner` is the main window for a child window, null for the main window.
    explicit CLogViewerDlg(QWidget* owner = nullptr);
    ~CLogViewerDlg() override;
    CLogViewerDlg(const CLogViewerDlg&) = delete;
    CLogViewerDlg& operator=(const CLogViewerDlg&) = delete;

    // The request opened by OnInitDialog; read only during that call, so it
    // may live on the caller's stack.
    void SetStartupRequest(const CCommandLineInfo* request) { m_pStartup = request; }

    // Builds the window's contents, starts the timers and opens the start-up
    // request. Runs once; later calls do nothing.
    virtual bool OnInitDialog();

    // Opens a file or directory ("FILE:N" shows record N alone); true when a
    // log is open afterwards.
    bool OpenLog(const QString& path);
    // Opens entry `index` of the log-type table from the product's Logs directory.
    bool OpenProductLog(int index);
    void CloseLog();
    void UpdateTitle(const QString& name, const QString& detail);
    void UpdateStatusBar();
    void RecalcLayout();

    // Runs command `id` as the menus, accelerators and the find dialog do.
    void OnCommand(int id);
    // Sets every item of `popup` enabled and checked as the rules say now.
    void UpdateMenuState(QMenu* popup);
    // The context menu of the list (menu 133 or 135) for the cell last
    // right-clicked, built with its enable rules; owned by the caller.
    std::unique_ptr<QMenu> BuildListContextMenu();
    // A row was double-clicked: a directory row opens a window on its file, a
    // file row a record window on its record.
    void ShowRecordWindow(int row);
    // A timeline window (a child of this one) on the logs at `paths`, or on every
    // log the product service reports; null when no log opened (the user is told).
    korv::TimelineWindow* OpenTimeline(const std::vector<std::string>& paths);
    korv::TimelineWindow* OpenProductTimeline();

    // --- State for the application and for tests --------------------------------------
    CLog& GetLog() { return m_log; }
    CLogUpdaterThread& GetUpdater() { return m_updater; }
    CLogListCtrl* GetList() const { return m_pList; }
    korv::ViewerStatusBar* GetStatusBar() const { return m_pStatusBar; }
    QMenuBar* GetMenuBar() const { return m_pMenuBar; }
    QMenu* GetLogsMenu() const { return m_pLogsMenu; }
    QMenu* GetLanguageMenu() const { return m_pLanguageMenu; }
    CLogFilterExDlg* GetFindDialog() const { return m_pFindDlg; }
    korv::TimelineStrip* GetTimeline() const { return m_pTimeline; }
    const std::vector<korv::LanguageEntry>& GetLanguages() const { return m_languages; }
    int GetUtcOffset() const { return m_nUtcOffset; }
    const CLogFilterData& GetFindCriteria() const { return m_findCriteria; }
    const korv::RowMarks& GetMarks() const { return m_marks; }
    // The child windows this window opened that are still open.
    QList<CLogViewerDlg*> ChildWindows() const;

    // Time Zone without its dialog: applies offset `hoursEast` as the command does, in
    // every viewer window.
    void ApplyUtcOffset(int hoursEast);
    // The offset (hours east of UTC) record times are shown in now: the process's.
    static int ShownUtcOffset();
    // Makes `criteria` the log's filter as Filter › Advanced does (selection kept by record).
    void ApplyFilterCriteria(const CLogFilterData& criteria);

    // Logs of at least `bytes` bytes show their newest page before their chain is walked
    // (16 MiB unless a test lowers it).
    void SetIndexLaterFrom(std::uint64_t bytes);

    // Escape ends nothing; only Exit and the close button set this first.
    void reject() override;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // The copy commands take the cells from this source; a record window
    // copies through GetRowCellsLimited.
    virtual korv::CellSource CopySource() const { return korv::CellSource::kFull; }
    void OnCopy();
    void OnCopyAll();

private:
    void BuildMenus();
    void BuildLogsMenu();
    void BuildLanguageMenu();
    void OnLogNotify(std::intptr_t lParam);
    // Handles the notifications a search or an export held back.
    void OnDeferredNotifications();
    void OnChangeTimer();
    void OnProgressTimer();
    // Pane 0 while a find runs: how far it has got.
    void ShowFindProgress();
    void OnFilterCommand(int id);
    void OnViewCommand(int id);
    void OnLanguageCommand(int id);
    void OnTimeZone();
    void OnOpenFile();
    void OnOpenDir();
    // File > Open Timeline...: several files, or every log the service reports.
    void OnOpenTimeline();
    void OnFind();
    void OnFindFromDialog();
    void Search(bool upwards);
    void OnSelectAll();
    // Export...: the rows go out while the window repaints and shows the
    // progress in pane 0; the log stays as it is until the export ends.
    void OnExport();
    // Export; with `marked`, the visible marked rows alone.
    void ExportRows(bool marked);
    void OnSelectionChanged();
    void OnContextMenu(const QPoint& globalPos);
    // After the criteria changed: re-read in the background for a text
    // criterion (true), else only the item count changes (false).
    bool RescanOrRecount();
    // After the rows were chosen anew (filter, zone, language): puts `place`
    // back at once, and again on the rows of a reload when `reloading`.
    void KeepPlace(const CLogListCtrl::Place& place, bool reloading);
    void ResumeAfterPause();
    // Attaches the opened log to the list and the updater, loads the stored
    // list settings and asks for the first pass.
    void StartFollowing();
    void FillFilterDialog(CLogFilterExDlg& dlg);
    // Refills the find dialog's column list for the log now open (its
    // columns or their language changed), keeping the user's criteria.
    void RefreshFindColumns();
    // Applies the rows the updater has handed over, keeping the selection
    // and the top row by record in list view.
    void ApplyPendingRows();
    // After the process zone changed: the log reloaded so that every shown time is new.
    void ShowTimesInZone(int hoursEast);
    // The log was opened before its chain was walked and the walk found it broken: open it
    // again as it was opened (by path, or from the Logs menu), which fails there and offers
    // the repair.
    void ReopenBrokenLog();
    // The file a name given to OpenLog means: an existing path as it is, else a bare name
    // below the product's Logs directory. None, with the paths tried in pane 0, when there
    // is no such file.
    std::optional<std::string> ResolveOpenPath(const std::string& name);
    // Opens the log `name` (a path, or a bare name below the Logs directory) whose file is
    // `path`; when that fails, asks whether to repair the file, naming it, and tries once
    // more. False, with the reason in pane 0, when the log stays closed.
    bool OpenOrRepair(const std::string& name, const std::string& path, const LOG_INFO& entry,
                      std::uint32_t flags, int record);
    // Pane 0's answer until the next command or pass.
    void ShowPaneMessage(const QString& text);
    std::vector<QString> ColumnTitles() const;
    korv::EditMenuFacts EditFacts() const;
    // The timeline strip above the list (log_viewer_timeline.cpp).
    void BuildTimeline(QLayout& layout);
    void OnTimelinePeriod(qint64 from, qint64 to);
    void OnTimelineCleared();
    void OnTimelineBucket(qint64 start, qint64 end);
    void ShowTimeline(bool shown);
    // View > Raw Records: opens the log again with raw rows, or with the module's.
    void ShowRawRecords(bool raw);

    // Marks and highlighted matches (log_viewer_marks.cpp).
    // Whether the rows shown can be marked: a whole file log, not a directory
    // listing or a record window.
    bool CanMark() const;
    // The opened log's stored marks, or none.
    void LoadMarks();
    void SaveMarks();
    // After new rows: marks whose record index now holds another record go.
    void DropRewrittenMarks();
    void OnToggleMark();
    void GoToMark(bool upwards);
    void OnClearMarks();
    // The visible positions of marked rows, ascending.
    std::vector<int> MarkedPositions() const;
    void OnCopyMarked();
    void OnExportMarked();
    // Shows the matches of the filter's text and the last search's in the list.
    void RefreshHighlight();
    // Selects the row at `position` alone, makes it current and shows it.
    void SelectOnly(int position);
    // The WM_DESTROY clean-up: log closed, updater stopped, dialogs gone.
    void OnDestroy();
    // The title of the main window (the caption of "Unknown log type.").
    QString MainWindowTitle() const;

    // Destroyed in reverse order: the updater stops before its sink and the
    // log go.
    CLog m_log;
    std::unique_ptr<korv::WindowNotifySink> m_sink;  // posts the workers' notifications here
    CLogUpdaterThread m_updater;

    // Child widgets, owned by this window through Qt's parent chain.
    CLogListCtrl* m_pList = nullptr;
    QMenuBar* m_pMenuBar = nullptr;     // main window only
    QMenu* m_pLogsMenu = nullptr;
    QMenu* m_pLanguageMenu = nullptr;
    korv::ViewerStatusBar* m_pStatusBar = nullptr;
    korv::TimelineStrip* m_pTimeline = nullptr;
    QPointer<CLogFilterExDlg> m_pFindDlg;  // the modeless find dialog, made on first Find
    QPointer<CTimeZone> m_pTimeZoneDlg;

    // The place to put back on the rows of a reload after a filter, zone or
    // language change, until its pass ends.
    CLogListCtrl::Place m_place;
    bool m_bPlacePending = false;
    bool m_bPlaceReplaced = false;  // the reload's rows have replaced the old ones
    // How the open log was opened, so that a reopen opens it the same way: the Logs menu's
    // entry (-1 when by path) or the path asked for.
    int m_nOpenedProduct = -1;
    QString m_openedPath;
    std::uint64_t m_nIndexLaterBytes = CLog::kIndexLaterBytes;
    CLogFilterData m_findCriteria;
    korv::RowMarks m_marks;  // of the file log open; the list's Flags column shows them
    QString m_marksPath;     // the file they belong to; empty when nothing can be marked
    std::uint64_t m_marksCreated = 0;  // that log's creation time (file header), 0 unknown
    int m_nUtcOffset = 0;
    std::vector<korv::LanguageEntry> m_languages;
    int m_nClickRow = -1;
    int m_nClickColumn = -1;
    korv::RowKey m_clickKey;  // the record of m_nClickRow: rows may arrive above it meanwhile
    const CCommandLineInfo* m_pStartup = nullptr;
    bool m_bCloseAllowed = false;
    bool m_bInitialised = false;
    bool m_bDestroyed = false;
    // A search pumps events; commands and log notifications wait for it.
    bool m_bSearching = false;
    // So does an export or a copy, which repaints the window as it goes.
    bool m_bExporting = false;
    // Holds the log still while `work` reads many rows, letting the window
    // repaint whenever `work` calls its yield.
    void HoldLogWhile(const std::function<void(const korv::CopyYieldFn&)>& work);
    // Sets m_bExporting and the log's export mark for its lifetime.
    class LogHold {
    public:
        explicit LogHold(CLogViewerDlg& dlg) : m_dlg(dlg) {
            m_dlg.m_bExporting = true;
            m_dlg.m_log.SetExporting(true);
        }
        ~LogHold() {
            m_dlg.m_log.SetExporting(false);
            m_dlg.m_bExporting = false;
        }
        LogHold(const LogHold&) = delete;
        LogHold& operator=(const LogHold&) = delete;

    private:
        CLogViewerDlg& m_dlg;
    };
    bool m_bNotifyDeferred = false;
    bool m_bPassEndDeferred = false;
    // Pane 0's answer to the user's last command ("Not found"), shown instead
    // of "Done" until the next command or the next pass.
    QString m_paneMessage;

    QTimer m_changeTimer;    // ID_TIMER_CHANGE, 1000 ms
    QTimer m_progressTimer;  // ID_TIMER_PROGRESS, 100 ms
};
