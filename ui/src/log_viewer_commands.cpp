// The window's commands: files, filter, view, find, time zone, language,
// copy, export and the small dialogs.

#include "ui/log_viewer_dlg.h"

#include "platform/tz.h"
#include "product/host_services.h"
#include "product/module_manager.h"
#include "product/module_requests.h"
#include "resources/ids.h"
#include "resources/string_table.h"
#include "resources/texts.h"
#include "ui/clipboard.h"
#include "ui/commands.h"
#include "ui/dialog_folders.h"
#include "ui/export_command.h"
#include "ui/find_placement.h"
#include "ui/list_settings.h"
#include "ui/log_filter_dlg.h"
#include "ui/log_list_ctrl.h"
#include "ui/timeline_strip.h"
#include "ui/menu_builder.h"
#include "ui/small_dialogs.h"
#include "ui/status_bar.h"
#include "ui/time_zone_dlg.h"
#include "ui/ui_text.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include <mutex>

namespace {

// "Log file (*.dat)|*.dat|Any file (*.*)|*.*||" as Qt's filter list: the
// descriptions already name their patterns.
QString QtNameFilters(const QString& windowsFilter) {
    const QStringList parts = windowsFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (!parts[i].isEmpty()) {
            filters << (parts[i].contains(QLatin1Char('(')) ? parts[i]
                                                            : QStringLiteral("%1 (%2)").arg(parts[i], parts[i + 1]));
        }
    }
    return filters.join(QStringLiteral(";;"));
}

void ClearLogCache(CLog& log) {
    std::lock_guard<std::mutex> guard(log.GetCache().Lock());
    log.GetCache().Clear();
}

// Commands that take rows for the log's records: copy, export, marks and find.
bool ActsOnRecords(int id) {
    using namespace korv::cmd;
    switch (id) {
        case kCopy: case kCopyAll: case kCopyCell: case kFind: case kFindNext: case kFindPrev:
        case ID_FILTERDLG_FIND: case kExport: case kToggleMark: case kNextMark: case kPrevMark:
        case kClearMarks: case kCopyMarked: case kExportMarked: return true;
        default: return false;
    }
}

// Moves the find window off the list row at `position` when it covers it.
void KeepFindWindowOffRow(QWidget* find, CLogListCtrl& list, int position, const QScreen* screen) {
    if (find == nullptr || !find->isVisible() || screen == nullptr) {
        return;
    }
    const QRect cell = list.visualRect(list.model()->index(position, 0));
    const QWidget* viewport = list.viewport();
    const QRect row(viewport->mapToGlobal(QPoint(0, cell.top())), QSize(viewport->width(), cell.height()));
    const QRect now = find->frameGeometry();
    const QRect moved = korv::MoveOffRow(now, row, screen->availableGeometry());
    if (moved != now) {
        find->move(moved.topLeft());
    }
}

}  // namespace

