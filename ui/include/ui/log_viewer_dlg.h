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
#include "logmodel/log_updater_thread.h"
#include "ui/command_line.h"
#include "ui/commands.h"
#include "ui/log_filter_dlg.h"
#include "ui/row_key.h"
#include "ui/time_zone_dlg.h"
#include "ui/viewer_text.h"

#include <memory>
#include <vector>

class CLogListCtrl;
class QMenu;
class QMenuBar;

namespace korv {
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

    // --- State for the application and for tests --------------------------------------
    CLog& GetLog() { return m_log; }
    CLogUpdaterThread& GetUpdater() { return m_updater; }
    CLogListCtrl* GetList() const { return m_pList; }
    korv::ViewerStatusBar* GetStatusBar() const { return m_pStatusBar; }
    QMenuBar* GetMenuBar() const { return m_pMenuBar; }
    QMenu* GetLogsMenu() const { return m_pLogsMenu; }
    QMenu* GetLanguageMenu() const { return m_pLanguageMenu; }
    CLogFilterExDlg* GetFindDialog() const { return m_pFindDlg; }
    const std::vector<korv::LanguageEntry>& GetLanguages() const { return m_languages; }
    int GetUtcOffset() const { return m_nUtcOffset; }
    const CLogFilterData& GetFindCriteria() const { return m_findCriteria; }
    // The child windows this window opened that are still open.
    QList<CLogViewerDlg*> ChildWindows() const;

    // Time Zone without its dialog: applies offset `hoursEast` as the command does.
    void ApplyUtcOffset(int hoursEast);

    // Escape ends nothing; only Exit and the close button set this first.
    void reject() override;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // The copy commands; a record window copies through GetRowCellsLimited.
    virtual void OnCopy();
    virtual void OnCopyAll();

private:
    void BuildMenus();
    void BuildLogsMenu();
    void BuildLanguageMenu();
    void OnLogNotify(std::intptr_t lParam);
    // Handles the notifications a search or an export held back.
    void OnDeferredNotifications();
    void OnChangeTimer();
    void OnProgressTimer();
    void OnFilterCommand(int id);
    void OnViewCommand(int id);
    void OnLanguageCommand(int id);
    void OnTimeZone();
    void OnOpenFile();
    void OnOpenDir();
    void OnFind();
    void OnFindFromDialog();
    void Search(bool upwards);
    void OnSelectAll();
    // Export...: the rows go out while the window repaints and shows the
    // progress in pane 0; the log stays as it is until the export ends.
    void OnExport();
    void OnSelectionChanged();
    void OnContextMenu(const QPoint& globalPos);
    // After the criteria changed: re-read in the background for a text
    // criterion, else only the item count changes.
    void RescanOrRecount();
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
    // The log was opened before its chain was walked and the walk found it broken: open it
    // again the ordinary way, which fails there and offers the repair.
    void ReopenBrokenLog();
    std::vector<QString> ColumnTitles() const;
    korv::EditMenuFacts EditFacts() const;
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
    QPointer<CLogFilterExDlg> m_pFindDlg;  // the modeless find dialog, made on first Find
    QPointer<CTimeZone> m_pTimeZoneDlg;

    CLogFilterData m_findCriteria;
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
    // So does an export, which repaints the window as it goes.
    bool m_bExporting = false;
    bool m_bNotifyDeferred = false;
    bool m_bPassEndDeferred = false;
    // Pane 0's answer to the user's last command ("Not found"), shown instead
    // of "Done" until the next command or the next pass.
    QString m_paneMessage;

    QTimer m_changeTimer;    // ID_TIMER_CHANGE, 1000 ms
    QTimer m_progressTimer;  // ID_TIMER_PROGRESS, 100 ms
};
