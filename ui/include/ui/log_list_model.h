#pragma once
// The owner-data model behind CLogListCtrl: it keeps no row text, only the
// row count the window last set and the column titles, and asks the log for
// every cell when the view paints it.

#include <QAbstractTableModel>
#include <QColor>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CLog;

namespace korv {

class RowMarks;

// The severity names of string 105 and the texts of the list's own columns.
class ListTexts {
public:
    ListTexts();
    // "No.": the row count minus the position, so the first row shows the
    // highest number.
    static QString NumberText(int count, int position);
    // "C" corrupted, "D" deleted, "R" raw (made from the record's bytes),
    // in that order, followed by kMarkFlag for a marked row.
    static QString FlagsText(std::uint32_t flags, bool marked = false);
    static constexpr char16_t kMarkFlag = u'\u25CF';  // BLACK CIRCLE
    // "Corrupted" for a corrupted row; "Raw" for a raw row; else the severity
    // name of the class's bit length, or "type: N" beyond the names.
    QString TypeText(bool corrupted, std::uint32_t levelClass, bool raw = false) const;

    QString number, flags, type;  // column titles 107, 108, 106
    QStringList severityNames;    // string 105 split at '|'
};

// The text and background colours the list gives rows: one pair per
// severity and one for corrupted rows.
struct RowColourPair {
    QColor text;
    QColor background;
};
std::vector<RowColourPair> AllRowColours();

class LogListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit LogListModel(QObject* parent = nullptr);

    // Resets the model to the log's columns plus No., Flags and Type, with
    // no rows; null leaves no columns.
    void SetLog(CLog* log);
    // Rows are added or removed at the end, so the view keeps the selection
    // of the rows that stay; every row is repainted, their texts may differ.
    void SetItemCount(int count);
    int ItemCount() const { return m_nCount; }
    // Reads the log's column titles again.
    void RefreshColumnTitles();

    // Column numbers of the list's own columns; -1 with no log.
    int NumberColumn() const { return m_pLog ? m_nLogColumns : -1; }
    int FlagsColumn() const { return m_pLog ? m_nLogColumns + 1 : -1; }
    int TypeColumn() const { return m_pLog ? m_nLogColumns + 2 : -1; }

    // The text of a cell; empty when the log cannot give it yet, in which
    // case the miss handler runs (once per call).
    QString CellText(int row, int column) const;
    // The marks the Flags column shows (not owned; null for none). Repaint afterwards.
    void SetMarks(const RowMarks* marks) { m_marks = marks; }

    // Called on a cache miss of the log's own columns.
    void SetMissHandler(std::function<void()> handler) { m_onMiss = std::move(handler); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QVariant RowForeground(int row) const;
    QVariant RowBackground(int row) const;

    CLog* m_pLog = nullptr;  // not owned
    const RowMarks* m_marks = nullptr;  // not owned: the window's
    int m_nLogColumns = 0;
    int m_nCount = 0;
    QStringList m_titles;  // of the log's columns
    ListTexts m_texts;
    std::function<void()> m_onMiss;
    mutable std::u16string m_cellText;  // scratch of GetCellText, reused across cells
};

}  // namespace korv
