// The viewer window itself: construction, initialisation, layout, title,
// status bar, timers, the workers' notifications, child windows and closing.

#include "ui/log_viewer_dlg.h"

#include "logmodel/log_type.h"
#include "platform/tz.h"
#include "product/module_manager.h"
#include "product/module_requests.h"
#include "resources/ids.h"
#include "resources/resource_data.h"
#include "resources/string_table.h"
#include "resources/texts.h"
#include "ui/help_window.h"
#include "ui/log_filter_dlg.h"
#include "ui/log_list_ctrl.h"
#include "ui/log_viewer_app.h"
#include "ui/log_viewer_dlg_detail.h"
#include "ui/small_dialogs.h"
#include "ui/status_bar.h"
#include "ui/time_zone_dlg.h"
#include "ui/timeline_strip.h"
#include "ui/ui_text.h"
#include "ui/find_placement.h"
#include "ui/window_geometry.h"
#include "ui/window_notify_sink.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMenuBar>
#include <QHeaderView>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>

namespace {

// The settings name of a window's kind of geometry: only a record window has an owner.
QString GeometryKind(const QWidget& window) {
    return window.parentWidget() != nullptr ? QStringLiteral("RecordWindow") : QStringLiteral("MainWindow");
}

// Record times are shown in UTC until the user picks an offset; done once
// per process, before the first window shows a time.
void SetInitialTimeZoneOnce() {
    static std::atomic<bool> done{false};
    if (!done.exchange(true)) {
        korv::platform::set_process_time_zone("UTC+0");
    }
}

std::vector<korv::LanguageEntry> ModuleLanguages() {
    std::vector<std::uint16_t> ids;
    const auto instance = korv::SecondInterfaceHolder().CurrentInstance();
    if (!instance || korv::RequestListLanguages(instance.get(), ids) != 0) {
        return {};
    }
    return korv::BuildLanguageList(ids);
}

}  // namespace

CLogViewerDlg::CLogViewerDlg(QWidget* owner)
    : QDialog(owner), m_sink(std::make_unique<korv::WindowNotifySink>(this)) {
    SetInitialTimeZoneOnce();
    m_languages = ModuleLanguages();
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setWindowIcon(QIcon(korv::IconResourcePath(korv::res::kIconMain)));
    // The newest rows show before the chain of a large log has been walked.
    m_log.SetIndexLater(true);
    korv::SetControlId(this, korv::idd::kMain);
    if (owner != nullptr) {
        // A child window lives until the user closes it (or its owner goes).
        setAttribute(Qt::WA_DeleteOnClose);
    }
    // Between blocks of rows a find lets the window handle its events; pane 0 follows it.
    m_log.SetFindPump([this] {
        ShowFindProgress();
        korv::PumpUiEvents();
    });
    m_changeTimer.setInterval(1000);
    m_progressTimer.setInterval(100);
    connect(&m_changeTimer, &QTimer::timeout, this, &CLogViewerDlg::OnChangeTimer);
    connect(&m_progressTimer, &QTimer::timeout, this, &CLogViewerDlg::OnProgressTimer);
}

CLogViewerDlg::~CLogViewerDlg() { OnDestroy(); }

