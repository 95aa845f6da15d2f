// The window's side of the severity timeline: where the strip sits, View › Timeline, and what
// a drag, a double click and a click on the strip do to the filter and the list.

#include "ui/log_viewer_dlg.h"

#include <QItemSelectionModel>
#include <QLayout>

#include "logmodel/timeline_rows.h"
#include "ui/log_list_ctrl.h"
#include "ui/log_viewer_dlg_detail.h"
#include "ui/timeline_strip.h"

void CLogViewerDlg::BuildTimeline(QLayout& layout) {
    if (dynamic_cast<CLogViewerDlgDetail*>(this) != nullptr) {
        return;  // a record window shows one record: no time line to speak of
    }
    m_pTimeline = new korv::TimelineStrip(this);
    layout.addWidget(m_pTimeline);
    m_pTimeline->setHidden(!korv::ReadTimelineShown());
    m_pTimeline->SetLog(&m_log);
    connect(m_pTimeline, &korv::TimelineStrip::periodSelected, this, &CLogViewerDlg::OnTimelinePeriod);
    connect(m_pTimeline, &korv::TimelineStrip::periodCleared, this, &CLogViewerDlg::OnTimelineCleared);
    connect(m_pTimeline, &korv::TimelineStrip::bucketClicked, this, &CLogViewerDlg::OnTimelineBucket);
}

void CLogViewerDlg::ShowTimeline(bool shown) {
    if (m_pTimeline == nullptr) {
        return;
    }
    m_pTimeline->setHidden(!shown);
    korv::WriteTimelineShown(shown);
    if (shown) {
        m_pTimeline->Recount();  // hidden, it counted nothing
    }
}

void CLogViewerDlg::OnTimelinePeriod(qint64 from, qint64 to) {
    if (m_bSearching || m_bExporting || !m_log.IsOpen()) {
        return;
    }
    // The same range criterion as Filter › Advanced's "Range" period.
    CLogFilterData criteria = m_log.GetFilter();
    criteria.m_nOptions = (criteria.m_nOptions & ~FILTER_PERIOD_MASK) | FILTER_PERIOD_RANGE;
    criteria.m_timeFrom = from;
    criteria.m_timeTo = to;
    ApplyFilterCriteria(criteria);
}

void CLogViewerDlg::OnTimelineCleared() {
    if (m_bSearching || m_bExporting || !m_log.IsOpen() || m_log.GetFilter().Period() == FILTER_PERIOD_WHOLE) {
        return;
    }
    CLogFilterData criteria = m_log.GetFilter();
    criteria.m_nOptions &= ~FILTER_PERIOD_MASK;  // "Whole log"
    ApplyFilterCriteria(criteria);
}

void CLogViewerDlg::OnTimelineBucket(qint64 start, qint64 end) {
    if (m_pList == nullptr || !m_log.IsOpen()) {
        return;
    }
    const int position = korv::FirstPositionInPeriod(m_log, start, end);
    if (position < 0 || position >= m_pList->GetItemCount()) {
        return;
    }
    const QModelIndex target = m_pList->model()->index(position, 0);
    m_pList->selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_pList->scrollTo(target, QAbstractItemView::PositionAtTop);
}
