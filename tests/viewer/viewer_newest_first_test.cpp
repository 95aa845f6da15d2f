// A large log in the list: the newest rows show before the whole log is loaded, a row the
// user selects among them stays selected once everything is in, and a log whose chain
// turns out broken is offered for repair as when its open fails.

#include "shown_window.h"
#include "viewer_environment.h"

#include "logmodel/log_updater_thread.h"
#include "ui/log_list_ctrl.h"
#include "ui/log_viewer_dlg.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <filesystem>

namespace korv::test {
namespace {

class ViewerNewestFirst : public ShownWindowTest {};

// Whether every record down to record 0 is in the list and nothing is loading.
bool FullyLoaded(CLogViewerDlg& dlg) {
    const int count = dlg.GetList()->GetItemCount();
    if (count == 0 || dlg.GetUpdater().IsBusy()) {
        return false;
    }
    const REC_INFO_BASE* oldest = dlg.GetLog().GetRow(count - 1);
    return oldest != nullptr && oldest->record == 0;
}

TEST_F(ViewerNewestFirst, NewestRowsFirstAndASelectionMadeMeanwhileSurvivesTheLoad) {
    constexpr int kRecords = 180000;
    const std::string path = FreshDir("newest-first") + "/eventlog.dat";
    ASSERT_TRUE(RunWriter("append " + path + " --kind eventlog --count " + std::to_string(kRecords) +
                          " --seed 5"));
    ASSERT_GE(std::filesystem::file_size(path), CLog::kIndexLaterBytes);
    auto dlg = StartShownWindow(QString::fromStdString(path));
    dlg->resize(900, 400);
    CLogListCtrl* list = dlg->GetList();
    ASSERT_TRUE(WaitFor([&] { return list->GetItemCount() > 0; }, 10000));
    const int firstCount = list->GetItemCount();
    // The first rows are the newest records, top down.
    const REC_INFO_BASE* top = dlg->GetLog().GetRow(0);
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->record, kRecords - 1);

    // A row of the newest page, selected at once, whatever the load has reached.
    const int position = std::min(3, firstCount - 1);
    const REC_INFO_BASE chosen = *dlg->GetLog().GetRow(position);
    std::u16string chosenText;
    ASSERT_TRUE(dlg->GetLog().GetCellText(position, 2, chosenText));
    const QRect rect = list->visualRect(list->model()->index(position, 1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    ASSERT_EQ(list->GetSelectedPositions().size(), 1u);

    ASSERT_TRUE(WaitFor([&] { return FullyLoaded(*dlg); }, 60000));
    EXPECT_LT(firstCount, list->GetItemCount()) << "the first rows came with the whole log";
    const std::vector<int> selected = list->GetSelectedPositions();
    ASSERT_EQ(selected.size(), 1u);
    const REC_INFO_BASE* now = dlg->GetLog().GetRow(selected[0]);
    ASSERT_NE(now, nullptr);
    EXPECT_EQ(now->record, chosen.record);
    EXPECT_EQ(now->row, chosen.row);
    std::u16string nowText;
    ASSERT_TRUE(dlg->GetLog().GetCellText(selected[0], 2, nowText));
    EXPECT_EQ(nowText, chosenText);
    EXPECT_EQ(selected[0], position) << "rows loaded behind the page do not move it";
    EXPECT_EQ(PaneText(*dlg, 2), "Sel: 1");
}

TEST_F(ViewerNewestFirst, ABrokenChainFoundAfterTheOpenAsksForTheRepair) {
    const std::string path = FreshDir("broken-later") + "/eventlog.dat";
    // Large enough that the open leaves the walk to the updater.
    ASSERT_TRUE(RunWriter("append " + path + " --kind eventlog --count 180000 --seed 3"));
    ASSERT_GE(std::filesystem::file_size(path), CLog::kIndexLaterBytes);
    ASSERT_TRUE(RunWriter("gap " + path + " 100"));
    // The repair question is answered No: the log does not open.
    bool asked = false;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(w); box != nullptr && box->isVisible()) {
                asked = true;
                box->button(QMessageBox::No)->click();
            }
        }
    });
    answer.start(20);
    auto dlg = StartShownWindow(QString::fromStdString(path));
    EXPECT_FALSE(asked) << "the open itself does not walk the chain";
    ASSERT_TRUE(WaitFor([&] { return asked && !dlg->GetLog().IsOpen(); }, 10000));
    EXPECT_EQ(dlg->GetList()->GetItemCount(), 0);
}

}  // namespace
}  // namespace korv::test