bool CLogViewerDlg::OnInitDialog() {
    if (m_bInitialised) {
        return true;
    }
    m_bInitialised = true;
    UpdateTitle(QString(), QString());
    // Each new window asks the product service anew which kinds it keeps,
    // once: a first GetLogTable would ask too, and a service that is slow to
    // answer would hold the window up twice as long.
    nsLog::BuildLogTable();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    if (parentWidget() == nullptr) {
        BuildMenus();
        layout->setMenuBar(m_pMenuBar);
    }
    BuildTimeline(*layout);
    m_pList = new CLogListCtrl(this);
    korv::SetControlId(m_pList, korv::ctrl::kLogList);
    layout->addWidget(m_pList, 1);
    m_pStatusBar = new korv::ViewerStatusBar(this);
    layout->addWidget(m_pStatusBar);
    // A window opened after a zone change shows its times in that zone from the start.
    m_nUtcOffset = ShownUtcOffset();
    m_pStatusBar->SetPaneText(5, korv::FormatQString(korv::str::kFmtUtc, {std::int64_t{m_nUtcOffset}}));

    // The window menu's About item (string 101), reached by right-clicking
    // the status bar, the nearest thing to a system-menu entry.
    const QString about = korv::LoadQString(korv::str::kSysMenuAbout);
    if (!about.isEmpty()) {
        auto* action = new QAction(about, m_pStatusBar);
        action->setData(korv::cmd::kSysAbout);
        connect(action, &QAction::triggered, this, [this] { OnCommand(korv::cmd::kSysAbout); });
        m_pStatusBar->addAction(action);
        m_pStatusBar->setContextMenuPolicy(Qt::ActionsContextMenu);
    }

    connect(m_pList, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { ShowRecordWindow(index.row()); });
    connect(m_pList, &CLogListCtrl::RowActivated, this, &CLogViewerDlg::ShowRecordWindow);
    connect(m_pList, &CLogListCtrl::ContextMenuRequested, this, &CLogViewerDlg::OnContextMenu);
    connect(m_pList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CLogViewerDlg::OnSelectionChanged);

    // A record window is sized as record windows were last, the main window as it was.
    if (!korv::RestoreWindowGeometry(*this, GeometryKind(*this))) {
        resize(960, 600);
    }
    UpdateStatusBar();
    RecalcLayout();
    m_changeTimer.start();
    m_progressTimer.start();
    m_updater.SetWindow(m_sink.get());
    if (m_pStartup != nullptr && m_pStartup->m_nShellCommand == CCommandLineInfo::FileOpen) {
        OpenLog(m_pStartup->m_strFileName);
    }
    if (CLogViewerApp* app = CLogViewerApp::Instance()) {
        app->RegisterAccelWindow(this);
    }
    korv::HelpWindow::InstallHelpKey(*this, [] { return korv::help::kMainContext; });
    return true;
}

void CLogViewerDlg::RecalcLayout() {
    // The layout keeps the list above the status bar over the full width.
    if (QLayout* l = layout()) {
        l->activate();
    }
}

void CLogViewerDlg::UpdateTitle(const QString& name, const QString& detail) {
    setWindowTitle(korv::MakeWindowTitle(name, detail));
}

void CLogViewerDlg::UpdateStatusBar() {
    if (m_pStatusBar == nullptr) {
        return;
    }
    const bool open = m_log.IsOpen();
    const std::int64_t visible = open ? m_log.GetVisibleCount() : 0;
    const std::int64_t total = open ? m_log.GetTotalCount() : 0;
    const std::int64_t selected = m_pList ? static_cast<std::int64_t>(m_pList->GetSelectedPositions().size()) : 0;
    m_pStatusBar->SetPaneText(1, korv::FormatQString(korv::str::kFmtCount, {visible, total}));
    m_pStatusBar->SetPaneText(2, korv::FormatQString(korv::str::kFmtSelected, {selected}));
    m_pStatusBar->SetPaneText(3, korv::FormatQString(korv::str::kFmtDeleted,
                                                     {std::int64_t{open ? m_log.GetDeletedCount() : 0}}));
    m_pStatusBar->SetPaneText(4, korv::FormatQString(korv::str::kFmtCorrupted,
                                                     {std::int64_t{open ? m_log.GetCorruptedCount() : 0}}));
    // The offset the times are shown in is the process's, whichever window set it.
    m_nUtcOffset = ShownUtcOffset();
    m_pStatusBar->SetPaneText(5, korv::FormatQString(korv::str::kFmtUtc, {std::int64_t{m_nUtcOffset}}));
    // Every change of filter, zone or log ends here; the strip recounts if it was one.
    if (m_pTimeline != nullptr) {
        m_pTimeline->Sync();
    }
}

void CLogViewerDlg::OnSelectionChanged() {
    if (m_pStatusBar != nullptr && m_pList != nullptr) {
        const auto selected = static_cast<std::int64_t>(m_pList->GetSelectedPositions().size());
        m_pStatusBar->SetPaneText(2, korv::FormatQString(korv::str::kFmtSelected, {selected}));
    }
}

void CLogViewerDlg::OnChangeTimer() {
    if (m_bExporting) {
        return;  // the file is read for the export; the next tick looks
    }
    if (m_log.IsOpen() && m_log.HasChanged()) {
        m_updater.RequestUpdate();
    }
}

