// The timeline window as a user meets it: File > Open Timeline on several logs interleaves
// their rows by time (rows of one time in the order the logs were given), names the logs
// that do not open in its status bar, follows every log it shows while keeping the
// selected row, and a double-click opens the record of the row clicked, of its own log.

#include "shown_window.h"
#include "viewer_environment.h"

#include "resources/ids.h"
#include "ui/log_viewer_dlg.h"
#include "ui/log_viewer_dlg_detail.h"
#include "ui/menu_builder.h"
#include "ui/timeline_window.h"

#include <gtest/gtest.h>

#include <QMenuBar>
#include <QPointer>
#include <QTableView>
#include <QTest>

#include <cstdio>
#include <fstream>

namespace korv::test {
namespace {

// JSON lines of one-row Events records at the given times, users "<prefix><i>".
std::string EventsAt(const std::vector<std::string>& times, const std::string& prefix,
                     const std::string& level = "0x40000000") {
    std::string lines;
    for (std::size_t i = 0; i < times.size(); ++i) {
        lines += "{\"type\": \"0x00010002\", \"time\": \"" + times[i] + "\", \"rows\": [{\"level\": \"" +
                 level + "\", \"fields\": [{\"text\": \"Kernel\"}, {\"msg\": 53}, {\"text\": \"" +
                 prefix + std::to_string(i) + "\"}]}]}\n";
    }
    return lines;
}

// The texts of a timeline row as the list shows them.
QStringList RowTexts(TimelineWindow& window, int row) {
    QStringList texts;
    for (int c = 0; c < 4; ++c) {
        texts << window.List()->model()->index(row, c).data().toString();
    }
    return texts;
}

bool WaitRows(TimelineWindow& window, int rows, int ms = 5000) {
    return WaitFor([&] { return window.Logs().RowCount() == rows && !window.Logs().IsBusy(); }, ms);
}

class LogTimelineWindow : public ShownWindowTest {
protected:
    void SetUp() override {
        ShownWindowTest::SetUp();
        dir_ = FreshDir("timeline");
        first_ = dir_ + "/a/warnlog.dat";
        second_ = dir_ + "/b/warnlog.dat";
        std::filesystem::create_directories(dir_ + "/a");
        std::filesystem::create_directories(dir_ + "/b");
        // 10:00:00 is in both logs; the first log's rows come first there.
        ASSERT_TRUE(RunWriter("append-json " + first_,
                              EventsAt({"2026-12-08 09:00:00", "2026-12-08 10:00:00", "2026-12-08 12:00:00"}, "a")));
        ASSERT_TRUE(RunWriter("append-json " + second_,
                              EventsAt({"2026-12-08 08:00:00", "2026-12-08 10:00:00", "2026-12-08 11:00:00"}, "b")));
        main_ = StartShownWindow();
    }
    TimelineWindow* Open(const std::vector<std::string>& paths) {
        TimelineWindow* window = main_->OpenTimeline(paths);
        if (window != nullptr) {
            window->resize(900, 400);
        }
        return window;
    }

