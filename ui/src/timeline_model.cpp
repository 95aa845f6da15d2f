#include "ui/timeline_model.h"

#include <QColor>

#include "logmodel/severity.h"

namespace korv {

TimelineModel::TimelineModel(TimelineLogs& logs, QObject* parent) : QAbstractTableModel(parent), m_logs(logs) {}

void TimelineModel::Reload() {
    beginResetModel();
    m_nRows = m_logs.RowCount();
    m_nCachedRow = -1;
    endResetModel();
}

int TimelineModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_nRows; }

int TimelineModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(kTimelineColumns);
}

QVariant TimelineModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_nRows || index.column() >= int(kTimelineColumns)) return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        if (m_nCachedRow != index.row()) {
            m_nCachedRow = -1;
            if (!m_logs.Texts(index.row(), m_cached)) return {};
            m_nCachedRow = index.row();
        }
        const std::u16string& text = m_cached[std::size_t(index.column())];
        return QString::fromUtf16(text.data(), qsizetype(text.size()));
    }
    if (role == Qt::ForegroundRole && index.column() == 1) {
        // The severity in the hue the list gives its rows.
        switch (m_logs.LevelClassOf(index.row())) {
            case FILTER_TYPE_CRITICAL: return QColor(208, 57, 48);
            case FILTER_TYPE_ERROR:
            case FILTER_TYPE_WARNING: return QColor(211, 151, 22);
            case FILTER_TYPE_INFORMATION: return QColor(42, 154, 210);
            default: return QColor(78, 88, 101);
        }
    }
    return {};
}

QVariant TimelineModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= int(kTimelineColumns)) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    const std::u16string_view title = kTimelineTitles[std::size_t(section)];
    return QString::fromUtf16(title.data(), qsizetype(title.size()));
}

}  // namespace korv
