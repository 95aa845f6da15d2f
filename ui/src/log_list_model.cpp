#include "ui/log_list_model.h"

#include <QBrush>
#include <QColor>
#include <QFont>

#include <bit>

#include "logmodel/log.h"
#include "logmodel/severity.h"
#include "resources/string_table.h"
#include "resources/texts.h"
#include "ui/row_marks.h"
#include "ui/ui_text.h"

namespace korv {
namespace {

QString FromU16(const std::u16string& text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

struct RowColours {
    QColor text;
    QColor background;
};

const RowColours kCritical{QColor(208, 57, 48), QColor(252, 243, 242)};
const RowColours kWarning{QColor(211, 151, 22), QColor(255, 255, 255)};  // and Error
const RowColours kInformation{QColor(42, 154, 210), QColor(255, 255, 255)};
const RowColours kDiagnostic{QColor(78, 88, 101), QColor(255, 255, 255)};
const RowColours kCorruptedColours{QColor(38, 43, 49), QColor(217, 102, 89)};

// The colours of a row: the corrupted colours win over the severity's; none
// (the list's own) for a row without either.
const RowColours* ColoursOf(CLog& log, int row) {
    if (const REC_INFO_BASE* info = log.GetRow(row); info && (info->flags & ROW_FLAG_CORRUPTED)) {
        return &kCorruptedColours;
    }
    std::uint32_t levelClass = 0;
    if (!log.GetRowLevelClass(row, levelClass)) {
        return nullptr;
    }
    switch (levelClass) {
    case FILTER_TYPE_CRITICAL: return &kCritical;
    case FILTER_TYPE_ERROR:
    case FILTER_TYPE_WARNING: return &kWarning;
    case FILTER_TYPE_INFORMATION: return &kInformation;
    case FILTER_TYPE_DIAGNOSTIC: return &kDiagnostic;
    default: return nullptr;
    }
}

}  // namespace

std::vector<RowColourPair> AllRowColours() {
    std::vector<RowColourPair> pairs;
    for (const RowColours* c : {&kCritical, &kWarning, &kInformation, &kDiagnostic, &kCorruptedColours}) {
        pairs.push_back({c->text, c->background});
    }
    return pairs;
}

ListTexts::ListTexts()
    : number(LoadQString(str::kColumnNumber)),
      flags(LoadQString(str::kColumnFlags)),
      type(LoadQString(str::kColumnType)),
      severityNames(LoadQString(str::kSeverityNames).split(QLatin1Char('|'))) {}

QString ListTexts::NumberText(int count, int position) {
    // 64-bit so that no count/position pair can overflow.
    return QString::number(static_cast<long long>(count) - position);
}

QString ListTexts::FlagsText(std::uint32_t rowFlags, bool marked) {
    QString text;
    if (rowFlags & ROW_FLAG_CORRUPTED) {
        text += QLatin1Char('C');
    }
    if (rowFlags & ROW_FLAG_DELETED) {
        text += QLatin1Char('D');
    }
    if (rowFlags & ROW_FLAG_RAW) {
        text += QLatin1Char('R');
    }
    if (marked) {
        text += QChar(kMarkFlag);
    }
    return text;
}

QString ListTexts::TypeText(bool corrupted, std::uint32_t levelClass, bool raw) const {
    if (corrupted) {
        return Qs(text::kCorrupted);
    }
    if (raw) {
        return Qs(text::kRaw);
    }
    const int k = std::bit_width(levelClass);
    if (k < severityNames.size()) {
        return severityNames[k];
    }
    return QStringLiteral("type: %1").arg(levelClass);
}

LogListModel::LogListModel(QObject* parent) : QAbstractTableModel(parent) {}

void LogListModel::SetLog(CLog* log) {
    beginResetModel();
    m_pLog = log;
    m_nCount = 0;
    m_nLogColumns = log ? log->GetColumnCount() : 0;
    m_titles.clear();
    if (log) {
        for (const HDR_INFO& column : log->GetHeader().m_columns) {
            m_titles.push_back(FromU16(column.name));
        }
    }
    endResetModel();
}

void LogListModel::SetItemCount(int count) {
    if (count < 0 || !m_pLog) {
        count = 0;
    }
    if (count > m_nCount) {
        beginInsertRows(QModelIndex(), m_nCount, count - 1);
        m_nCount = count;
        endInsertRows();
    } else if (count < m_nCount) {
        beginRemoveRows(QModelIndex(), count, m_nCount - 1);
        m_nCount = count;
        endRemoveRows();
    }
    // In list view the newest rows come first, so every position may now
    // show another row. The view turns a range into one viewport update.
    if (m_nCount > 0 && columnCount() > 0) {
        emit dataChanged(index(0, 0), index(m_nCount - 1, columnCount() - 1));
    }
}

void LogListModel::RefreshColumnTitles() {
    if (!m_pLog) {
        return;
    }
    const auto& columns = m_pLog->GetHeader().m_columns;
    // A rebuilt header may have fewer columns than the list; those keep
    // their title.
    for (int i = 0; i < m_titles.size() && i < static_cast<int>(columns.size()); ++i) {
        m_titles[i] = FromU16(columns[static_cast<std::size_t>(i)].name);
    }
    if (m_nLogColumns > 0) {
        emit headerDataChanged(Qt::Horizontal, 0, m_nLogColumns - 1);
    }
}

QString LogListModel::CellText(int row, int column) const {
    if (!m_pLog || row < 0 || row >= m_nCount || column < 0) {
        return {};
    }
    if (column < m_nLogColumns) {
        if (m_pLog->GetCellText(row, column, m_cellText)) {
            return FromU16(m_cellText);
        }
        if (m_onMiss) {
            m_onMiss();
        }
        return {};
    }
    if (column == NumberColumn()) {
        return ListTexts::NumberText(m_pLog->GetVisibleCount(), row);
    }
    if (column == FlagsColumn()) {
        const REC_INFO_BASE* info = m_pLog->GetRow(row);
        bool marked = false;
        if (info && m_marks && !m_marks->Empty() && !m_pLog->IsDirectory()) {
            RowKey key;
            key.valid = true;
            key.record = info->record;
            key.row = info->row;
            key.auxiliary = info->auxiliary;
            marked = m_marks->Contains(key);
        }
        return ListTexts::FlagsText(info ? info->flags : 0, marked);
    }
    if (column == TypeColumn()) {
        std::uint32_t rowFlags = 0;
        if (!m_pLog->GetRowFlags(row, rowFlags)) {
            return {};
        }
        if (rowFlags & (ROW_FLAG_CORRUPTED | ROW_FLAG_RAW)) {
            return m_texts.TypeText((rowFlags & ROW_FLAG_CORRUPTED) != 0, 0, true);
        }
        std::uint32_t levelClass = 0;
        if (!m_pLog->GetRowLevelClass(row, levelClass)) {
            return {};
        }
        return m_texts.TypeText(false, levelClass);
    }
    return {};
}

int LogListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_nCount; }

int LogListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() || !m_pLog ? 0 : m_nLogColumns + 3;
}