void CLogViewerDlg::OnProgressTimer() {
    if (m_pStatusBar != nullptr && !m_bExporting) {  // pane 0 shows the export's progress then
        if (m_bSearching) {
            ShowFindProgress();  // the find's pump runs this timer too
            return;
        }
        const bool busy = m_log.IsOpen() && m_updater.IsBusy();
        if (busy) {
            m_paneMessage.clear();
        }
        // Rows the walk has not confirmed are said to be so until it has.
        const bool provisional = m_log.IsOpen() && m_log.RowsProvisional();
        m_pStatusBar->SetPaneText(0, !busy && !m_paneMessage.isEmpty() ? m_paneMessage
                                     : provisional ? korv::Qs(korv::text::kRowsNotConfirmed)
                                                   : korv::ProgressPaneText(busy, m_log.GetProgress()));
    }
}

void CLogViewerDlg::ShowFindProgress() {
    if (m_pStatusBar == nullptr || !m_bSearching) {
        return;
    }
    const QString text = korv::SearchingPaneText(m_log.GetFindProgress());
    if (m_pStatusBar->PaneText(0) != text) {
        m_pStatusBar->SetPaneText(0, text);
    }
}

bool CLogViewerDlg::event(QEvent* e) {
    if (e->type() == korv::LogNotifyEvent::kType) {
        OnLogNotify(static_cast<korv::LogNotifyEvent*>(e)->LParam());
        return true;
    }
    return QDialog::event(e);
}

void CLogViewerDlg::OnLogNotify(std::intptr_t lParam) {
    if (m_bSearching || m_bExporting) {
        // A running search or export walks the visible rows: new rows, and
        // the end of a pass that would stop the updater, wait for its end.
        m_bNotifyDeferred = m_bNotifyDeferred || lParam == LOG_NOTIFY_RESULTS;
        m_bPassEndDeferred = m_bPassEndDeferred || lParam == LOG_NOTIFY_PASS_END;
        return;
    }
    if (lParam == LOG_NOTIFY_PASS_END) {
        // Only the end of a pass over this log counts: one posted for the log
        // this window showed before may still be queued.
        if (m_log.IsOpen() && m_log.GetViewMode() != LOG_VIEW_LIST && m_updater.GetLog() == &m_log &&
            m_updater.PassesCompleted() > 0 && !m_updater.IsBusy()) {
            // A single scan log is loaded once and not followed; rows handed
            // over and not yet applied go in first, or they would be lost.
            ApplyPendingRows();
            m_updater.SetLog(nullptr);
            m_updater.Stop();
        }
    } else if (lParam == LOG_NOTIFY_RESULTS) {
        ApplyPendingRows();
    }
    if (lParam == LOG_NOTIFY_PASS_END && m_bPlaceReplaced && !m_updater.IsBusy()) {
        m_bPlacePending = false;  // the reload is in; the user's moves count from here
    }
}

void CLogViewerDlg::ApplyPendingRows() {
    if (!m_log.IsOpen() || m_pList == nullptr) {
        return;
    }
    const bool list = m_log.GetViewMode() == LOG_VIEW_LIST;
    if (list) {
        m_pList->SaveSelection();
    }
    const LogApplyResult change = m_updater.ApplyResults();
    DropRewrittenMarks();
    m_pList->SetItemCount(m_log.GetVisibleCount());
    if (m_pTimeline != nullptr) {
        m_pTimeline->RowsApplied(change);
    }
    if (list) {
        m_pList->RestoreSelection();
    }
    if (m_bPlacePending && change.applied) {
        m_bPlaceReplaced = m_bPlaceReplaced || change.replaced;
        m_pList->PutPlace(m_place, true);
    }
    UpdateStatusBar();
    if (m_log.IsChainBroken()) {
        // Not from inside the notification: the reopen may ask the user.
        QTimer::singleShot(0, this, &CLogViewerDlg::ReopenBrokenLog);
    }
}

void CLogViewerDlg::ReopenBrokenLog() {
    if (!m_log.IsOpen() || !m_log.IsChainBroken() || m_bDestroyed) {
        return;
    }
    // The walk now runs in the open, which fails on the broken chain and offers the repair
    // as for any log that does not open; the log is opened as before, so that its title and
    // the Logs menu's tick keep their form.
    const int product = m_nOpenedProduct;
    const QString path = m_openedPath.isEmpty() ? QString::fromStdString(m_log.GetDisplayPath(false)) : m_openedPath;
    m_log.SetIndexLater(false);
    if (product >= 0) {
        OpenProductLog(product);
    } else {
        OpenLog(path);
    }
    m_log.SetIndexLater(true, m_nIndexLaterBytes);
}

void CLogViewerDlg::SetIndexLaterFrom(std::uint64_t bytes) {
    m_nIndexLaterBytes = bytes;
    m_log.SetIndexLater(true, bytes);
}

