// The single scan log srvondemand.dat through the Logs menu and by path, and
// the Logs menu's items of kinds that share a name.

#include "shown_window.h"

#include "logmodel/log.h"
#include "logmodel/log_type.h"
#include "resources/ids.h"
#include "ui/viewer_text.h"

#include <cstdio>
#include <vector>

namespace korv::test {
namespace {

// srvondemand.dat, a single scan log, through the Logs menu and through Open File.
TEST_F(ShownWindowTest, ScanLogReadsTheSameFromTheLogsMenuAndByPath) {
    const std::string path = LogsDir() + "srvondemand.dat";
    std::remove(path.c_str());
    ASSERT_TRUE(RunWriter("append " + path + " --kind srvondemand --count 12 --seed 9"));
    const auto table = nsLog::GetLogTable();
    int entry = -1;
    for (size_t i = 0; i < table->size(); ++i) {
        if ((*table)[i].m_strFileName == "srvondemand.dat") entry = static_cast<int>(i);
    }
    ASSERT_GE(entry, 0);

    struct Shown {
        int viewMode = 0;
        QStringList titles;
        std::vector<QStringList> rows;
    };
    const auto shown = [](CLogViewerDlg& dlg) {
        Shown s;
        s.viewMode = dlg.GetLog().GetViewMode();
        CLogListCtrl* list = dlg.GetList();
        const int columns = static_cast<int>(dlg.GetLog().GetHeader().m_columns.size());
        for (int c = 0; c < columns; ++c) {
            s.titles << list->model()->headerData(c, Qt::Horizontal).toString();
        }
        for (int r = 0; r < list->GetItemCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < columns; ++c) cells << list->GetItemText(r, c);
            s.rows.push_back(cells);
        }
        return s;
    };

    auto dlg = StartShownWindow();
    ASSERT_TRUE(dlg->OpenProductLog(entry));
    ASSERT_TRUE(WaitFor([&] { return LoadedRows(*dlg, 12); }));
    const Shown fromMenu = shown(*dlg);
    ASSERT_TRUE(dlg->OpenLog(QString::fromStdString(path)));
    ASSERT_TRUE(WaitFor([&] { return LoadedRows(*dlg, 12); }));
    const Shown byPath = shown(*dlg);

    EXPECT_EQ(byPath.viewMode, LOG_VIEW_RECORD);
    EXPECT_EQ(fromMenu.viewMode, byPath.viewMode);
    EXPECT_EQ(fromMenu.titles, byPath.titles);
    EXPECT_EQ(fromMenu.rows, byPath.rows);
    EXPECT_EQ(fromMenu.rows.size(), 12u);
}

// Server scan is both a directory of scans and the single scan log
// srvondemand.dat; the menu must not offer two items that read the same.
TEST(LogsMenu, KindsOfOneNameAreToldApartByTheirFile) {
    const LogTable table = MakeLogTable({{12, 1}, {3, 1}, {1, 1}, {2, 1}});
    const std::vector<LogsMenuItem> want = {{0, "Server scan"},
                                            {1, "Computer scan"},
                                            {5, "Detections"},
                                            {7, "Events"},
                                            {21, "Server scan (srvondemand.dat)"}};
    EXPECT_EQ(BuildLogsMenuItems(table, cmd::kLogsLast - cmd::kLogsFirst + 1), want);
    EXPECT_EQ(BuildLogsMenuItems(table, 6).size(), 3u) << "entries past the limit are left out";
    EXPECT_TRUE(BuildLogsMenuItems(MakeLogTable({}), 50).empty());
}

}  // namespace
}  // namespace korv::test
