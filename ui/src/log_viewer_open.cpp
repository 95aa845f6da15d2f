// Opening and closing the window's log, with the repair question for a log
// file that does not open.

#include "ui/log_viewer_dlg.h"

#include "logmodel/log_type.h"
#include "logstore/chain_break.h"
#include "logstore/disklog.h"
#include "resources/texts.h"
#include "ui/list_settings.h"
#include "ui/status_bar.h"
#include "ui/log_list_ctrl.h"
#include "ui/timeline_strip.h"
#include "ui/ui_text.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

#include <unistd.h>

#include <array>
#include <fstream>
#include <mutex>
#include <optional>

namespace {

// Whether the file starts with the log header magic. Opening a file for the
// repair turns a file without it into a new empty log, so such a file is
// never offered for repair: its bytes stay as they are.
bool HasHeaderMagic(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::array<unsigned char, 4> bytes{};
    if (!in.read(reinterpret_cast<char*>(bytes.data()), bytes.size())) {
        return false;
    }
    const std::uint32_t magic = std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
                                std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24;
    return magic == kDiskLogMagic;
}

// Why a log file that has a header did not open, for the status bar.
QString NotOpenedReason(const std::string& path) {
    const std::string where = korv::describe_chain_break(path);
    return where.empty() ? QStringLiteral("it could not be read") : QString::fromStdString(where);
}

}  // namespace

std::optional<std::string> CLogViewerDlg::ResolveOpenPath(const std::string& name) {
    // An existing path is meant as it is (a bare name of a file in the current folder too);
    // otherwise a bare name is one below the product's Logs directory, as korvlog takes it.
    const QFileInfo given(QString::fromStdString(name));
    if (given.exists()) {
        return QDir::cleanPath(given.absoluteFilePath()).toStdString();
    }
    const std::string resolved = nsLog::ResolveLogPath(name);
    if (!resolved.empty() && resolved != name && resolved.find('\0') == std::string::npos &&
        QFileInfo::exists(QString::fromStdString(resolved))) {
        return resolved;
    }
    QString tried = given.absoluteFilePath();
    if (!resolved.empty() && resolved != name) {
        tried += QStringLiteral(" or ") + QString::fromStdString(resolved);
    } else if (resolved.empty() && name.find('/') == std::string::npos) {
        tried += QStringLiteral(" (the product's Logs directory is unknown)");
    }
    ShowPaneMessage(QStringLiteral("No such file or directory: ") + tried);
    return std::nullopt;
}

void CLogViewerDlg::ShowPaneMessage(const QString& text) {
    m_paneMessage = text;
    if (m_pStatusBar != nullptr) {
        m_pStatusBar->SetPaneText(0, text);
    }
}

bool CLogViewerDlg::OpenOrRepair(const std::string& name, const std::string& path, const LOG_INFO& entry,
                                 std::uint32_t flags, int record) {
    if (m_log.Open(name, entry.m_nServiceValue, entry.m_nTypeId, flags, entry.m_strKey)) {
        return true;
    }
    // A file log that does not open may have lost records to a cut-short write: offer the
    // repair, then try once more. A file without the header magic is never offered: opening
    // it for the repair would make it an empty log.
    if ((flags & LOG_FLAG_DIRECTORY) != 0 || !QFileInfo(QString::fromStdString(path)).isFile() ||
        !HasHeaderMagic(path)) {
        return false;
    }
    const QString why = QStringLiteral("The log did not open: ") + NotOpenedReason(path);
    // Asked before the file is opened for writing: the write handle holds the writers' lock,
    // and the product must not be kept from appending while the question waits for the user.
    // A file this user cannot write is not offered at all.
    if (::access(path.c_str(), W_OK) != 0) {
        ShowPaneMessage(why);
        return false;
    }
    // The repair changes the file in place: the question names it.
    const QString question = korv::Qs(korv::text::kFixLogQuestion) + QStringLiteral("\n\n") +
                             QString::fromStdString(path);
    const auto answer = QMessageBox::warning(this, korv::Qs(korv::text::kFixLogCaption), question,
                                             QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer != QMessageBox::Yes) {
        ShowPaneMessage(why);
        return false;
    }
    DiskLogHandle file = DiskLogOpen(path, DISKLOG_OPEN_WRITE);
    if (!file) {
        ShowPaneMessage(why);
        return false;
    }
    const bool repaired = DiskLogRepair(file.get());
    DiskLogClose(file);
    m_log.SetFixedRecord(record);
    if (!repaired || !m_log.Open(name, entry.m_nServiceValue, entry.m_nTypeId, flags, entry.m_strKey)) {
        ShowPaneMessage(QStringLiteral("The repair did not mend the log: ") + NotOpenedReason(path));
        return false;
    }
    return true;
}

