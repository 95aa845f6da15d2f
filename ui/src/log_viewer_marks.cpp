// The window's marks on rows (toggled on the selection, visited in turn,
// copied and exported, kept per log file) and the highlighting of the text
// criteria's matches in the list.

#include "ui/log_viewer_dlg.h"

#include "logmodel/filter_match.h"
#include "resources/texts.h"
#include "ui/clipboard.h"
#include "ui/log_list_ctrl.h"
#include "ui/mark_settings.h"
#include "ui/status_bar.h"
#include "ui/ui_text.h"

#include <QItemSelectionModel>
#include <QSettings>

#include <algorithm>
#include <atomic>

namespace {

QSettings ViewerSettings() { return QSettings(QStringLiteral("KORV"), QStringLiteral("KORV Log Viewer")); }

}  // namespace

bool CLogViewerDlg::CanMark() const {
    // Provisional rows' record indices are guesses: no mark is kept, dropped or saved by them.
    return m_log.IsOpen() && !m_log.IsDirectory() && m_log.GetFixedRecord() == -1 && !m_marksPath.isEmpty() &&
           !m_log.RowsProvisional();
}

void CLogViewerDlg::LoadMarks() {
    m_marks.Clear();
    m_marksPath.clear();
    if (m_log.IsOpen() && !m_log.IsDirectory() && m_log.GetFixedRecord() == -1) {
        m_marksPath = QString::fromStdString(m_log.GetDisplayPath(false));
        // Marks belong to this log, not to whatever file is at its path now.
        m_marksCreated = m_log.GetFile() != nullptr ? DiskLogHeader(m_log.GetFile()).creation_time : 0;
        QSettings settings = ViewerSettings();
        m_marks.Assign(korv::ReadStoredMarks(settings, m_marksPath, m_marksCreated));
    }
    if (m_pList != nullptr) {
        m_pList->SetMarks(&m_marks);
    }
}

void CLogViewerDlg::SaveMarks() {
    if (m_marksPath.isEmpty()) {
        return;
    }
    QSettings settings = ViewerSettings();
    korv::WriteStoredMarks(settings, m_marksPath, m_marks, m_marksCreated);
}

void CLogViewerDlg::DropRewrittenMarks() {
    if (!CanMark() || m_marks.Empty()) {
        return;
    }
    const std::uint64_t created = m_log.GetFile() != nullptr ? DiskLogHeader(m_log.GetFile()).creation_time : 0;
    if (created != 0 && m_marksCreated != 0 && created != m_marksCreated) {
        // The log was made anew in place: its records are not the ones marked.
        m_marks.Clear();
        SaveMarks();
        m_marksCreated = created;
        return;
    }
    if (m_marks.DropRewritten(m_log.Rows()) > 0) {
        SaveMarks();
    }
}

void CLogViewerDlg::OnToggleMark() {
    if (!CanMark() || m_pList == nullptr) {
        return;
    }
    std::vector<korv::RowKey> keys;
    for (int position : m_pList->GetSelectedPositions()) {
        keys.push_back(m_pList->KeyOfRow(position));
    }
    const korv::RowMarks::Toggled result = m_marks.Toggle(keys);
    if (result == korv::RowMarks::Toggled::kNothing) {
        return;
    }
    if (result == korv::RowMarks::Toggled::kCapped) {
        m_paneMessage = korv::Qs(korv::text::kMarksCapped);
        m_pStatusBar->SetPaneText(0, m_paneMessage);
    }
    SaveMarks();
    m_pList->viewport()->update();
}

void CLogViewerDlg::SelectOnly(int position) {
    QItemSelectionModel* selection = m_pList->selectionModel();
    const QModelIndex target = m_pList->model()->index(position, 0);
    selection->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_pList->scrollTo(target, QAbstractItemView::EnsureVisible);
}

void CLogViewerDlg::GoToMark(bool upwards) {
    if (!CanMark() || m_pList == nullptr) {
        return;
    }
    int found = -1;
    if (!m_marks.Empty()) {
        // Circular from the first selected row, as Find Next and Find Prev go.
        const std::atomic<bool> never{false};
        found = korv::CircularFind(
            m_pList->GetItemCount(), m_pList->HasSelection() - 1, upwards,
            [this](int position) { return m_marks.Contains(m_pList->KeyOfRow(position)); }, {}, never);
    }
    if (found < 0) {
        m_paneMessage = korv::Qs(korv::text::kNoMarkedRows);
        m_pStatusBar->SetPaneText(0, m_paneMessage);
        return;
    }
    SelectOnly(found);
}

void CLogViewerDlg::OnClearMarks() {
    if (m_marks.Empty()) {
        return;
    }
    m_marks.Clear();
    SaveMarks();
    m_pList->viewport()->update();
}

std::vector<int> CLogViewerDlg::MarkedPositions() const {
    std::vector<int> positions;
    if (!CanMark() || m_marks.Empty() || m_pList == nullptr) {
        return positions;
    }
    const int count = std::min(m_pList->GetItemCount(), m_log.GetVisibleCount());
    for (int position = 0; position < count && positions.size() < m_marks.Size(); ++position) {
        if (m_marks.Contains(m_pList->KeyOfRow(position))) {
            positions.push_back(position);
        }
    }
    return positions;
}

void CLogViewerDlg::OnCopyMarked() {
    const std::vector<int> positions = MarkedPositions();
    if (positions.empty()) {
        m_paneMessage = korv::Qs(korv::text::kNoMarkedRows);
        m_pStatusBar->SetPaneText(0, m_paneMessage);
        return;
    }
    HoldLogWhile([&](const korv::CopyYieldFn& yield) { korv::CopyRows(&m_log, positions, CopySource(), yield); });
}

void CLogViewerDlg::OnExportMarked() {
    if (MarkedPositions().empty()) {
        m_paneMessage = korv::Qs(korv::text::kNoMarkedRows);
        m_pStatusBar->SetPaneText(0, m_paneMessage);
        return;
    }
    ExportRows(true);
}

void CLogViewerDlg::RefreshHighlight() {
    if (m_pList == nullptr) {
        return;
    }
    std::vector<CLogFilterData> criteria;
    if (m_log.IsOpen()) {
        criteria.push_back(m_log.GetFilter());
        // The last search's text, once the user has searched.
        if (m_log.IsDecodable()) {
            criteria.push_back(m_findCriteria);
        }
    }
    m_pList->SetHighlightCriteria(criteria);
}
