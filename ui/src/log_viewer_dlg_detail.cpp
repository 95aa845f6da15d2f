#include "ui/log_viewer_dlg_detail.h"

#include "ui/clipboard.h"
#include "ui/log_list_ctrl.h"

void CLogViewerDlgDetail::OnCopy() {
    if (GetLog().IsOpen()) {
        korv::CopyRows(&GetLog(), GetList()->GetSelectedPositions(), korv::CellSource::kLimited);
    }
}

void CLogViewerDlgDetail::OnCopyAll() {
    if (GetLog().IsOpen()) {
        korv::CopyAllRows(&GetLog(), korv::CellSource::kLimited);
    }
}
