// The window against a fresh load of its file at every step of a user's session: a
// newest-first load, scrolling, filters (type, text, a period dragged on the strip), a time
// zone, a writer's appends; where the view stays after each change; the strip on scan logs.

#include "shown_window.h"
#include "viewer_environment.h"
#include "window_oracle.h"

#include "logmodel/log_updater_thread.h"
#include "logmodel/severity.h"
#include "logstore/disklog.h"
#include "resources/ids.h"
#include "ui/log_list_ctrl.h"
#include "ui/log_viewer_dlg.h"
#include "ui/timeline_strip.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <QTest>

#include <cstdint>
#include <cstdlib>
#include <filesystem>

namespace korv::test {
namespace {

class ViewerTruth : public ShownWindowTest {
protected:
    // A shown window whose logs of 64 KiB or more load newest first, opening `path`.
    static std::unique_ptr<CLogViewerDlg> StartNewestFirst(const std::string& path) {
        auto dlg = std::make_unique<CLogViewerDlg>();
        dlg->SetIndexLaterFrom(64 << 10);
        CCommandLineInfo request;
        request.m_nShellCommand = CCommandLineInfo::FileOpen;
        request.m_strFileName = QString::fromStdString(path);
        dlg->SetStartupRequest(&request);
        dlg->OnInitDialog();
        dlg->SetStartupRequest(nullptr);
        dlg->resize(1000, 500);
        dlg->show();
        return dlg;
    }
};

// The row at the top of the list is the shown row nearest in record order to `before`
// (`before` itself when it is still shown).
::testing::AssertionResult TopIsNearest(CLogListCtrl& list, const RowKey& before) {
    const RowKey top = list.KeyOfRow(list.GetTopIndex());
    const auto distance = [&](const RowKey& k) { return std::int64_t(std::llabs(std::int64_t(k.record) - before.record)); };
    std::int64_t best = INT64_MAX;
    for (int p = 0; p < list.GetItemCount(); ++p) {
        best = std::min(best, distance(list.KeyOfRow(p)));
    }
    if (!top.valid || distance(top) != best) {
        return ::testing::AssertionFailure() << "top is record " << top.record << ", the nearest to record "
                                             << before.record << " is " << best << " records away";
    }
    return ::testing::AssertionSuccess();
}

void ScrollTo(CLogListCtrl& list, int top) {
    list.verticalScrollBar()->setValue(top);
    QTest::qWait(20);
}

TEST_F(ViewerTruth, EveryStepOfASessionShowsWhatAFreshLoadShows) {
    const std::string path = FreshDir("truth") + "/eventlog.dat";
    ASSERT_TRUE(RunWriter("append " + path + " --kind eventlog --count 100000 --seed 11 --deleted-every 17"));
    ASSERT_GE(std::filesystem::file_size(path), 64u << 10);
    auto dlg = StartNewestFirst(path);
    CLogListCtrl& list = *dlg->GetList();
    const TimelineStrip& strip = *dlg->GetTimeline();

    // The load, newest page first, then every record: the strip counts each row once.
    ASSERT_TRUE(WaitFor([&] { return list.GetItemCount() > 0; }, 10000));
    const int firstRows = list.GetItemCount();
    ASSERT_TRUE(WaitForTruth(*dlg));
    // Whether the rows came newest page first depends on how fast the walk is; say so when not.
    if (firstRows == list.GetItemCount()) {
        RecordProperty("newest_first", "the walk ended before the page was shown");
    }
    EXPECT_GT(strip.Histogram().Buckets().size(), 3u);
    EXPECT_EQ(strip.Histogram().CountedRows(), std::uint64_t(list.GetItemCount()));

    // Scrolled a little: a type filter keeps the record at the top while it passes.
    ScrollTo(list, 40);
    EXPECT_TRUE(WindowShowsTheTruth(*dlg));
    RowKey top = list.KeyOfRow(list.GetTopIndex());
    std::uint32_t topClass = 0;
    ASSERT_TRUE(dlg->GetLog().GetRowLevelClass(list.GetTopIndex(), topClass));
    CLogFilterData criteria = dlg->GetLog().GetFilter();
    criteria.m_nTypeMask = 0x1F & ~(topClass == FILTER_TYPE_DIAGNOSTIC ? FILTER_TYPE_CRITICAL : FILTER_TYPE_DIAGNOSTIC);
    dlg->ApplyFilterCriteria(criteria);
    EXPECT_TRUE(WindowShowsTheTruth(*dlg, WindowPhase::kComplete));
    EXPECT_EQ(list.KeyOfRow(list.GetTopIndex()), top);

    // ...and gives its place to the nearest row once it no longer passes.
    criteria.m_nTypeMask = 0x1F & ~topClass;
    dlg->ApplyFilterCriteria(criteria);
    EXPECT_TRUE(WindowShowsTheTruth(*dlg, WindowPhase::kComplete));
    EXPECT_TRUE(TopIsNearest(list, top));
    EXPECT_GT(list.GetTopIndex(), 0) << "the place is not the top of the list";

    // A text filter, re-read in the background, ends at the same place.
    top = list.KeyOfRow(list.GetTopIndex());
    std::u16string text;
    ASSERT_TRUE(dlg->GetLog().GetCellText(list.GetTopIndex() + 25, 2, text));
    ASSERT_GE(text.size(), 3u);
    criteria.m_strText = text.substr(0, 3);
    dlg->ApplyFilterCriteria(criteria);
    ASSERT_TRUE(WaitForTruth(*dlg, 30000, false));
    EXPECT_TRUE(TopIsNearest(list, top));

    // At the very top, a filter leaves the newest rows in sight.
    criteria.m_strText.clear();
    dlg->ApplyFilterCriteria(criteria);
    ScrollTo(list, 0);
    criteria.m_nTypeMask = 0x1F;
    dlg->ApplyFilterCriteria(criteria);
    EXPECT_TRUE(WindowShowsTheTruth(*dlg, WindowPhase::kComplete));
    EXPECT_EQ(list.verticalScrollBar()->value(), 0);

    // A period dragged on the strip: the place is kept by record there too.
    ScrollTo(list, 300);
    top = list.KeyOfRow(list.GetTopIndex());
    const int y = strip.height() / 2;
    const int from = strip.width() / 3, to = strip.width() / 2;
    QTest::mousePress(const_cast<TimelineStrip*>(&strip), Qt::LeftButton, {}, QPoint(from, y));
    QTest::mouseMove(const_cast<TimelineStrip*>(&strip), QPoint(to, y));
    QTest::mouseRelease(const_cast<TimelineStrip*>(&strip), Qt::LeftButton, {}, QPoint(to, y));
    ASSERT_EQ(dlg->GetLog().GetFilter().Period(), FILTER_PERIOD_RANGE);
    EXPECT_TRUE(WindowShowsTheTruth(*dlg, WindowPhase::kComplete));
    EXPECT_TRUE(TopIsNearest(list, top));

    // A double click clears the period and selects nothing.
    list.clearSelection();
    QTest::mouseDClick(const_cast<TimelineStrip*>(&strip), Qt::LeftButton, {}, QPoint(from, y));
    QTest::qWait(QApplication::doubleClickInterval() + 100);
    EXPECT_EQ(dlg->GetLog().GetFilter().Period(), FILTER_PERIOD_WHOLE);
    EXPECT_TRUE(list.GetSelectedPositions().empty()) << "the double click also acted as a click";
    EXPECT_TRUE(WindowShowsTheTruth(*dlg, WindowPhase::kComplete));
    // One click on a bar still goes to its first row, once the double-click time is over.
    QTest::mouseClick(const_cast<TimelineStrip*>(&strip), Qt::LeftButton, {}, QPoint(strip.width() / 2, y));
    EXPECT_TRUE(WaitFor([&] { return list.GetSelectedPositions().size() == 1; }, 2000));

    // A time zone: other buckets, the same selection and top record.
    ScrollTo(list, 120);
    list.selectRow(list.GetTopIndex() + 2);
    const std::vector<RowKey> selected{list.KeyOfRow(list.GetTopIndex() + 2)};
    top = list.KeyOfRow(list.GetTopIndex());
    dlg->ApplyUtcOffset(5);
    ASSERT_TRUE(WaitForTruth(*dlg));
    EXPECT_EQ(list.KeyOfRow(list.GetTopIndex()), top);
    ASSERT_EQ(list.GetSelectedPositions().size(), 1u);
    EXPECT_EQ(list.KeyOfRow(list.GetSelectedPositions()[0]), selected[0]);

    // A language: the same rows, selection and top record.
    if (dlg->GetLanguages().size() > 1) {
        dlg->OnCommand(cmd::kLanguageFirst + 1);
        ASSERT_TRUE(WaitForTruth(*dlg));
        EXPECT_EQ(list.KeyOfRow(list.GetTopIndex()), top);
        ASSERT_EQ(list.GetSelectedPositions().size(), 1u);
        EXPECT_EQ(list.KeyOfRow(list.GetSelectedPositions()[0]), selected[0]);
        dlg->OnCommand(cmd::kLanguageFirst);
    }

    // A writer appends: the new rows arrive above, the view stays on its record.
    ASSERT_TRUE(RunWriter("append " + path + " --kind eventlog --count 300 --seed 12"));
    ASSERT_TRUE(WaitForTruth(*dlg));
    EXPECT_EQ(dlg->GetLog().Rows().back().record, 100299);
    EXPECT_EQ(list.KeyOfRow(list.GetTopIndex()), top);
    dlg->ApplyUtcOffset(0);
    ASSERT_TRUE(WaitForTruth(*dlg));
}

// A gap mended by the repair, then appends: the placeholder's number is out of step with
// the records' positions, which a newest-first load must not take for the rows' records.
TEST_F(ViewerTruth, ARepairedGapAndLaterAppends) {
    const std::string path = FreshDir("truth-gap") + "/eventlog.dat";
    ASSERT_TRUE(RunWriter("append " + path + " --kind eventlog --count 30000 --seed 13"));
    ASSERT_TRUE(RunWriter("gap " + path + " 15000"));
    {
        DiskLogHandle file = DiskLogOpen(path, DISKLOG_OPEN_WRITE);
        ASSERT_TRUE(file);
        ASSERT_TRUE(DiskLogRepair(file.get()));
    }
    ASSERT_TRUE(RunWriter("append " + path + " --kind eventlog --count 40 --seed 14"));
    auto dlg = StartNewestFirst(path);
    ASSERT_TRUE(WaitForTruth(*dlg));
    ASSERT_TRUE(RunWriter("append " + path + " --kind eventlog --count 40 --seed 15"));
    ASSERT_TRUE(WaitForTruth(*dlg));
}

// Scan logs have times and levels too: a directory of computer scans and a single scan log.
TEST_F(ViewerTruth, TheStripCountsScanLogs) {
    const std::string dir = LogsDir() + "escan";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(RunWriter("append " + dir + "/ndl" + std::to_string(i) + ".dat --kind escan --count " +
                              std::to_string(3 + i) + " --seed " + std::to_string(20 + i)));
    }
    const std::string single = LogsDir() + "srvondemand.dat";
    std::remove(single.c_str());
    ASSERT_TRUE(RunWriter("append " + single + " --kind srvondemand --count 30 --seed 9"));

    auto dlg = StartShownWindow(QString::fromStdString(dir));
    ASSERT_TRUE(dlg->GetLog().IsDirectory());
    ASSERT_TRUE(WaitFor([&] { return LoadedRows(*dlg, 4); }));
    ASSERT_TRUE(WaitForTruth(*dlg));
    EXPECT_EQ(dlg->GetTimeline()->Histogram().CountedRows(), 4u);

    ASSERT_TRUE(dlg->OpenLog(QString::fromStdString(single)));
    ASSERT_EQ(dlg->GetLog().GetViewMode(), LOG_VIEW_RECORD);
    ASSERT_TRUE(WaitForTruth(*dlg));
    EXPECT_EQ(dlg->GetTimeline()->Histogram().CountedRows(), std::uint64_t(dlg->GetList()->GetItemCount()));
    EXPECT_GT(dlg->GetList()->GetItemCount(), 0);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace korv::test