bool CLogViewerDlg::OpenLog(const QString& requested) {
    const korv::RecordPath split = korv::SplitRecordSuffix(
        requested.toStdString(), [](const std::string& p) { return QFileInfo(QString::fromStdString(p)).isFile(); });
    const int record = split.record;
    if (split.path.empty() || m_pList == nullptr) {
        return false;
    }
    UpdateTitle(QString(), QString());
    CloseLog();
    m_paneMessage.clear();
    const std::optional<std::string> resolved = ResolveOpenPath(split.path);
    if (!resolved) {
        return false;
    }
    const std::string& path = *resolved;
    bool damaged = false;
    const int type = nsLog::RecogniseLogType(path, &damaged);
    const auto table = nsLog::GetLogTable();
    if (type < 0 || !table || type >= static_cast<int>(table->size())) {
        QMessageBox box(QMessageBox::Warning, MainWindowTitle(),
                        QString::fromStdString(korv::UnknownLogTypeText(path, damaged)), QMessageBox::Ok);
        box.exec();
        return false;
    }
    const LOG_INFO& entry = (*table)[static_cast<size_t>(type)];
    std::uint32_t flags = entry.m_dwFlags;
    const bool recordView = (entry.m_nEntryKind & LOG_ENTRY_SCAN_FILE) != 0 || record >= 0;
    if (recordView) {
        flags &= ~LOG_FLAG_DIRECTORY;
    }
    m_log.SetViewMode(recordView ? LOG_VIEW_RECORD : LOG_VIEW_LIST);
    m_log.SetFixedRecord(record);
    if (!OpenOrRepair(path, path, entry, flags, record)) {
        UpdateStatusBar();
        return false;
    }
    m_nOpenedProduct = -1;
    m_openedPath = requested;

    if (record >= 0) {
        // A record window loads its one record here and is never followed.
        {
            std::lock_guard<std::mutex> guard(m_log.GetCache().Lock());
            m_log.GetCache().Clear();
        }
        m_log.LoadFixedRecord(m_log.Rows(), record);
        m_log.RebuildVisible(true);
        m_pList->SetLog(&m_log);
    } else {
        StartFollowing();
    }
    // A record window's title names its record as the path it was opened with does.
    QString detail = QString::fromStdString(m_log.GetDisplayPath(true));
    if (record >= 0) {
        detail += QLatin1Char(':') + QString::number(record);
    }
    UpdateTitle(QString::fromStdString(entry.m_strDisplayName), detail);
    UpdateStatusBar();
    RefreshFindColumns();
    return true;
}

bool CLogViewerDlg::OpenProductLog(int index) {
    CloseLog();
    UpdateTitle(QString(), QString());
    m_paneMessage.clear();
    const auto table = nsLog::GetLogTable();
    bool opened = false;
    if (table && index >= 0 && index < static_cast<int>(table->size())) {
        const LOG_INFO& entry = (*table)[static_cast<size_t>(index)];
        // A single scan log shows its records in file order, as when it is
        // opened by path: in the list view the module would decode every
        // record as a scan summary.
        std::uint32_t flags = entry.m_dwFlags;
        const bool scanFile = (entry.m_nEntryKind & LOG_ENTRY_SCAN_FILE) != 0;
        if (scanFile) {
            flags &= ~LOG_FLAG_DIRECTORY;
        }
        m_log.SetViewMode(scanFile ? LOG_VIEW_RECORD : LOG_VIEW_LIST);
        m_log.SetFixedRecord(-1);
        // The bare name keeps the log relative to the Logs directory (its title and the Logs
        // menu's tick), repaired or not: a damaged log is offered the repair as by path.
        opened = OpenOrRepair(entry.m_strFileName, nsLog::ResolveLogPath(entry.m_strFileName), entry, flags, -1);
        if (opened) {
            m_nOpenedProduct = index;
            m_openedPath.clear();
            StartFollowing();
            UpdateTitle(QString::fromStdString(entry.m_strDisplayName), QString::fromStdString(entry.m_strFileName));
        }
    }
    UpdateStatusBar();
    RefreshFindColumns();
    return opened;
}

void CLogViewerDlg::StartFollowing() {
    m_pList->SetLog(&m_log);
    // SetLog pauses a running worker before it takes the new log.
    m_updater.SetLog(&m_log);
    korv::LoadListSettings(&m_log, *m_pList);
    LoadMarks();
    RefreshHighlight();
    m_updater.Start();
    m_updater.RequestUpdate();
}

void CLogViewerDlg::CloseLog() {
    if (!m_log.IsOpen()) {
        return;
    }
    if (m_pList != nullptr) {
        // Only a window showing a whole log speaks for its kind's settings: a
        // record window's filter and columns are its own.
        if (m_log.GetFixedRecord() == -1) {
            korv::SaveListSettings(&m_log, *m_pList);
        }
        m_pList->SetLog(nullptr);
    }
    m_updater.SetLog(nullptr);
    m_log.Close();
    if (m_pTimeline != nullptr) {
        m_pTimeline->Recount();  // the next log's rows count from nothing
    }
    LoadMarks();  // none with no log
    m_clickKey = {};
    m_nClickRow = m_nClickColumn = -1;
    m_bPlacePending = false;
    RefreshFindColumns();
}