    std::string dir_, first_, second_;
    std::unique_ptr<CLogViewerDlg> main_;
};

TEST_F(LogTimelineWindow, FileMenuOffersTheTimeline) {
    EXPECT_NE(FindCommandAction(*main_->GetMenuBar(), cmd::kOpenTimeline), nullptr);
}

TEST_F(LogTimelineWindow, RowsOfBothLogsNewestFirstAndEqualTimesInTheOrderGiven) {
    struct Case {
        std::vector<std::string> paths;
        QStringList users;  // the Summary's last cell, top to bottom
    };
    const Case cases[] = {
        {{first_, second_}, {"a2", "b2", "a1", "b1", "a0", "b0"}},
        {{second_, first_}, {"a2", "b2", "b1", "a1", "a0", "b0"}},
    };
    for (const Case& c : cases) {
        TimelineWindow* window = Open(c.paths);
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(WaitRows(*window, 6));
        QStringList users;
        for (int row = 0; row < 6; ++row) {
            const QStringList texts = RowTexts(*window, row);
            EXPECT_EQ(texts[1], "Warning");
            EXPECT_EQ(texts[2], "Events");
            users << texts[3].section(QStringLiteral(" | "), -1);
        }
        EXPECT_EQ(users, c.users);
        EXPECT_EQ(RowTexts(*window, 2)[0], "2026-12-08 10:00:00");
        EXPECT_EQ(window->CountText(), "Rows: 6 of 2 logs");
        EXPECT_EQ(window->UnopenedText(), "");
        window->close();
    }
}

// The window shows what korvlog timeline writes for the same files: here three logs, the
// middle one written with its clock set back and holding times 0, before 1970 and past 9999,
// also after it grew by records older than the others.
TEST_F(LogTimelineWindow, AgreesWithKorvlogTimelineOnALogOutOfTimeOrder) {
    const std::string back = dir_ + "/c/warnlog.dat";
    std::filesystem::create_directories(dir_ + "/c");
    auto record = [](const std::string& time, const std::string& user) {
        return "{\"type\": \"0x00010002\", \"time\": " + time +
               ", \"rows\": [{\"level\": \"0x80000000\", \"fields\": [{\"text\": \"Kernel\"}, {\"msg\": 53}, "
               "{\"text\": \"" + user + "\"}]}]}\n";
    };
    ASSERT_TRUE(RunWriter("append-json " + back, record("\"2026-12-08 11:30:00\"", "c0") + record("0", "c1") +
                                                     record("\"1965-03-01 12:00:00\"", "c2") +
                                                     record("\"2026-12-08 10:00:00\"", "c3") +
                                                     record("2650467744000000000", "c4") +
                                                     record("\"2026-12-08 12:30:00\"", "c5")));
    const std::vector<std::string> paths = {first_, back, second_};
    auto korvlog = [&] {
        std::string command = std::string(KORV_BIN_DIR) + "/korvlog timeline";
        for (const std::string& p : paths) command += " '" + p + "'";
        std::string out;
        if (FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r")) {
            char buffer[4096];
            for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
            ::pclose(pipe);
        }
        return QString::fromUtf8(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    };
    TimelineWindow* window = Open(paths);
    ASSERT_NE(window, nullptr);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const QStringList expected = korvlog();
        ASSERT_EQ(expected.size(), round == 0 ? 12 : 14);
        ASSERT_TRUE(WaitRows(*window, int(expected.size())));
        QStringList shown;
        for (int row = 0; row < window->Logs().RowCount(); ++row) shown << RowTexts(*window, row).join(QLatin1Char('\t'));
        EXPECT_EQ(shown, expected);
        // The logs grow: an older record in the set-back log, a newer one in the first.
        if (round == 0) {
            ASSERT_TRUE(RunWriter("append-json " + back, record("\"2026-12-08 08:30:00\"", "c6")));
            ASSERT_TRUE(RunWriter("append-json " + first_, EventsAt({"2026-12-08 13:00:00"}, "a-late")));
        }
    }
    window->close();
}

TEST_F(LogTimelineWindow, LogsThatDoNotOpenAreNamedInTheStatusBar) {
    const std::string missing = dir_ + "/missing.dat";
    const std::string garbage = dir_ + "/virlog.dat";
    std::ofstream(garbage) << "not a log";
    TimelineWindow* window = Open({missing, first_, garbage, second_});
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitRows(*window, 6));
    EXPECT_EQ(window->Logs().LogCount(), 2u);
    const QString unopened = window->UnopenedText();
    EXPECT_TRUE(unopened.contains(QString::fromStdString(missing))) << unopened.toStdString();
    EXPECT_TRUE(unopened.contains(QString::fromStdString(garbage))) << unopened.toStdString();
    EXPECT_FALSE(unopened.contains(QString::fromStdString(first_))) << unopened.toStdString();