void CLogViewerDlg::OnCommand(int id) {
    if ((m_bSearching && id != ID_FILTERDLG_STOP) || m_bExporting) {
        // A search or an export is pumping events: the log must stay as it is until it returns.
        return;
    }
    m_paneMessage.clear();
    using namespace korv::cmd;
    if (m_log.IsOpen() && m_log.RowsProvisional() && ActsOnRecords(id)) {
        // Rows the walk has not confirmed are not copied, exported, marked or searched.
        m_paneMessage = korv::Qs(korv::text::kRowsNotConfirmed);
        m_pStatusBar->SetPaneText(0, m_paneMessage);
        return;
    }
    if (id >= kLogsFirst && id <= kLogsLast) {
        OpenProductLog(id - kLogsFirst);
    } else if (id >= kFilterFirst && id <= kFilterLast) {
        OnFilterCommand(id);
    } else if (id >= kViewFirst && id <= kViewLast) {
        OnViewCommand(id);
    } else if (id >= kLanguageFirst && id <= kLanguageLast) {
        OnLanguageCommand(id);
    } else {
        switch (id) {
            case kOpenFile: OnOpenFile(); break;
            case kOpenDir: OnOpenDir(); break;
            case kOpenTimeline: OnOpenTimeline(); break;
            case kExit:
                m_bCloseAllowed = true;
                reject();
                break;
            case kCopy: OnCopy(); break;
            case kCopyAll: OnCopyAll(); break;
            case kCopyCell:
                if (m_log.IsOpen()) {
                    // The record right-clicked, wherever new rows have put it since.
                    m_nClickRow = m_pList->PositionOfKey(m_clickKey);
                    korv::CopyCell(&m_log, m_nClickRow, m_nClickRow < 0 ? -1 : m_nClickColumn,
                                   static_cast<int>(m_pList->GetSelectedPositions().size()));
                }
                break;
            case kSelectAll: OnSelectAll(); break;
            case kFind: OnFind(); break;
            case kFindNext:
            case kFindPrev:
                if (m_findCriteria.m_nColumnMask != 0 && m_log.IsDecodable()) {
                    Search(id == kFindPrev);
                }
                break;
            case ID_FILTERDLG_FIND: OnFindFromDialog(); break;
            case ID_FILTERDLG_STOP: m_log.CancelFind(); break;
            case kTimeZone: OnTimeZone(); break;
            case kExport: OnExport(); break;
            case kToggleMark: OnToggleMark(); break;
            case kNextMark:
            case kPrevMark: GoToMark(id == kPrevMark); break;
            case kClearMarks: OnClearMarks(); break;
            case kCopyMarked: OnCopyMarked(); break;
            case kExportMarked: OnExportMarked(); break;
            case kSysAbout:
            case kAbout: {
                CAboutDlg dlg(this);
                dlg.exec();
                break;
            }
            case kChangelog: {
                CChangelogDlg dlg(this);
                dlg.exec();
                break;
            }
            case kEula: {
                CEulaDlg dlg(this);
                dlg.exec();
                break;
            }
            default: break;
        }
    }
}

void CLogViewerDlg::OnCopy() {
    if (m_log.IsOpen()) {
        const std::vector<int> rows = m_pList->GetSelectedPositions();
        HoldLogWhile([&](const korv::CopyYieldFn& yield) { korv::CopyRows(&m_log, rows, CopySource(), yield); });
    }
}

void CLogViewerDlg::OnCopyAll() {
    if (m_log.IsOpen()) {
        HoldLogWhile([&](const korv::CopyYieldFn& yield) { korv::CopyAllRows(&m_log, CopySource(), yield); });
    }
}

void CLogViewerDlg::HoldLogWhile(const std::function<void(const korv::CopyYieldFn&)>& work) {
    // A copy of many rows decodes each on this thread: it lets the window
    // repaint and its timers run every few milliseconds, as the export does.
    // User input waits, and the export's guards keep commands, closing and new
    // rows off the log until the rows are read.
    QElapsedTimer sinceTurn;
    sinceTurn.start();
    const korv::CopyYieldFn yield = [&sinceTurn] {
        if (sinceTurn.elapsed() >= 15) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            sinceTurn.restart();
        }
    };
    {
        const LogHold hold(*this);
        work(yield);
    }
    OnDeferredNotifications();
}

void CLogViewerDlg::OnExport() { ExportRows(false); }

