// The window as a user meets it while another writer grows the log: what was
// selected, scrolled to, right-clicked or opened stays the record it was;
// double-click and Enter open records; typing in the list does not search;
// the find window follows the log it searches; record windows leave the
// kind's settings alone; scan logs lose no rows to searches, filters or
// notifications of a log shown before.

#include "shown_window.h"
#include "viewer_environment.h"

#include "platform/file.h"
#include "resources/ids.h"
#include "ui/log_list_ctrl.h"
#include "ui/log_viewer_dlg.h"
#include "ui/log_viewer_dlg_detail.h"
#include "ui/menu_builder.h"
#include "ui/status_bar.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QMenu>
#include <QScrollBar>
#include <QSettings>
#include <QTest>

#include <chrono>
#include <thread>

namespace korv::test {
namespace {

std::unique_ptr<CLogViewerDlg> Open(const QString& path) {
    auto dlg = StartShownWindow(path);
    dlg->resize(900, 400);
    return dlg;
}

bool WaitCount(const CLogViewerDlg& dlg, int visible, int total, int ms = 5000) {
    const QString want = QStringLiteral("Cnt: %1 of %2").arg(visible).arg(total);
    return WaitFor([&] { return PaneText(dlg, 1) == want; }, ms);
}

// Events records whose rows all share auxiliary value `aux`; record i has
// `rowsEach` rows with users "u<i>.<row>".
std::string SharedAuxJson(int first, int count, int rowsEach, int aux = 7) {
    std::string lines;
    for (int i = first; i < first + count; ++i) {
        std::string rows;
        for (int r = 0; r < rowsEach; ++r) {
            rows += std::string(r ? "," : "") +
                    "{\"level\": \"0x40000000\", \"fields\": [{\"text\": \"Kernel\"}, {\"msg\": 53}, {\"text\": \"u" +
                    std::to_string(i) + "." + std::to_string(r) + "\"}]}";
        }
        lines += "{\"type\": \"0x00010002\", \"aux\": " + std::to_string(aux) +
                 ", \"time\": \"2026-12-08 10:00:00\", \"rows\": [" + rows + "]}\n";
    }
    return lines;
}

// The user column (the log's last column) of the row at a position.
QString UserAt(CLogViewerDlg& dlg, int position) {
    std::u16string text;
    dlg.GetLog().GetCellText(position, dlg.GetLog().GetColumnCount() - 1, text);
    return QString::fromStdU16String(text);
}

void ClickRow(CLogListCtrl* list, int row) {
    const QRect rect = list->visualRect(list->model()->index(row, 1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
}

class ViewerTrust : public ::testing::Test {
protected:
    void SetUp() override { ClearViewerSettings(); }
};

// Records share one auxiliary value, and each has three rows: one click still
// selects one row, and the copy takes that row alone, after every append.
TEST_F(ViewerTrust, OneClickedRowStaysTheOnlySelectedRowWhileTheLogGrows) {
    const std::string path = FreshDir("shared-aux") + "/warnlog.dat";
    ASSERT_TRUE(RunWriter("append-json " + path, SharedAuxJson(0, 4, 3)));
    auto dlg = Open(QString::fromStdString(path));
    ASSERT_TRUE(WaitCount(*dlg, 12, 12));
    CLogListCtrl* list = dlg->GetList();
    ClickRow(list, 4);  // record 2, its second row (newest first: u3.*, then u2.*)
    const QString clicked = UserAt(*dlg, 4);
    ASSERT_EQ(PaneText(*dlg, 2), "Sel: 1");
    for (int round = 1; round <= 3; ++round) {
        ASSERT_TRUE(RunWriter("append-json " + path, SharedAuxJson(4 * round, 4, 3)));
        ASSERT_TRUE(WaitCount(*dlg, 12 + 12 * round, 12 + 12 * round)) << PaneText(*dlg, 1).toStdString();
        EXPECT_EQ(PaneText(*dlg, 2), "Sel: 1") << round;
        const std::vector<int> selected = list->GetSelectedPositions();
        ASSERT_EQ(selected.size(), 1u);
        EXPECT_EQ(UserAt(*dlg, selected[0]), clicked);
        EXPECT_EQ(list->currentIndex().row(), selected[0]);
    }
    dlg->OnCommand(cmd::kCopy);
    const QString copied = QGuiApplication::clipboard()->text();
    EXPECT_EQ(copied.count("\r\n"), 1) << copied.toStdString();
    EXPECT_TRUE(copied.contains(clicked)) << copied.toStdString();
}

// Another process appends a record every 40 ms while the user clicks a row,
// waits and copies: the status bar and the copy name that one row throughout.
TEST_F(ViewerTrust, SelectionAndCopyWhileAnotherWriterAppends) {
    const std::string path = FreshDir("paced") + "/eventlog.dat";
    ASSERT_TRUE(RunWriter("append " + path + " --kind eventlog --count 40 --seed 2"));
    auto dlg = Open(QString::fromStdString(path));
    ASSERT_TRUE(WaitCount(*dlg, 40, 40));
    CLogListCtrl* list = dlg->GetList();
    ClickRow(list, 2);
    const std::int32_t record = dlg->GetLog().GetRow(2)->record;
    FILE* writer = ::popen((std::string(KORV_BIN_DIR) + "/korvlog-write append " + path +
                            " --kind eventlog --count 50 --rate 25/s >/dev/null")
                               .c_str(),
                           "r");
    ASSERT_NE(writer, nullptr);
    int checks = 0;
    bool done = WaitFor([&] {
        if (PaneText(*dlg, 2) != "Sel: 1" || list->GetSelectedPositions().size() != 1 ||
            dlg->GetLog().GetRow(list->GetSelectedPositions()[0])->record != record) {
            ADD_FAILURE() << "selection moved: " << PaneText(*dlg, 2).toStdString();
            return true;
        }
        ++checks;
        return PaneText(*dlg, 1) == "Cnt: 90 of 90";
    }, 15000);
    EXPECT_EQ(::pclose(writer), 0);
    ASSERT_TRUE(done);
    EXPECT_GT(checks, 10);
    dlg->OnCommand(cmd::kCopy);
    EXPECT_EQ(QGuiApplication::clipboard()->text().count("\r\n"), 1);
}

// The record at the top stays at the top as rows arrive above it, except for
// a user with Auto Scroll on who was looking at the newest rows.
TEST_F(ViewerTrust, TheTopRecordStaysUnlessAutoScrollFollowsTheNewest) {
    const struct {
        bool autoScroll;
        int scrolledTo;
        bool showsNewest;
    } cases[] = {{false, 0, false}, {false, 60, false}, {true, 60, false}, {true, 0, true}};
    int n = 0;
    for (const auto& c : cases) {
        const std::string path = FreshDir("scroll" + std::to_string(n++)) + "/warnlog.dat";
        ASSERT_TRUE(RunWriter("append-json " + path, EventsJson(0, 200)));
        auto dlg = Open(QString::fromStdString(path));
        ASSERT_TRUE(WaitCount(*dlg, 200, 200));
        CLogListCtrl* list = dlg->GetList();
        list->m_bAutoScroll = c.autoScroll;
        list->verticalScrollBar()->setValue(c.scrolledTo);
        QApplication::processEvents();
        ASSERT_EQ(list->GetTopIndex(), c.scrolledTo);
        const QString top = UserAt(*dlg, c.scrolledTo);
        ASSERT_TRUE(RunWriter("append-json " + path, EventsJson(200, 5)));
        ASSERT_TRUE(WaitCount(*dlg, 205, 205));
        QApplication::processEvents();
        const QString nowTop = UserAt(*dlg, list->GetTopIndex());
        if (c.showsNewest) {
            EXPECT_EQ(list->GetTopIndex(), 0);
            EXPECT_EQ(nowTop, "user204");
        } else {
            EXPECT_EQ(nowTop, top) << "auto scroll " << c.autoScroll << " at " << c.scrolledTo;
            EXPECT_EQ(list->GetTopIndex(), c.scrolledTo + 5);
        }
    }
}

// Generated records carry the record-view flag: a double-click or Enter on a
// row opens a record window named after its record.
TEST_F(ViewerTrust, DoubleClickAndEnterOpenTheRecordWindow) {
    const std::string path = FreshDir("dblclick") + "/warnlog.dat";
    ASSERT_TRUE(RunWriter("append " + path + " --kind warnlog --count 30 --seed 4"));
    auto dlg = Open(QString::fromStdString(path));
    ASSERT_TRUE(WaitCount(*dlg, 30, 30));
    CLogListCtrl* list = dlg->GetList();
    const int record = dlg->GetLog().GetRow(2)->record;
    ClickRow(list, 2);  // the press a double-click starts with
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                       list->visualRect(list->model()->index(2, 1)).center());
    ASSERT_EQ(dlg->ChildWindows().size(), 1);
    CLogViewerDlg* child = dlg->ChildWindows().front();
    EXPECT_NE(dynamic_cast<CLogViewerDlgDetail*>(child), nullptr);
    EXPECT_EQ(child->GetLog().GetFixedRecord(), record);
    EXPECT_TRUE(child->windowTitle().endsWith(QStringLiteral(":%1) ").arg(record)))
        << child->windowTitle().toStdString();

    ClickRow(list, 7);
    QTest::keyClick(list, Qt::Key_Return);
    ASSERT_EQ(dlg->ChildWindows().size(), 2);
    EXPECT_EQ(dlg->ChildWindows().back()->GetLog().GetFixedRecord(), dlg->GetLog().GetRow(7)->record);
}

// Typing in the list is not a search: the current row stays where it is (Qt's
// own search would ask every row for its text to find "u").
TEST_F(ViewerTrust, TypingInTheListDoesNotSearch) {
    const std::string path = FreshDir("typing") + "/warnlog.dat";
    ASSERT_TRUE(RunWriter("append-json " + path, EventsJson(0, 50)));
    auto dlg = Open(QString::fromStdString(path));
    ASSERT_TRUE(WaitCount(*dlg, 50, 50));
    CLogListCtrl* list = dlg->GetList();
    ClickRow(list, 3);
    // The user column is the last one: make it current, so Qt's search would look there.
    list->setCurrentIndex(list->model()->index(3, dlg->GetLog().GetColumnCount() - 1));
    QTest::keyClicks(list, "user4");
    EXPECT_EQ(list->currentIndex().row(), 3);
    EXPECT_EQ(list->GetSelectedPositions(), std::vector<int>{3});
}

// The find window opened before any log searches the log opened later, keeps
// its criteria across a log switch and a language switch, comes forward with
// its text selected, and a search that finds nothing says so.
TEST_F(ViewerTrust, FindWindowFollowsTheLogItSearches) {
    const std::string dir = FreshDir("find");
    ASSERT_TRUE(RunWriter("append-json " + dir + "/warnlog.dat", EventsJson(0, 20)));
    ASSERT_TRUE(RunWriter("append " + dir + "/virlog.dat --kind virlog --count 20 --seed 3"));
    auto dlg = Open({});
    dlg->OnCommand(cmd::kFind);
    CLogFilterExDlg* find = dlg->GetFindDialog();
    ASSERT_NE(find, nullptr);
    auto* text = find->findChild<QLineEdit*>();
    ASSERT_NE(text, nullptr);

    ASSERT_TRUE(dlg->OpenLog(QString::fromStdString(dir + "/warnlog.dat")));
    ASSERT_TRUE(WaitCount(*dlg, 20, 20));
    text->setText("user13");
    find->ReadControls();
    dlg->OnCommand(ID_FILTERDLG_FIND);
    ASSERT_EQ(dlg->GetList()->GetSelectedPositions().size(), 1u);
    EXPECT_EQ(UserAt(*dlg, dlg->GetList()->GetSelectedPositions()[0]), "user13");
    EXPECT_NE(dlg->GetFindCriteria().m_nColumnMask & 0xF, 0u);

    // Another kind, with other columns: its last column is searched too.
    ASSERT_TRUE(dlg->OpenLog(QString::fromStdString(dir + "/virlog.dat")));
    ASSERT_TRUE(WaitCount(*dlg, 20, 20));
    std::u16string wanted;
    const int columns = dlg->GetLog().GetColumnCount();
    ASSERT_GT(columns, 4);
    ASSERT_TRUE(dlg->GetLog().GetCellText(11, columns - 1, wanted));
    ASSERT_FALSE(wanted.empty());
    text->setText(QString::fromStdU16String(wanted));
    find->ReadControls();
    dlg->OnCommand(ID_FILTERDLG_FIND);
    EXPECT_EQ(dlg->GetList()->GetSelectedPositions().size(), 1u);
    EXPECT_NE(dlg->GetFindCriteria().m_nColumnMask & (1u << (columns - 1)), 0u);

    // In German the titles change; the search still runs over every column.
    dlg->OnCommand(cmd::kLanguageFirst + 2);
    dlg->OnCommand(ID_FILTERDLG_FIND);
    EXPECT_EQ(dlg->GetList()->GetSelectedPositions().size(), 1u);
    dlg->OnCommand(cmd::kLanguageFirst + 1);

    text->setText("no such text anywhere");
    find->ReadControls();
    dlg->OnCommand(ID_FILTERDLG_FIND);
    EXPECT_EQ(PaneText(*dlg, 0), "Not found");
    QTest::qWait(250);  // the progress timer must not wipe it while nothing changes
    EXPECT_EQ(PaneText(*dlg, 0), "Not found");

    find->hide();
    dlg->OnCommand(cmd::kFind);
    EXPECT_TRUE(find->isVisible());
    EXPECT_EQ(text->selectedText(), "no such text anywhere");
}

// Copy Cell copies the cell of the record that was right-clicked, even when
// rows arrive above it while the context menu is open.
TEST_F(ViewerTrust, CopyCellTakesTheRightClickedRecord) {
    const std::string path = FreshDir("copycell") + "/warnlog.dat";
    ASSERT_TRUE(RunWriter("append-json " + path, EventsJson(0, 10)));
    auto dlg = Open(QString::fromStdString(path));
    ASSERT_TRUE(WaitCount(*dlg, 10, 10));
    CLogListCtrl* list = dlg->GetList();
    ClickRow(list, 5);
    const int userColumn = dlg->GetLog().GetColumnCount() - 1;
    const QString wanted = UserAt(*dlg, 5);
    const QPoint at = list->visualRect(list->model()->index(5, userColumn)).center();

    bool triggered = false;
    QTimer::singleShot(50, [&] {
        // While the menu is open, the writer appends and the window applies the rows.
        EXPECT_TRUE(RunWriter("append-json " + path, EventsJson(10, 4)));
        EXPECT_TRUE(WaitCount(*dlg, 14, 14));
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr) {
            return;
        }
        for (QAction* action : menu->actions()) {
            if (CommandId(*action) == cmd::kCopyCell && action->isEnabled()) {
                triggered = true;
                menu->setActiveAction(action);
                QTest::keyClick(menu, Qt::Key_Return);
                return;
            }
        }
        menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list->viewport(), &event);
    ASSERT_TRUE(triggered);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), wanted.toStdString());
}

// A record window keeps its own filter and columns: closing it leaves the
// kind's stored settings as the whole log's window wrote them.
TEST_F(ViewerTrust, RecordWindowLeavesTheKindsSettingsAlone) {
    const std::string path = FreshDir("record-settings") + "/warnlog.dat";
    ASSERT_TRUE(RunWriter("append-json " + path, EventsJson(0, 6)));
    auto dlg = Open(QString::fromStdString(path));
    ASSERT_TRUE(WaitCount(*dlg, 6, 6));
    dlg->OnCommand(cmd::kFilterError);
    dlg->GetList()->SetColumnWidth(1, 333);
    dlg->CloseLog();
    QSettings settings(QStringLiteral("KORV"), QStringLiteral("KORV Log Viewer"));
    settings.sync();
    const QStringList keys = {"warnlog/Filter", "warnlog/ListAutoScroll", "warnlog/ListColWidth",
                              "warnlog/ListColOrder"};
    QStringList before;
    for (const QString& key : keys) {
        before << settings.value(key).toString();
    }
    ASSERT_FALSE(before[2].isEmpty());
    {
        auto record = std::make_unique<CLogViewerDlgDetail>(dlg.get());
        CCommandLineInfo request{CCommandLineInfo::FileOpen, QString::fromStdString(path) + ":3"};
        record->SetStartupRequest(&request);
        record->OnInitDialog();
        ASSERT_TRUE(record->GetLog().IsOpen());
        record->CloseLog();
    }
    settings.sync();
    for (int i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(settings.value(keys[i]).toString(), before[i]) << keys[i].toStdString();
    }
}

// A single scan log: a text filter after it has loaded reads it again, and a
// notification of the log shown before it does not stop its loading.
TEST_F(ViewerTrust, ScanLogRowsAreThoseOfAFreshOpen) {
    const std::string dir = FreshDir("scanlog");
    const std::string scan = dir + "/ndl00001.dat";
    ASSERT_TRUE(RunWriter("append " + scan + " --kind escan --count 5001 --seed 9"));
    ASSERT_TRUE(RunWriter("append-json " + dir + "/warnlog.dat", EventsJson(0, 30)));

    auto dlg = Open(QString::fromStdString(dir + "/warnlog.dat"));
    // The events log's pass ends, and its end is posted but not yet handled...
    for (int i = 0; i < 250 && (dlg->GetUpdater().PassesCompleted() == 0 || dlg->GetUpdater().IsBusy()); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_GT(dlg->GetUpdater().PassesCompleted(), 0);
    // ... when the user opens the scan log, which loads in batches.
    ASSERT_TRUE(dlg->OpenLog(QString::fromStdString(scan)));
    ASSERT_EQ(dlg->GetLog().GetViewMode(), LOG_VIEW_RECORD);
    ASSERT_TRUE(WaitCount(*dlg, 5001, 5001, 20000)) << PaneText(*dlg, 1).toStdString();
    ASSERT_TRUE(WaitFor([&] { return !dlg->GetUpdater().IsRunning(); }, 10000));

    // A text criterion on the loaded scan log, set in Filter > Advanced: the
    // rows that match, as a fresh open shows them.
    std::u16string cell;
    ASSERT_TRUE(dlg->GetLog().GetCellText(100, 0, cell));
    int expected = 0;
    for (int i = 0; i < dlg->GetLog().GetVisibleCount(); ++i) {
        std::u16string text;
        if (dlg->GetLog().GetCellText(i, 0, text) && text.find(cell) != std::u16string::npos) {
            ++expected;
        }
    }
    ASSERT_GT(expected, 0);
    ASSERT_LT(expected, 5001);
    bool edited = false;
    QTimer::singleShot(50, [&] {
        auto* advanced = qobject_cast<CLogFilterExDlg*>(QApplication::activeModalWidget());
        if (advanced == nullptr) {
            return;
        }
        advanced->findChild<QLineEdit*>()->setText(QString::fromStdU16String(cell));
        advanced->ReadControls();
        advanced->accept();
        edited = true;
    });
    dlg->OnCommand(cmd::kFilterAdvanced);
    ASSERT_TRUE(edited);
    EXPECT_TRUE(WaitCount(*dlg, expected, 5001, 20000)) << PaneText(*dlg, 1).toStdString();
    EXPECT_TRUE(WaitFor([&] { return !dlg->GetUpdater().IsRunning(); }, 10000));
}

// While the repair question waits for the user, the product can still append:
// the window opens the file for writing (taking the writers' lock) only after Yes.
TEST_F(ViewerTrust, TheRepairQuestionDoesNotHoldTheWritersLock) {
    const std::string path = FreshDir("repair-lock") + "/warnlog.dat";
    ASSERT_TRUE(RunWriter("append-json " + path, EventsJson(0, 10)));
    ASSERT_TRUE(RunWriter("gap " + path + " 4"));
    for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
        int asked = 0;
        platform::FileError whileAsked = platform::FileError::io;
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible()) {
                return;
            }
            ++asked;
            platform::File writer;
            whileAsked = writer.open(path, platform::FileMode::write);
            writer.close();
            box->button(answer)->click();
        });
        poll.start();
        auto dlg = Open(QString::fromStdString(path));
        poll.stop();
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(whileAsked, platform::FileError::ok) << "a writer was kept out while the question waited";
        EXPECT_EQ(dlg->GetLog().IsOpen(), answer == QMessageBox::Yes);
    }
}