    // None opens: no window, and the message names them.
    MessageBoxAnswerer answerer;
    EXPECT_EQ(Open({missing, garbage}), nullptr);
    EXPECT_TRUE(answerer.text.contains(QString::fromStdString(missing))) << answerer.text.toStdString();
}

TEST_F(LogTimelineWindow, DoubleClickOpensTheRecordOfTheRowsOwnLog) {
    TimelineWindow* window = Open({first_, second_});
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitRows(*window, 6));
    QTableView* list = window->List();
    struct Case {
        int row;
        std::string path;
        int record;
    };
    // Top to bottom: a2, b2, a1, b1, a0, b0.
    const Case cases[] = {{1, second_, 2}, {2, first_, 1}, {5, second_, 0}, {0, first_, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        const QPoint at = list->visualRect(list->model()->index(c.row, 3)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        ASSERT_FALSE(window->ChildWindows().isEmpty());
        CLogViewerDlg* child = window->ChildWindows().back();
        EXPECT_NE(dynamic_cast<CLogViewerDlgDetail*>(child), nullptr);
        EXPECT_EQ(child->GetLog().GetFixedRecord(), c.record);
        EXPECT_EQ(child->GetLog().GetDisplayPath(false), c.path);
        child->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST_F(LogTimelineWindow, FollowsEveryLogKeepingTheSelectedRecord) {
    TimelineWindow* window = Open({first_, second_});
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitRows(*window, 6));
    EXPECT_EQ(window->OrderText(), "");
    QTableView* list = window->List();
    list->selectRow(3);  // b1
    list->setCurrentIndex(list->model()->index(3, 3));
    const QStringList selected = RowTexts(*window, 3);
    ASSERT_TRUE(selected[3].endsWith("b1"));
    // Newer rows to the second log, an older one and a newer one to the first.
    ASSERT_TRUE(RunWriter("append-json " + second_, EventsAt({"2026-12-08 13:00:00", "2026-12-08 14:00:00"}, "n")));
    ASSERT_TRUE(WaitRows(*window, 8, 8000));
    ASSERT_TRUE(RunWriter("append-json " + first_,
                          EventsAt({"2026-12-08 15:00:00", "2026-12-08 10:30:00"}, "m", "0xA0000000")));
    ASSERT_TRUE(WaitRows(*window, 10, 8000));
    QStringList users;
    for (int row = 0; row < 10; ++row) users << RowTexts(*window, row)[3].section(QStringLiteral(" | "), -1);
    // The first log's clock went back for m1 (10:30, written after m0 at 15:00): its rows
    // are sorted by time with the others all the same.
    EXPECT_EQ(users, (QStringList{"m0", "n1", "n0", "a2", "b2", "m1", "a1", "b1", "a0", "b0"}));
    EXPECT_EQ(RowTexts(*window, 0)[1], "Critical");
    EXPECT_EQ(RowTexts(*window, 5)[1], "Critical");
    // The selection is still the record selected, wherever it went.
    ASSERT_TRUE(list->currentIndex().isValid());
    EXPECT_EQ(RowTexts(*window, list->currentIndex().row()), selected);
    EXPECT_EQ(list->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(window->CountText(), "Rows: 10 of 2 logs");
    EXPECT_TRUE(window->OrderText().endsWith(QString::fromStdString(first_))) << window->OrderText().toStdString();
    EXPECT_TRUE(window->OrderText().startsWith(QStringLiteral("Out of time order, sorted by time: ")));
}

// Two logs of one kind are told apart in the title by the later one's file, as the Logs
// menu tells the Server scan directory from the single Server scan log.
TEST_F(LogTimelineWindow, TitleNamesEachKindOnce) {
    const std::string copy = dir_ + "/b/events-copy.dat";
    std::filesystem::copy_file(second_, copy);
    TimelineWindow* window = Open({first_, copy});
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitRows(*window, 6));
    EXPECT_TRUE(window->windowTitle().contains(QStringLiteral("Timeline (Events + Events (events-copy.dat))")))
        << window->windowTitle().toStdString();
    window->close();
}

TEST_F(LogTimelineWindow, EveryProductLogTheServiceReports) {
    // The test service reports Detections and Events; only Events has a log yet.
    ASSERT_TRUE(RunWriter("append-json " + LogsDir() + "warnlog.dat", EventsAt({"2026-12-08 09:30:00"}, "p")));
    std::filesystem::remove(LogsDir() + "virlog.dat");
    TimelineWindow* window = main_->OpenProductTimeline();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitRows(*window, 1));
    EXPECT_EQ(RowTexts(*window, 0)[3], "Kernel | Service started. | p0");
    EXPECT_TRUE(window->UnopenedText().contains("Detections")) << window->UnopenedText().toStdString();
}

}  // namespace
}  // namespace korv::test
