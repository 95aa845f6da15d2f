// The viewer window end to end: start-up, opening files, records and
// directories, the repair question, a growing log, the list's own columns,
// time zones, closing and child windows.

#include "shown_window.h"
#include "viewer_environment.h"

#include "logstore/disklog.h"
#include "resources/ids.h"
#include "ui/log_list_ctrl.h"
#include "ui/log_viewer_app.h"
#include "ui/log_viewer_dlg.h"
#include "ui/log_viewer_dlg_detail.h"
#include "ui/status_bar.h"
#include "ui/ui_text.h"

#include <gtest/gtest.h>

#include <QItemSelectionModel>
#include <QLabel>
#include <QPointer>
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QTest>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace korv::test {
namespace {

const QString kPlainTitle = QStringLiteral("KORV Log Viewer [1.5.8.0]");

std::unique_ptr<CLogViewerDlg> StartWindow(const QString& path) { return StartShownWindow(path); }

QString Pane(const CLogViewerDlg& dlg, int pane) { return PaneText(dlg, pane); }

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A log of `count` one-row Events records (auxiliary values 1..count).
std::string WriteEvents(const std::string& dir, int count) {
    const std::string path = dir + "/warnlog.dat";
    EXPECT_TRUE(RunWriter("append-json " + path, EventsJson(0, count)));
    return path;
}

bool ShowsCount(const CLogViewerDlg& dlg, int visible, int total) {
    return Pane(dlg, 1) == QStringLiteral("Cnt: %1 of %2").arg(visible).arg(total);
}

// Every test starts from empty settings: a filter stored by one must not
// hide rows in the next.
class ViewerWindow : public ::testing::Test {
protected:
    void SetUp() override { ClearViewerSettings(); }
};

TEST_F(ViewerWindow, StartsWithTheEmptyTitleAndPanes) {
    auto dlg = StartWindow({});
    EXPECT_EQ(dlg->windowTitle(), kPlainTitle);
    const QStringList panes = {"Done", "Cnt: 0 of 0", "Sel: 0", "Del: 0", "Corr: 0", "UTC: 0"};
    for (int i = 0; i < panes.size(); ++i) {
        EXPECT_EQ(Pane(*dlg, i), panes[i]) << i;
    }
    // Only the first pane takes the width a wider window gains.
    const auto paneWidth = [&](int i) { return FindControl<QLabel>(dlg->GetStatusBar(), ctrl::kStatusBar * 10 + i)->width(); };
    dlg->resize(800, 400);
    QTest::qWait(20);
    const int first = paneWidth(0), second = paneWidth(1);
    EXPECT_GE(second, 120);
    dlg->resize(1200, 400);
    QTest::qWait(20);
    EXPECT_GE(paneWidth(0), first + 350);
    EXPECT_EQ(paneWidth(1), second);
    QTest::qWait(250);  // the progress timer keeps "Done" while nothing loads
    EXPECT_EQ(Pane(*dlg, 0), "Done");
    EXPECT_FALSE(dlg->GetLog().IsOpen());
    EXPECT_NE(dlg->GetMenuBar(), nullptr);
    ASSERT_NE(CLogViewerApp::Instance(), nullptr);
    EXPECT_TRUE(CLogViewerApp::Instance()->IsAccelWindow(dlg.get()));
}

TEST_F(ViewerWindow, OpensAFileOrOneOfItsRecords) {
    const std::string path = WriteEvents(FreshDir("open"), 20);
    const struct {
        QString suffix;
        int viewMode;
        int fixed;
        int visible;
    } cases[] = {{"", LOG_VIEW_LIST, -1, 20}, {":12", LOG_VIEW_RECORD, 12, 1}, {":", LOG_VIEW_RECORD, 0, 1}};
    for (const auto& c : cases) {
        MessageBoxAnswerer answerer;
        auto dlg = StartWindow(QString::fromStdString(path) + c.suffix);
        ASSERT_TRUE(dlg->GetLog().IsOpen()) << c.suffix.toStdString();
        EXPECT_EQ(dlg->GetLog().GetViewMode(), c.viewMode);
        EXPECT_EQ(dlg->GetLog().GetFixedRecord(), c.fixed);
        EXPECT_TRUE(WaitFor([&] { return ShowsCount(*dlg, c.visible, c.visible); })) << Pane(*dlg, 1).toStdString();
        EXPECT_EQ(dlg->GetList()->GetItemCount(), c.visible);
        // A record window loads its record itself and never follows the file.
        EXPECT_EQ(dlg->GetUpdater().IsRunning(), c.fixed < 0);
        // A record window's title names its record.
        const QString record = c.fixed < 0 ? QString() : QStringLiteral(":%1").arg(c.fixed);
        EXPECT_EQ(dlg->windowTitle(), kPlainTitle + " - Events (" + QString::fromStdString(path) + record + ") ");
        EXPECT_EQ(answerer.shown, 0);
    }
}

TEST_F(ViewerWindow, MissingPathIsToldInThePaneAndUnknownFileInABox) {
    const std::string dir = FreshDir("unknown");
    {
        MessageBoxAnswerer answerer;
        auto dlg = StartWindow(QString::fromStdString(dir + "/nothing-here.dat"));
        QTest::qWait(150);
        EXPECT_EQ(answerer.shown, 0);
        EXPECT_FALSE(dlg->GetLog().IsOpen());
        EXPECT_EQ(dlg->windowTitle(), kPlainTitle);
        EXPECT_EQ(Pane(*dlg, 0), QString::fromStdString("No such file or directory: " + dir + "/nothing-here.dat"));
    }
    std::ofstream(dir + "/notes.bin") << "just some text, no log at all";
    MessageBoxAnswerer answerer;
    auto dlg = StartWindow(QString::fromStdString(dir + "/notes.bin"));
    EXPECT_EQ(answerer.shown, 1);
    EXPECT_EQ(answerer.text, "Unknown log type.");
    EXPECT_EQ(answerer.caption, kPlainTitle);
    EXPECT_FALSE(dlg->GetLog().IsOpen());
}

TEST_F(ViewerWindow, LogWhoseFirstRecordWasLostIsToldHowToRepairAndOpensOnceRepaired) {
    // No known name, so only its first record could say what it is, and that one was lost.
    const std::string dir = FreshDir("lostfirst");
    const std::string written = WriteEvents(dir, 10);
    ASSERT_TRUE(RunWriter("gap " + written + " 0"));
    const std::string path = dir + "/lost.bin";
    std::filesystem::rename(written, path);
    {
        MessageBoxAnswerer answerer;
        auto dlg = StartWindow(QString::fromStdString(path));
        EXPECT_EQ(answerer.shown, 1);
        EXPECT_TRUE(answerer.text.startsWith("Unknown log type. ")) << answerer.text.toStdString();
        EXPECT_TRUE(answerer.text.contains(QString::fromStdString("korvlog repair " + path)))
            << answerer.text.toStdString();
        EXPECT_FALSE(dlg->GetLog().IsOpen());
    }
    {
        DiskLogHandle file = DiskLogOpen(path, DISKLOG_OPEN_WRITE);
        ASSERT_TRUE(file);
        ASSERT_TRUE(DiskLogRepair(file.get()));
    }
    // Repaired, its first record is a placeholder; the next one says it is an Events log.
    MessageBoxAnswerer answerer;
    auto dlg = StartWindow(QString::fromStdString(path));
    EXPECT_EQ(answerer.shown, 0) << answerer.text.toStdString();
    ASSERT_TRUE(dlg->GetLog().IsOpen());
    EXPECT_TRUE(WaitFor([&] { return Pane(*dlg, 4) == "Corr: 1"; })) << Pane(*dlg, 4).toStdString();
    // The placeholder stands for the lost record: shown although it is a deleted record.
    EXPECT_TRUE(ShowsCount(*dlg, 10, 10)) << Pane(*dlg, 1).toStdString();
}

TEST_F(ViewerWindow, RepairQuestionAnsweredNoThenYes) {
    const std::string path = WriteEvents(FreshDir("repair"), 10);
    ASSERT_TRUE(RunWriter("gap " + path + " 4"));
    const std::string damaged = ReadAll(path);
    {
        MessageBoxAnswerer answerer(QMessageBox::No);
        auto dlg = StartWindow(QString::fromStdString(path));
        EXPECT_EQ(answerer.shown, 1);
        // The question names the file it would change, on a line of its own.
        EXPECT_EQ(answerer.text, QString::fromStdString("Unable to open a log. Do you want to scan it for errors and "
                                                        "fix it?\n\n" + path));
        EXPECT_EQ(answerer.caption, "Fix log?");
        EXPECT_FALSE(dlg->GetLog().IsOpen());
        EXPECT_EQ(dlg->windowTitle(), kPlainTitle);
        QTest::qWait(150);
        EXPECT_TRUE(Pane(*dlg, 0).startsWith("The log did not open: the record chain breaks at offset "))
            << Pane(*dlg, 0).toStdString();
        EXPECT_TRUE(ShowsCount(*dlg, 0, 0));
    }
    EXPECT_EQ(ReadAll(path), damaged);
    MessageBoxAnswerer answerer(QMessageBox::Yes);
    auto dlg = StartWindow(QString::fromStdString(path));
    EXPECT_EQ(answerer.shown, 1);
    ASSERT_TRUE(dlg->GetLog().IsOpen());
    EXPECT_TRUE(WaitFor([&] { return Pane(*dlg, 4) == "Corr: 1"; })) << Pane(*dlg, 4).toStdString();
    // The placeholder is a deleted record, but it stands for lost data: the default filter
    // shows it.
    EXPECT_TRUE(ShowsCount(*dlg, 10, 10)) << Pane(*dlg, 1).toStdString();
    EXPECT_NE(ReadAll(path), damaged);
}

TEST_F(ViewerWindow, FileWithoutHeaderMagicIsNeverOfferedForRepair) {
    const std::string path = FreshDir("nomagic") + "/warnlog.dat";
    const std::string bytes(200, 'x');
    std::ofstream(path, std::ios::binary) << bytes;
    MessageBoxAnswerer answerer(QMessageBox::Yes);
    auto dlg = StartWindow(QString::fromStdString(path));
    EXPECT_EQ(answerer.shown, 0);
    EXPECT_FALSE(dlg->GetLog().IsOpen());
    EXPECT_EQ(ReadAll(path), bytes);
}

TEST_F(ViewerWindow, GrowingLogKeepsTheSelection) {
    const std::string path = WriteEvents(FreshDir("grow"), 5);
    auto dlg = StartWindow(QString::fromStdString(path));
    ASSERT_TRUE(WaitFor([&] { return ShowsCount(*dlg, 5, 5); }));
    CLogListCtrl* list = dlg->GetList();
    // Newest first: position 1 is the record with auxiliary value 4.
    list->selectionModel()->select(list->model()->index(1, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ASSERT_EQ(dlg->GetLog().GetRow(1)->auxiliary, 4u);
    EXPECT_EQ(Pane(*dlg, 2), "Sel: 1");
    ASSERT_TRUE(RunWriter("append-json " + path, EventsJson(5, 3)));
    EXPECT_TRUE(WaitFor([&] { return ShowsCount(*dlg, 8, 8); }, 4000)) << Pane(*dlg, 1).toStdString();
    EXPECT_EQ(list->GetSelectedPositions(), std::vector<int>{4});
    EXPECT_EQ(dlg->GetLog().GetRow(4)->auxiliary, 4u);
}

TEST_F(ViewerWindow, OwnColumnsNumberFlagAndTypeRows) {
    const std::string dir = FreshDir("columns");
    const std::string path = WriteEvents(dir, 250);
    ASSERT_TRUE(RunWriter("append-json " + path, "{\"type\": 0, \"flags\": 1, \"aux\": 999, \"payload_hex\": \"00\"}\n"));
    auto dlg = StartWindow(QString::fromStdString(path));
    // The corrupted placeholder is a deleted record, but it stands for lost data: the
    // default filter, which hides deleted rows, shows it at the top.
    ASSERT_TRUE(WaitFor([&] { return ShowsCount(*dlg, 251, 251); })) << Pane(*dlg, 1).toStdString();
    CLogListCtrl* list = dlg->GetList();
    const int number = list->GetExtraColumn(CLogListCtrl::kExtraNumber);
    const int flags = list->GetExtraColumn(CLogListCtrl::kExtraFlags);
    const int type = list->GetExtraColumn(CLogListCtrl::kExtraType);
    EXPECT_EQ(list->GetItemText(0, number), "251");
    EXPECT_EQ(list->GetItemText(250, number), "1");
    EXPECT_EQ(list->GetItemText(1, type), "Warning");  // level 0x40000000
    EXPECT_EQ(Pane(*dlg, 3), "Del: 1");
    EXPECT_EQ(Pane(*dlg, 4), "Corr: 1");
    dlg->OnCommand(cmd::kFilterDeleted);
    EXPECT_TRUE(ShowsCount(*dlg, 251, 251)) << Pane(*dlg, 1).toStdString();
    EXPECT_EQ(list->GetItemText(0, flags), "CD");
    EXPECT_EQ(list->GetItemText(0, type), "Corrupted");
    EXPECT_EQ(list->GetItemText(1, flags), "");
}

TEST_F(ViewerWindow, TimeZoneSetsTzAndThePane) {
    const std::string path = WriteEvents(FreshDir("tz"), 3);
    auto dlg = StartWindow(QString::fromStdString(path));
    ASSERT_TRUE(WaitFor([&] { return ShowsCount(*dlg, 3, 3); }));
    const struct {
        int offset;
        const char* tz;
        const char* pane;
    } cases[] = {{-5, "UTC+5", "UTC: -5"}, {3, "UTC-3", "UTC: 3"}, {0, "UTC+0", "UTC: 0"}};
    for (const auto& c : cases) {
        dlg->ApplyUtcOffset(c.offset);
        EXPECT_STREQ(std::getenv("TZ"), c.tz);
        EXPECT_EQ(Pane(*dlg, 5), c.pane);
        EXPECT_EQ(dlg->GetUtcOffset(), c.offset);
        // The log is shown again after the reload, criteria kept.
        EXPECT_TRUE(WaitFor([&] { return ShowsCount(*dlg, 3, 3); })) << c.offset;
        EXPECT_EQ(dlg->GetLog().GetFilter().m_nTypeMask, 31u);
    }
}

TEST_F(ViewerWindow, EscapeNeverClosesExitDoes) {
    auto dlg = StartWindow({});
    auto* child = new CLogViewerDlg(dlg.get());
    child->OnInitDialog();
    child->show();
    for (QWidget* w : {static_cast<QWidget*>(dlg.get()), static_cast<QWidget*>(child)}) {
        QTest::keyClick(w, Qt::Key_Escape);
        EXPECT_TRUE(w->isVisible());
    }
    dlg->OnCommand(cmd::kExit);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
}

TEST_F(ViewerWindow, ChildWindowsOpenAndCloseOnTheirOwn) {
    const std::string demo = FreshDir("demo");
    ASSERT_TRUE(RunWriter("demo " + demo + " --count 20"));
    const std::string scans = demo + "/AppData/Logs/escan";
    auto dlg = StartWindow(QString::fromStdString(scans));
    ASSERT_TRUE(dlg->GetLog().IsDirectory());
    ASSERT_TRUE(WaitFor([&] { return ShowsCount(*dlg, 4, 4); })) << Pane(*dlg, 1).toStdString();

    // A directory row opens a plain window on that file.
    dlg->ShowRecordWindow(0);
    ASSERT_EQ(dlg->ChildWindows().size(), 1);
    QPointer<CLogViewerDlg> fileWindow = dlg->ChildWindows().front();
    EXPECT_EQ(fileWindow->GetMenuBar(), nullptr);
    ASSERT_TRUE(fileWindow->GetLog().IsOpen());
    EXPECT_EQ(fileWindow->GetLog().GetDisplayPath(false),
              scans + "/" + QString::fromStdU16String(dlg->GetLog().GetDirectoryRowFile(0)).toStdString());
    EXPECT_EQ(fileWindow->GetLog().GetViewMode(), LOG_VIEW_RECORD);
    // A single scan log is loaded once: its updater stops after the first pass.
    EXPECT_TRUE(WaitFor([&] { return fileWindow->GetLog().GetVisibleCount() > 0 && !fileWindow->GetUpdater().IsRunning(); }));

    // A record window on one record of that file.
    const QString file = QString::fromStdString(fileWindow->GetLog().GetDisplayPath(false));
    QPointer<CLogViewerDlg> recordWindow = new CLogViewerDlgDetail(dlg.get());
    CCommandLineInfo request{CCommandLineInfo::FileOpen, file + ":1"};
    recordWindow->SetStartupRequest(&request);
    recordWindow->OnInitDialog();
    recordWindow->show();
    ASSERT_TRUE(recordWindow->GetLog().IsOpen());
    EXPECT_EQ(recordWindow->GetLog().GetFixedRecord(), 1);
    EXPECT_EQ(dlg->ChildWindows().size(), 2);

    // Closing them leaves the main window as it was.
    fileWindow->close();
    recordWindow->close();
    EXPECT_TRUE(WaitFor([&] { return fileWindow.isNull() && recordWindow.isNull(); }));
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_TRUE(dlg->GetLog().IsOpen());
    EXPECT_TRUE(ShowsCount(*dlg, 4, 4));

    // Children still open when the main window goes are destroyed with it.
    dlg->ShowRecordWindow(1);
    ASSERT_EQ(dlg->ChildWindows().size(), 1);
    QPointer<CLogViewerDlg> left = dlg->ChildWindows().front();
    dlg.reset();
    EXPECT_TRUE(left.isNull());
}

TEST_F(ViewerWindow, RecordWindowCopiesItsOwnRows) {
    const std::string path = WriteEvents(FreshDir("copy"), 4);
    auto dlg = StartWindow(QString::fromStdString(path));
    ASSERT_TRUE(WaitFor([&] { return ShowsCount(*dlg, 4, 4); }));
    auto* record = new CLogViewerDlgDetail(dlg.get());
    CCommandLineInfo request{CCommandLineInfo::FileOpen, QString::fromStdString(path) + ":2"};
    record->SetStartupRequest(&request);
    record->OnInitDialog();
    record->show();
    ASSERT_TRUE(record->GetLog().IsOpen());
    record->OnCommand(cmd::kSelectAll);
    record->OnCommand(cmd::kCopy);
    // File order, no time column: the cells of record 2 alone.
    const QString copied = QGuiApplication::clipboard()->text();
    EXPECT_TRUE(copied.startsWith("Kernel\t")) << copied.toStdString();
    EXPECT_TRUE(copied.endsWith("\tuser2\t\r\n")) << copied.toStdString();
    EXPECT_EQ(copied.count("\r\n"), 1);
    // The main window's Copy All takes every row, newest first, time first.
    dlg->OnCommand(cmd::kCopyAll);
    const QString all = QGuiApplication::clipboard()->text();
    EXPECT_EQ(all.count("\r\n"), 4);
    const QString first = all.left(all.indexOf("\r\n"));
    EXPECT_EQ(first.count('\t'), 4) << first.toStdString();
    EXPECT_TRUE(first.endsWith("\tuser3\t")) << first.toStdString();
}

TEST_F(ViewerWindow, AcceleratorsOnlyInRegisteredWindows) {
    const std::string path = WriteEvents(FreshDir("accel"), 6);
    auto dlg = StartWindow(QString::fromStdString(path));
    ASSERT_TRUE(WaitFor([&] { return ShowsCount(*dlg, 6, 6); }));
    dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    QTest::keyClick(dlg->GetList(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(dlg->GetList()->GetSelectedPositions().size(), 6u);
    EXPECT_EQ(Pane(*dlg, 2), "Sel: 6");
    // F3 before any search moves to the next row with the default criteria.
    dlg->GetList()->clearSelection();
    QTest::keyClick(dlg->GetList(), Qt::Key_F3);
    EXPECT_EQ(dlg->GetList()->GetSelectedPositions(), std::vector<int>{0});
    QTest::keyClick(dlg->GetList(), Qt::Key_F3);
    EXPECT_EQ(dlg->GetList()->GetSelectedPositions(), std::vector<int>{1});
    QTest::keyClick(dlg->GetList(), Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(dlg->GetList()->GetSelectedPositions(), std::vector<int>{0});

    // The find dialog is a window of its own: F3 there does not search.
    dlg->OnCommand(cmd::kFind);
    QWidget* find = dlg->GetFindDialog();
    ASSERT_NE(find, nullptr);
    QApplication::setActiveWindow(find);
    ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == find; }));
    dlg->GetList()->clearSelection();
    ASSERT_EQ(dlg->GetList()->HasSelection(), 0);
    QTest::keyClick(find, Qt::Key_F3);
    EXPECT_EQ(dlg->GetList()->HasSelection(), 0);
}

}  // namespace
}  // namespace korv::test