QList<CLogViewerDlg*> CLogViewerDlg::ChildWindows() const {
    QList<CLogViewerDlg*> children;
    for (CLogViewerDlg* child : findChildren<CLogViewerDlg*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!child->m_bDestroyed) {
            children.push_back(child);
        }
    }
    return children;
}

void CLogViewerDlg::ShowRecordWindow(int row) {
    if (!m_log.IsOpen()) {
        return;
    }
    CCommandLineInfo request;
    request.m_nShellCommand = CCommandLineInfo::FileOpen;
    CLogViewerDlg* child = nullptr;
    if (m_log.IsDirectory()) {
        const std::u16string file = m_log.GetDirectoryRowFile(row);
        if (file.empty()) {
            return;
        }
        request.m_strFileName = QString::fromStdString(m_log.GetDisplayPath(false)) + QString::fromStdU16String(file);
        child = new CLogViewerDlg(this);
    } else {
        if (m_log.RowsProvisional()) {
            return;  // the row's record index is a guess until the walk confirms it
        }
        const REC_INFO_BASE* info = m_log.GetRow(row);
        // Bit 0 of a row's flags marks the row that stands for its record.
        if (info == nullptr || (info->flags & 1U) == 0) {
            return;
        }
        // The record index of the row, not its position: rows may have
        // arrived above it since the click.
        request.m_strFileName =
            QString::fromStdString(m_log.GetDisplayPath(false)) + QLatin1Char(':') + QString::number(info->record);
        child = new CLogViewerDlgDetail(this);
        // A raw row opens as a raw record.
        child->m_log.SetRawRecords(m_log.IsRawRequested());
    }
    child->SetStartupRequest(&request);
    child->OnInitDialog();
    child->SetStartupRequest(nullptr);
    if (const QScreen* screen = this->screen(); screen != nullptr && child->m_pList != nullptr) {
        // Beside its owner, not over the row that was opened, and tall enough for the
        // record's rows (a few dozen at most) with the header.
        CLogListCtrl& list = *child->m_pList;
        const int rowHeight = std::max(1, list.verticalHeader()->defaultSectionSize());
        const int rows = std::min(child->m_log.GetVisibleCount(), 40);
        const int rowsHeight = list.horizontalHeader()->height() + rows * rowHeight + 2 * list.frameWidth();
        // Not shown yet, the child has no frame: its owner's tells the frame it will get.
        const QSize chrome = frameGeometry().size() - size();
        const QRect placed = korv::PlaceRecordWindow(frameGeometry(), child->size() + chrome, list.height(),
                                                     rowsHeight, screen->availableGeometry());
        child->resize(placed.size() - chrome);
        child->move(placed.topLeft());
    }
    child->show();
}

void CLogViewerDlg::reject() {
    if (m_bCloseAllowed) {
        QDialog::reject();
    }
}

void CLogViewerDlg::closeEvent(QCloseEvent* e) {
    if (m_bExporting) {
        // The export reads the log to its end; the user closes afterwards.
        e->ignore();
        return;
    }
    if (m_bSearching) {
        // The search returns first; the user closes again afterwards.
        m_log.CancelFind();
        e->ignore();
        return;
    }
    m_bCloseAllowed = true;
    QDialog::closeEvent(e);
}

void CLogViewerDlg::OnDestroy() {
    if (m_bDestroyed) {
        return;
    }
    m_bDestroyed = true;
    if (m_bInitialised) {
        korv::SaveWindowGeometry(*this, GeometryKind(*this));
    }
    if (m_log.IsOpen()) {
        CloseLog();
    }
    // Nothing may post here once the window is gone.
    m_updater.Stop();
    m_updater.SetWindow(nullptr);
    m_changeTimer.stop();
    m_progressTimer.stop();
    delete m_pFindDlg.data();
    delete m_pTimeZoneDlg.data();
    if (CLogViewerApp* app = CLogViewerApp::Instance()) {
        app->UnregisterAccelWindow(this);
    }
    // Children (record windows among them) go before the log they may share a
    // file system with; the list lets go of the log first.
    for (CLogViewerDlg* child : findChildren<CLogViewerDlg*>(QString(), Qt::FindDirectChildrenOnly)) {
        delete child;
    }
    delete m_pList;
    m_pList = nullptr;
}

QString CLogViewerDlg::MainWindowTitle() const {
    const QWidget* top = this;
    while (top->parentWidget() != nullptr) {
        top = top->parentWidget();
    }
    return top->windowTitle();
}