// Rows handed over and not yet applied when the time zone changes are not lost.
TEST_F(ViewerTrust, RowsHandedOverSurviveATimeZoneChange) {
    const std::string path = FreshDir("tz-pending") + "/warnlog.dat";
    ASSERT_TRUE(RunWriter("append-json " + path, EventsJson(0, 10)));
    auto dlg = Open(QString::fromStdString(path));
    ASSERT_TRUE(WaitCount(*dlg, 10, 10));
    ASSERT_TRUE(RunWriter("append-json " + path, EventsJson(10, 7)));
    const int passes = dlg->GetUpdater().PassesCompleted();
    dlg->GetUpdater().RequestUpdate();
    // The worker hands the new rows over; the window does not get to apply them...
    for (int i = 0; i < 250 && (dlg->GetUpdater().PassesCompleted() == passes || dlg->GetUpdater().IsBusy()); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_GT(dlg->GetUpdater().PassesCompleted(), passes);
    // ... before the user picks another time zone.
    dlg->ApplyUtcOffset(2);
    EXPECT_TRUE(WaitCount(*dlg, 17, 17)) << PaneText(*dlg, 1).toStdString();
    QTest::qWait(1500);  // a later pass must not add or drop anything
    EXPECT_TRUE(WaitCount(*dlg, 17, 17)) << PaneText(*dlg, 1).toStdString();
    dlg->ApplyUtcOffset(0);
}

}  // namespace
}  // namespace korv::test
