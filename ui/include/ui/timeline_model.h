#pragma once
// The virtual list of a timeline window: it keeps no row text, only the row count of the
// last merge, and asks the logs for a row's texts when the view paints it.

#include <QAbstractTableModel>

#include <array>
#include <string>

#include "ui/timeline_logs.h"

namespace korv {

class TimelineModel : public QAbstractTableModel {
    Q_OBJECT

public:
    // `logs` must outlive the model.
    explicit TimelineModel(TimelineLogs& logs, QObject* parent = nullptr);

    // The logs were merged again: every row may have moved.
    void Reload();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    TimelineLogs& m_logs;
    int m_nRows = 0;
    // The texts of the row painted last: a row's four cells are asked for one after the
    // other, and each row's texts cost a record decode.
    mutable int m_nCachedRow = -1;
    mutable std::array<std::u16string, kTimelineColumns> m_cached;
};

}  // namespace korv
