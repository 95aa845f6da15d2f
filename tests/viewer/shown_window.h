#pragma once
// Helpers of the viewer-window tests that look at what the user sees: a
// started window, its panes, a loaded log, a file's bytes.

#include "ui/log_list_ctrl.h"
#include "ui/log_viewer_dlg.h"
#include "ui/status_bar.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "viewer_environment.h"

namespace korv::test {

// A shown window after OnInitDialog, opening `path` when one is given.
inline std::unique_ptr<CLogViewerDlg> StartShownWindow(const QString& path = {}) {
    auto dlg = std::make_unique<CLogViewerDlg>();
    CCommandLineInfo request;
    if (!path.isEmpty()) {
        request.m_nShellCommand = CCommandLineInfo::FileOpen;
        request.m_strFileName = path;
    }
    dlg->SetStartupRequest(&request);
    dlg->OnInitDialog();
    dlg->SetStartupRequest(nullptr);
    dlg->show();
    return dlg;
}

inline QString PaneText(const CLogViewerDlg& dlg, int pane) { return dlg.GetStatusBar()->PaneText(pane); }

// The window's log is open with `rows` rows in the list and no pass running.
inline bool LoadedRows(CLogViewerDlg& dlg, int rows) {
    return dlg.GetLog().IsOpen() && dlg.GetList()->GetItemCount() == rows && !dlg.GetUpdater().IsBusy();
}

inline std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Each test starts from empty settings: a filter stored by one must not
// hide rows in the next.
class ShownWindowTest : public ::testing::Test {
protected:
    void SetUp() override { ClearViewerSettings(); }
};

}  // namespace korv::test