void CLogViewerDlg::ExportRows(bool marked) {
    QString shown;
    const auto pane0 = [this, &shown](const QString& text) {
        if (text == shown) {
            return;
        }
        shown = text;
        m_pStatusBar->SetPaneText(0, text);
        // Repaints and timers run; the user's input waits for the end, and the
        // guards on m_bExporting hold back whatever else could change the log.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
    std::function<std::vector<int>()> positions;
    if (marked) {
        positions = [this] { return MarkedPositions(); };
    }
    ExportLog(this, &m_log, pane0, [this](bool running) { m_bExporting = running; }, positions);
    OnDeferredNotifications();
}

void CLogViewerDlg::OnDeferredNotifications() {
    // New rows first, then the end of the pass that may stop a scan log's updater.
    if (m_bNotifyDeferred) {
        m_bNotifyDeferred = false;
        OnLogNotify(LOG_NOTIFY_RESULTS);
    }
    if (m_bPassEndDeferred) {
        m_bPassEndDeferred = false;
        OnLogNotify(LOG_NOTIFY_PASS_END);
    }
}

void CLogViewerDlg::OnOpenFile() {
    const QString path = QFileDialog::getOpenFileName(this, QString(), korv::StartFolder(korv::DialogFolder::kOpenFile),
                                                      QtNameFilters(korv::LoadQString(korv::str::kOpenFileFilter)));
    if (!path.isEmpty()) {
        korv::RememberFolder(korv::DialogFolder::kOpenFile, path);
        UpdateTitle(QString(), QString());
        OpenLog(path);
    }
    UpdateStatusBar();
}

void CLogViewerDlg::OnOpenDir() {
    const QString dir = QFileDialog::getExistingDirectory(nullptr, QString(), korv::StartFolder(korv::DialogFolder::kOpenDir));
    if (!dir.isEmpty()) {
        korv::RememberFolder(korv::DialogFolder::kOpenDir, dir);
        UpdateTitle(QString(), QString());
        OpenLog(dir);
    }
    UpdateStatusBar();
}

void CLogViewerDlg::OnOpenTimeline() {
    QMessageBox ask(QMessageBox::Question, MainWindowTitle(),
                    QStringLiteral("Show the rows of several logs interleaved by time."), QMessageBox::Cancel, this);
    QPushButton* files = ask.addButton(QStringLiteral("Choose &Files..."), QMessageBox::AcceptRole);
    QPushButton* product = ask.addButton(QStringLiteral("&Every Product Log"), QMessageBox::AcceptRole);
    ask.setDefaultButton(files);
    ask.exec();
    if (ask.clickedButton() == product) {
        OpenProductTimeline();
    } else if (ask.clickedButton() == files) {
        const QStringList chosen = QFileDialog::getOpenFileNames(
            this, QString(), korv::StartFolder(korv::DialogFolder::kOpenTimeline),
            QtNameFilters(korv::LoadQString(korv::str::kOpenFileFilter)));
        if (!chosen.isEmpty()) {
            korv::RememberFolder(korv::DialogFolder::kOpenTimeline, chosen.front());
        }
        std::vector<std::string> paths;
        for (const QString& path : chosen) {
            paths.push_back(path.toStdString());
        }
        if (!paths.empty()) {
            OpenTimeline(paths);
        }
    }
}

void CLogViewerDlg::OnSelectAll() {
    if (m_log.IsOpen()) {
        m_pList->SelectAll();
    }
}

bool CLogViewerDlg::RescanOrRecount() {
    if (m_log.IsTextFilterActive() && m_log.GetFixedRecord() == -1) {
        if (m_log.IsOpen() && m_updater.GetLog() == nullptr) {
            // A single scan log lets its updater go once loaded; a text
            // criterion needs its rows read again all the same.
            m_updater.SetLog(&m_log);
            m_updater.Start();
        }
        m_updater.Rescan();
        return true;
    }
    // Rows handed over under the old criteria go in under the new ones.
    m_updater.ReevaluatePending();
    m_pList->SetItemCount(m_log.IsOpen() ? m_log.GetVisibleCount() : 0);
    return false;
}

void CLogViewerDlg::KeepPlace(const CLogListCtrl::Place& place, bool reloading) {
    m_pList->PutPlace(place, true);
    // Rows re-read in the background replace the rows shown: the place is put back on them.
    m_place = place;
    m_bPlacePending = reloading;
    m_bPlaceReplaced = false;
}

void CLogViewerDlg::ResumeAfterPause() {
    // A pause drops a pass that was running; asking again lets it finish
    // loading instead of waiting for the file's next change.
    if (m_updater.GetLog() != nullptr) {
        m_updater.RequestUpdate();
    }
}

std::vector<QString> CLogViewerDlg::ColumnTitles() const {
    std::vector<QString> titles;
    for (const HDR_INFO& column : m_log.GetHeader().m_columns) {
        titles.push_back(QString::fromStdU16String(column.name));
    }
    return titles;
}

void CLogViewerDlg::FillFilterDialog(CLogFilterExDlg& dlg) {
    korv::FillColumnList(dlg, ColumnTitles());
    korv::FillTypeList(dlg);
}

void CLogViewerDlg::OnFilterCommand(int id) {
    if (!m_log.IsOpen()) {
        // Grayed without a log; an accelerator has nothing to filter.
        return;
    }
    CLogFilterData criteria = m_log.GetFilter();
    if (id == korv::cmd::kFilterAdvanced) {
        if (!korv::EditFilterCriteria(this, ColumnTitles(), criteria)) {
            return;
        }
    } else {
        criteria.m_nTypeMask = korv::FilterMaskAfterCommand(criteria.m_nTypeMask, id);
    }
    ApplyFilterCriteria(criteria);
}

void CLogViewerDlg::ApplyFilterCriteria(const CLogFilterData& criteria) {
    if (!m_log.IsOpen()) {
        return;
    }
    m_updater.Pause();
    // The rows the user selected stay selected where the new criteria show them, and the
    // record at the top stays there (or the nearest one that passes).
    const CLogListCtrl::Place place = m_pList->TakePlace();
    m_log.SetFilter(criteria);
    KeepPlace(place, RescanOrRecount());
    ResumeAfterPause();
    RefreshHighlight();
    UpdateStatusBar();
}

void CLogViewerDlg::OnViewCommand(int id) {
    switch (id) {
        case korv::cmd::kViewNumber: m_pList->ToggleColumn(CLogListCtrl::kExtraNumber); break;
        case korv::cmd::kViewType: m_pList->ToggleColumn(CLogListCtrl::kExtraType); break;
        case korv::cmd::kViewAutoScroll: m_pList->m_bAutoScroll = !m_pList->m_bAutoScroll; break;
        case korv::cmd::kViewTimeline: ShowTimeline(m_pTimeline != nullptr && m_pTimeline->isHidden()); break;
        case korv::cmd::kViewRaw: ShowRawRecords(!m_log.IsRawRequested()); break;
        case korv::cmd::kViewReset:
            m_pList->ShowColumn(CLogListCtrl::kExtraNumber, true);
            m_pList->ShowColumn(CLogListCtrl::kExtraType, true);
            m_pList->m_bAutoScroll = false;
            break;
        default: break;
    }
}

void CLogViewerDlg::ShowRawRecords(bool raw) {
    if (!m_log.IsOpen() || m_log.IsDirectory() || m_log.IsRawRequested() == raw) {
        return;
    }
    // The columns and every row change: the log is opened again, as after a repair, and
    // comes back with its filter and settings. A record window reloads its one record.
    const QString path = QString::fromStdString(m_log.GetDisplayPath(false));
    const std::int32_t record = m_log.GetFixedRecord();
    m_log.SetRawRecords(raw);
    OpenLog(record >= 0 ? path + QLatin1Char(':') + QString::number(record) : path);
}

void CLogViewerDlg::OnFind() {
    if (!m_pFindDlg) {
        m_pFindDlg = new CLogFilterExDlg(this);
        connect(m_pFindDlg, &CLogFilterExDlg::filterCommand, this, &CLogViewerDlg::OnCommand);
        FillFilterDialog(*m_pFindDlg);
        CLogFilterData defaults;
        defaults.m_nColumnMask = 0x7FFFFFFF;
        defaults.m_nTypeMask = 0x7FFFFFFF;
        m_pFindDlg->SetCriteria(defaults);
        // Beside the list rather than over the rows it will find.
        m_pFindDlg->adjustSize();
        if (const QScreen* screen = this->screen()) {
            m_pFindDlg->move(korv::PlaceFindWindow(frameGeometry(), m_pFindDlg->frameGeometry().size(),
                                                   screen->availableGeometry())
                                 .topLeft());
        }
    }
    // Find again on an open dialog brings it forward, ready for a new text.
    m_pFindDlg->show();
    m_pFindDlg->raise();
    m_pFindDlg->activateWindow();
    m_pFindDlg->SelectSearchText();
}

void CLogViewerDlg::RefreshFindColumns() {
    if (m_pFindDlg) {
        m_pFindDlg->RefillColumnList(ColumnTitles());
    }
}

void CLogViewerDlg::OnFindFromDialog() {
    if (!m_pFindDlg) {
        return;
    }
    m_findCriteria = m_pFindDlg->GetCriteria();
    RefreshHighlight();
    if (m_log.IsDecodable()) {
        Search(m_pFindDlg->GetSearchUp() == 1);
    }
}

void CLogViewerDlg::Search(bool upwards) {
    m_bSearching = true;
    ShowFindProgress();
    const int found = korv::SearchWithDialog(m_pFindDlg, [this, upwards] {
        return m_log.FindRecord(m_findCriteria, m_pList->HasSelection() - 1, upwards);
    });
    m_bSearching = false;
    if (found < 0) {
        m_paneMessage = korv::Qs(m_log.IsFindCancelled() ? korv::text::kSearchStopped : korv::text::kNotFound);
        m_pStatusBar->SetPaneText(0, m_paneMessage);
    } else {
        OnProgressTimer();  // what pane 0 showed before the find
    }
    if (found >= 0 && found < m_pList->GetItemCount()) {
        QItemSelectionModel* selection = m_pList->selectionModel();
        const int first = m_pList->HasSelection() - 1;
        if (first >= 0) {
            selection->select(m_pList->model()->index(first, 0),
                              QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
        }
        const QModelIndex target = m_pList->model()->index(found, 0);
        selection->setCurrentIndex(target, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        m_pList->scrollTo(target, QAbstractItemView::EnsureVisible);
        KeepFindWindowOffRow(m_pFindDlg, *m_pList, found, screen());
    }
    OnDeferredNotifications();
}

void CLogViewerDlg::OnTimeZone() {
    if (!m_pTimeZoneDlg) {
        m_pTimeZoneDlg = new CTimeZone(this);
    }
    // Another window may have changed the zone since this dialog last ran.
    m_pTimeZoneDlg->SetUtcOffset(ShownUtcOffset());
    if (m_pTimeZoneDlg->exec() != QDialog::Accepted) {
        return;
    }
    ApplyUtcOffset(m_pTimeZoneDlg->UtcOffset());
}

int CLogViewerDlg::ShownUtcOffset() {
    return int(-korv::platform::process_time_zone_offset() / 3600);
}

void CLogViewerDlg::ApplyUtcOffset(int hoursEast) {
    // The zone is the process's: every viewer window shows its times in it, so every one
    // follows the change, this one first.
    QList<CLogViewerDlg*> windows{this};
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* other = qobject_cast<CLogViewerDlg*>(widget);
        if (other != nullptr && other != this) {
            windows.push_back(other);
        }
    }
    // The workers format times too: they are idle while the zone changes.
    for (CLogViewerDlg* window : windows) {
        window->m_updater.Pause();
        // Rows already handed over go in first: the updater's next record is past
        // them, and re-attaching the log empties its pending rows.
        window->ApplyPendingRows();
    }
    korv::platform::set_process_utc_offset(hoursEast);
    for (CLogViewerDlg* window : windows) {
        window->ShowTimesInZone(hoursEast);
    }
}

void CLogViewerDlg::ShowTimesInZone(int hoursEast) {
    m_nUtcOffset = hoursEast;
    if (m_log.IsOpen()) {
        const CLogListCtrl::Place place = m_pList->TakePlace();
        // Decoded cells may hold times of the old zone.
        ClearLogCache(m_log);
        if (m_log.GetFixedRecord() == -1) {
            korv::SaveListSettings(&m_log, *m_pList);
            const CLogFilterData criteria = m_log.GetFilter();
            m_pList->SetLog(&m_log);
            m_updater.SetLog(&m_log);
            korv::LoadListSettings(&m_log, *m_pList);
            // The stored settings keep only the type mask; the rest comes back here.
            m_log.SetFilter(criteria);
            m_updater.Start();
            m_updater.RequestUpdate();
            // The selection and the top record stay, by record.
            KeepPlace(place, RescanOrRecount());
        } else {
            m_pList->viewport()->update();
        }
    }
    UpdateStatusBar();
}

void CLogViewerDlg::OnLanguageCommand(int id) {
    const int index = id - korv::cmd::kLanguageFirst;
    if (index < 0 || index >= static_cast<int>(m_languages.size())) {
        return;
    }
    std::uint32_t language = m_languages[static_cast<size_t>(index)].id;
    if (m_pLanguageMenu != nullptr) {
        for (QAction* action : m_pLanguageMenu->actions()) {
            if (korv::CommandId(*action) == id) {
                language = action->property("korvLanguageId").toUInt();
            }
        }
    }
    if (const auto instance = korv::SecondInterfaceHolder().CurrentInstance()) {
        korv::RequestSetLanguage(instance.get(), language);
    }
    korv::SetHostLanguage(language);
    korv::FirstInterfaceHolder().CloseComponent();
    korv::FirstInterfaceHolder().OpenComponent();
    if (m_log.IsOpen()) {
        // The worker decodes with the header; it waits while the columns change.
        m_updater.Pause();
        const CLogListCtrl::Place place = m_pList->TakePlace();
        m_log.RebuildHeader();
        ClearLogCache(m_log);
        const bool reloading = m_log.IsTextFilterActive() && m_log.GetFixedRecord() == -1;
        if (reloading) {
            m_updater.Rescan();
        }
        ResumeAfterPause();
        m_pList->RefreshColumnTitles();
        KeepPlace(place, reloading);
    }
    RefreshFindColumns();
}