QVariant LogListModel::data(const QModelIndex& index, int role) const {
    if (!m_pLog || !index.isValid()) {
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
        return CellText(index.row(), index.column());
    case Qt::ToolTipRole: {
        // The full text, for cells too narrow to show it; none for an empty cell.
        QString text = CellText(index.row(), index.column());
        return text.isEmpty() ? QVariant() : QVariant(text);
    }
    case Qt::TextAlignmentRole: {
        const bool right = index.column() == NumberColumn() || index.column() == FlagsColumn();
        return QVariant::fromValue(Qt::AlignVCenter | (right ? Qt::AlignRight : Qt::AlignLeft));
    }
    case Qt::ForegroundRole:
        return RowForeground(index.row());
    case Qt::BackgroundRole:
        return RowBackground(index.row());
    case Qt::FontRole:
        // Rows the walk has not confirmed yet are set apart until it has.
        if (m_pLog->RowsProvisional()) {
            QFont font;
            font.setItalic(true);
            return font;
        }
        return {};
    default:
        return {};
    }
}

QVariant LogListModel::RowForeground(int row) const {
    const RowColours* colours = ColoursOf(*m_pLog, row);
    return colours ? QVariant(QBrush(colours->text)) : QVariant();
}

QVariant LogListModel::RowBackground(int row) const {
    const RowColours* colours = ColoursOf(*m_pLog, row);
    return colours ? QVariant(QBrush(colours->background)) : QVariant();
}

QVariant LogListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || !m_pLog) {
        return {};
    }
    if (role == Qt::TextAlignmentRole) {
        const bool right = section == NumberColumn() || section == FlagsColumn();
        return QVariant::fromValue(Qt::AlignVCenter | (right ? Qt::AlignRight : Qt::AlignLeft));
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    if (section >= 0 && section < m_nLogColumns) {
        return section < m_titles.size() ? m_titles[section] : QString();
    }
    if (section == NumberColumn()) {
        return m_texts.number;
    }
    if (section == FlagsColumn()) {
        return m_texts.flags;
    }
    if (section == TypeColumn()) {
        return m_texts.type;
    }
    return {};
}

}  // namespace korv
