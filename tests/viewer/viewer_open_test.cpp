// What a newcomer meets first: a bare name on the command line, a missing file, a damaged
// log however large and however opened, and the keys of the list.

#include "shown_window.h"
#include "viewer_environment.h"
#include "window_oracle.h"

#include "resources/ids.h"
#include "ui/log_list_ctrl.h"
#include "ui/log_viewer_dlg.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDir>
#include <QMenu>
#include <QScrollBar>
#include <QTest>

#include <filesystem>
#include <functional>

namespace korv::test {
namespace {

class ViewerOpen : public ShownWindowTest {};

const QString kEventsTitle = QStringLiteral("KORV Log Viewer [1.5.8.0] - Events (warnlog.dat) ");

// Runs `work` with the current folder `dir`.
void InFolder(const std::string& dir, const std::function<void()>& work) {
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir)));
    work();
    QDir::setCurrent(before);
}

TEST_F(ViewerOpen, ABareNameIsAFileHereOrALogOfTheProduct) {
    const std::string here = FreshDir("bare-here");
    ASSERT_TRUE(RunWriter("append-json " + here + "/warnlog.dat", EventsJson(0, 4)));
    std::filesystem::remove(LogsDir() + "warnlog.dat");
    ASSERT_TRUE(RunWriter("append-json " + LogsDir() + "warnlog.dat", EventsJson(0, 7)));
    const std::string elsewhere = FreshDir("bare-elsewhere");
    struct Case {
        const char* name;
        std::string folder;
        QString argument;
        int rows;       // -1: does not open
        QString pane0;  // what pane 0 says then
    };
    const Case cases[] = {
        {"a file in the current folder", here, "warnlog.dat", 4, {}},
        {"below the Logs directory", elsewhere, "warnlog.dat", 7, {}},
        {"nowhere", elsewhere, "nolog.dat", -1,
         QString::fromStdString("No such file or directory: " + elsewhere + "/nolog.dat or " + LogsDir() +
                                "nolog.dat")},
        {"a missing path", elsewhere, QString::fromStdString(here + "/gone.dat"), -1,
         QString::fromStdString("No such file or directory: " + here + "/gone.dat")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InFolder(c.folder, [&] {
            MessageBoxAnswerer answerer(QMessageBox::No);
            auto dlg = StartShownWindow(c.argument);
            if (c.rows >= 0) {
                EXPECT_TRUE(WaitFor([&] { return LoadedRows(*dlg, c.rows); }));
                EXPECT_TRUE(WaitForTruth(*dlg));
            } else {
                QTest::qWait(150);
                EXPECT_FALSE(dlg->GetLog().IsOpen());
                EXPECT_EQ(PaneText(*dlg, 0), c.pane0);
            }
            EXPECT_EQ(answerer.shown, 0) << "a healthy or missing log is never offered a repair";
        });
    }
    std::filesystem::remove(LogsDir() + "warnlog.dat");
}

// The same damaged log gives the same question, title and Logs menu tick whether its chain
// is walked by the open or found broken after the newest rows showed.
TEST_F(ViewerOpen, ADamagedProductLogBehavesTheSameWhateverItsSize) {
    const std::string path = LogsDir() + "warnlog.dat";
    struct Case {
        const char* name;
        std::uint64_t indexLater;  // logs of this size or more show rows before the walk
        QMessageBox::StandardButton answer;
    };
    const Case cases[] = {
        {"walked by the open, No", CLog::kIndexLaterBytes, QMessageBox::No},
        {"walked by the open, Yes", CLog::kIndexLaterBytes, QMessageBox::Yes},
        {"walked after the newest rows, No", 0, QMessageBox::No},
        {"walked after the newest rows, Yes", 0, QMessageBox::Yes},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(path);
        ASSERT_TRUE(RunWriter("append-json " + path, EventsJson(0, 40)));
        ASSERT_TRUE(RunWriter("gap " + path + " 20"));
        MessageBoxAnswerer answerer(c.answer);
        auto dlg = StartShownWindow();
        dlg->SetIndexLaterFrom(c.indexLater);
        dlg->OnCommand(cmd::kLogsFirst + 7);  // Events
        ASSERT_TRUE(WaitFor([&] { return answerer.shown == 1 && !dlg->GetUpdater().IsBusy(); }, 10000));
        EXPECT_TRUE(answerer.text.endsWith(QString::fromStdString("\n" + path))) << answerer.text.toStdString();
        if (c.answer == QMessageBox::Yes) {
            // 39 records and the placeholder of the lost one, shown whatever the Deleted filter says.
            ASSERT_TRUE(WaitFor([&] { return dlg->GetLog().IsOpen() && LoadedRows(*dlg, 40); }));
            EXPECT_EQ(dlg->windowTitle(), kEventsTitle);
            EXPECT_TRUE(dlg->GetLog().IsRelative()) << "the Logs menu keeps its tick";
            EXPECT_TRUE(WaitForTruth(*dlg));
        } else {
            ASSERT_TRUE(WaitFor([&] { return !dlg->GetLog().IsOpen(); }));
            QTest::qWait(150);
            EXPECT_TRUE(PaneText(*dlg, 0).contains("the record chain breaks at offset")) << PaneText(*dlg, 0).toStdString();
            EXPECT_EQ(PaneText(*dlg, 1), "Cnt: 0 of 0");
        }
        QTest::qWait(100);
        EXPECT_EQ(answerer.shown, 1) << "asked once";
    }
    std::filesystem::remove(path);
}

TEST_F(ViewerOpen, KeysMoveAndSelectAsInAnyList) {
    const std::string path = FreshDir("keys") + "/warnlog.dat";
    ASSERT_TRUE(RunWriter("append-json " + path, EventsJson(0, 60)));
    auto dlg = StartShownWindow(QString::fromStdString(path));
    dlg->resize(320, 300);  // narrower than the columns: the list scrolls sideways
    CLogListCtrl& list = *dlg->GetList();
    ASSERT_TRUE(WaitFor([&] { return LoadedRows(*dlg, 60); }));
    list.setFocus();
    const auto selected = [&] { return list.GetSelectedPositions(); };

    QTest::keyClick(&list, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(selected(), std::vector<int>{59});
    EXPECT_EQ(list.currentIndex().row(), 59);
    EXPECT_EQ(list.horizontalScrollBar()->value(), 0) << "Ctrl+End scrolled fully right";
    QTest::keyClick(&list, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(selected(), std::vector<int>{0});
    QTest::keyClick(&list, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(&list, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(selected(), (std::vector<int>{0, 1, 2}));
    QTest::keyClick(&list, Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(selected(), (std::vector<int>{0, 1})) << "Ctrl+Space toggles the current row";
    QTest::keyClick(&list, Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(selected().size(), 60u) << "Ctrl+Shift+End extends to the last row";
    QTest::keyClick(&list, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(&list, Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(selected(), std::vector<int>{0}) << "Ctrl+Down moves alone";

    // Enter opens the selected row, not the current one.
    const int record = dlg->GetLog().GetRow(0)->record;
    QTest::keyClick(&list, Qt::Key_Return);
    ASSERT_EQ(dlg->ChildWindows().size(), 1);
    EXPECT_TRUE(dlg->ChildWindows().front()->windowTitle().contains(QStringLiteral(":%1").arg(record)))
        << dlg->ChildWindows().front()->windowTitle().toStdString();
}

}  // namespace
}  // namespace korv::test
