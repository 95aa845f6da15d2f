#pragma once
// The record window: one record of a log, in file order, opened by a double
// click in another viewer window. It behaves as any viewer window except
// that its copy commands take the cells through GetRowCellsLimited.

#include "ui/log_viewer_dlg.h"

class CLogViewerDlgDetail : public CLogViewerDlg {
    Q_OBJECT

public:
    explicit CLogViewerDlgDetail(QWidget* owner) : CLogViewerDlg(owner) {}

protected:
    korv::CellSource CopySource() const override { return korv::CellSource::kLimited; }
};
