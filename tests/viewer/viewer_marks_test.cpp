// Marks and highlighted matches in the window, as a user meets them: marks
// stay on their records through appends, filters, restarts and rewrites of
// the file, F2 and Shift+F2 go round them, Copy and Export can take the
// marked rows alone; the matches of the filter's and the search's text are
// highlighted in the painted cells, on every severity's colours.

#include "shown_window.h"
#include "viewer_environment.h"

#include "logmodel/severity.h"
#include "logstore/disklog_format.h"
#include "resources/ids.h"
#include "ui/export_command.h"
#include "ui/log_filter_dlg.h"
#include "ui/log_list_ctrl.h"
#include "ui/log_list_model.h"
#include "ui/log_viewer_dlg.h"
#include "ui/match_highlight.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QImage>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <cstring>
#include <filesystem>
#include <fstream>

namespace korv::test {
namespace {

std::unique_ptr<CLogViewerDlg> Open(const std::string& path) {
    auto dlg = StartShownWindow(QString::fromStdString(path));
    dlg->resize(900, 500);
    return dlg;
}

bool WaitCount(const CLogViewerDlg& dlg, int visible, int total, int ms = 5000) {
    const QString want = QStringLiteral("Cnt: %1 of %2").arg(visible).arg(total);
    return WaitFor([&] { return PaneText(dlg, 1) == want; }, ms);
}

// One-row records with users `prefix`<i> and the given auxiliary values.
std::string Records(const std::string& prefix, const std::vector<int>& auxes, int first = 0) {
    std::string lines;
    for (std::size_t k = 0; k < auxes.size(); ++k) {
        lines += "{\"type\": \"0x00010002\", \"aux\": " + std::to_string(auxes[k]) +
                 ", \"time\": \"2026-12-08 10:00:00\", \"rows\": [{\"level\": \"0x40000000\", \"fields\": "
                 "[{\"text\": \"Kernel\"}, {\"msg\": 53}, {\"text\": \"" +
                 prefix + std::to_string(first + static_cast<int>(k)) + "\"}]}]}\n";
    }
    return lines;
}

// The bytes of the log at `from` with the creation time of the log at `like` in its header:
// the same log as `like`, rewritten.
std::string BytesAsTheSameLog(const std::string& from, const std::string& like) {
    std::string bytes = FileBytes(from);
    const std::string header = FileBytes(like);
    unsigned char a[kDiskLogHeaderSize] = {}, b[kDiskLogHeaderSize] = {};
    std::memcpy(a, bytes.data(), kDiskLogHeaderSize);
    std::memcpy(b, header.data(), kDiskLogHeaderSize);
    _DISKLOG_HEADER h = decode_disklog_header(a);
    h.creation_time = decode_disklog_header(b).creation_time;
    encode_disklog_header(h, a);
    std::memcpy(bytes.data(), a, kDiskLogHeaderSize);
    return bytes;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

QString UserAt(CLogViewerDlg& dlg, int position) {
    std::u16string text;
    dlg.GetLog().GetCellText(position, dlg.GetLog().GetColumnCount() - 1, text);
    return QString::fromStdU16String(text);
}

int PositionOf(CLogViewerDlg& dlg, const QString& user) {
    for (int p = 0; p < dlg.GetList()->GetItemCount(); ++p) {
        if (UserAt(dlg, p) == user) {
            return p;
        }
    }
    return -1;
}

// The users of the rows whose Flags cell shows the mark, in list order.
QStringList MarkedUsers(CLogViewerDlg& dlg) {
    CLogListCtrl* list = dlg.GetList();
    const int flags = list->GetExtraColumn(CLogListCtrl::kExtraFlags);
    QStringList users;
    for (int p = 0; p < list->GetItemCount(); ++p) {
        if (list->GetItemText(p, flags).contains(QChar(ListTexts::kMarkFlag))) {
            users << UserAt(dlg, p);
        }
    }
    return users;
}

void Select(CLogViewerDlg& dlg, const QStringList& users) {
    QItemSelectionModel* selection = dlg.GetList()->selectionModel();
    selection->clearSelection();
    for (const QString& user : users) {
        const int p = PositionOf(dlg, user);
        ASSERT_GE(p, 0) << user.toStdString();
        selection->select(dlg.GetList()->model()->index(p, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

QString SelectedUser(CLogViewerDlg& dlg) {
    const std::vector<int> selected = dlg.GetList()->GetSelectedPositions();
    return selected.size() == 1 ? UserAt(dlg, selected[0]) : QStringLiteral("(%1 selected)").arg(selected.size());
}

void Key(CLogViewerDlg& dlg, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(dlg.GetList(), key, modifiers);
}

class ViewerMarks : public ShownWindowTest {
protected:
    std::unique_ptr<CLogViewerDlg> OpenActive(const std::string& path) {
        auto dlg = Open(path);
        dlg->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
        dlg->GetList()->setFocus();
        return dlg;
    }
};

// Ctrl+F2 on the selection; the marks stay on their records as rows arrive,
// as a filter hides and shows them, and F2 / Shift+F2 go round them.
TEST_F(ViewerMarks, MarksFollowRecordsThroughAppendsFiltersAndTheKeys) {
    const std::string path = FreshDir("marks-follow") + "/warnlog.dat";
    ASSERT_TRUE(RunWriter("append-json " + path, EventsJson(0, 10)));
    auto dlg = OpenActive(path);
    ASSERT_TRUE(WaitCount(*dlg, 10, 10));
    Select(*dlg, {"user2", "user5"});
    Key(*dlg, Qt::Key_F2, Qt::ControlModifier);
    EXPECT_EQ(MarkedUsers(*dlg), (QStringList{"user5", "user2"}));

    // The other writer appends: new rows come first in the list, the marks stay.
    ASSERT_TRUE(RunWriter("append-json " + path, EventsJson(10, 5)));
    ASSERT_TRUE(WaitCount(*dlg, 15, 15));
    EXPECT_EQ(MarkedUsers(*dlg), (QStringList{"user5", "user2"}));

    // Record 5 is deleted: hidden by the default filter, its mark kept for it.
    ASSERT_TRUE(RunWriter("delete " + path + " 5"));
    ASSERT_TRUE(WaitCount(*dlg, 14, 15));
    EXPECT_EQ(MarkedUsers(*dlg), (QStringList{"user2"}));
    EXPECT_EQ(dlg->GetMarks().Size(), 2u);
    dlg->OnCommand(cmd::kFilterDeleted);
    ASSERT_TRUE(WaitCount(*dlg, 15, 15));
    EXPECT_EQ(MarkedUsers(*dlg), (QStringList{"user5", "user2"}));

    // Round the marks from user12, downwards and upwards, wrapping at both ends.
    const struct {
        Qt::KeyboardModifiers modifiers;
        const char* lands;
    } steps[] = {{Qt::NoModifier, "user5"},    {Qt::NoModifier, "user2"}, {Qt::NoModifier, "user5"},
                 {Qt::ShiftModifier, "user2"}, {Qt::ShiftModifier, "user5"}};
    Select(*dlg, {"user12"});
    for (const auto& step : steps) {
        Key(*dlg, Qt::Key_F2, step.modifiers);
        EXPECT_EQ(SelectedUser(*dlg), step.lands) << (step.modifiers == Qt::NoModifier ? "F2" : "Shift+F2");
        const int current = dlg->GetList()->currentIndex().row();
        EXPECT_EQ(UserAt(*dlg, current), step.lands);
    }

    // Unmark one, toggling a selection of a marked and an unmarked row marks both.
    Select(*dlg, {"user5"});
    Key(*dlg, Qt::Key_F2, Qt::ControlModifier);
    EXPECT_EQ(MarkedUsers(*dlg), (QStringList{"user2"}));
    Select(*dlg, {"user2", "user7"});
    dlg->OnCommand(cmd::kToggleMark);
    EXPECT_EQ(MarkedUsers(*dlg), (QStringList{"user7", "user2"}));

    // Clear Marks; then F2 finds none and says so.
    dlg->OnCommand(cmd::kClearMarks);
    EXPECT_TRUE(MarkedUsers(*dlg).isEmpty());
    Select(*dlg, {"user12"});
    Key(*dlg, Qt::Key_F2);
    EXPECT_EQ(PaneText(*dlg, 0), "No marked rows");
    EXPECT_EQ(SelectedUser(*dlg), "user12");
}

// Marks are kept per file: a new window on the file shows them, a window on
// another file does not, and a rewritten file drops the marks of records it
// no longer holds instead of showing them on the records now at their place.
TEST_F(ViewerMarks, MarksSurviveARestartAndARewriteDropsThemNeverMovesThem) {
    const std::string dir = FreshDir("marks-restart");
    const std::string path = dir + "/warnlog.dat";
    const std::string other = dir + "/other/warnlog.dat";
    std::filesystem::create_directories(dir + "/other");
    ASSERT_TRUE(RunWriter("append-json " + path, Records("user", {1, 2, 3, 4, 5, 6})));
    ASSERT_TRUE(RunWriter("append-json " + other, Records("user", {1, 2, 3, 4, 5, 6})));
    {
        auto dlg = Open(path);
        ASSERT_TRUE(WaitCount(*dlg, 6, 6));
        Select(*dlg, {"user1", "user3", "user4"});
        dlg->OnCommand(cmd::kToggleMark);
        ASSERT_EQ(MarkedUsers(*dlg), (QStringList{"user4", "user3", "user1"}));
    }
    {
        auto dlg = Open(path);
        ASSERT_TRUE(WaitCount(*dlg, 6, 6));
        EXPECT_EQ(MarkedUsers(*dlg), (QStringList{"user4", "user3", "user1"}));
        auto second = Open(other);
        ASSERT_TRUE(WaitCount(*second, 6, 6));
        EXPECT_TRUE(MarkedUsers(*second).isEmpty());
    }

    // Rewritten while no window shows it: records 1 and 4 are other records now.
    const std::string rewritten = dir + "/rewritten.dat";
    ASSERT_TRUE(RunWriter("append-json " + rewritten, Records("new", {1, 102, 3, 4, 105, 6})));
    const std::string marked = FileBytes(path);
    {
        // Another log made at the same path has records of the same indices and auxiliary
        // values; they are not the records marked.
        std::filesystem::copy_file(rewritten, path, std::filesystem::copy_options::overwrite_existing);
        auto dlg = Open(path);
        ASSERT_TRUE(WaitCount(*dlg, 6, 6));
        EXPECT_TRUE(MarkedUsers(*dlg).isEmpty());
        EXPECT_EQ(dlg->GetMarks().Size(), 0u);
    }
    {
        WriteBytes(path, marked);
        auto dlg = Open(path);
        ASSERT_TRUE(WaitCount(*dlg, 6, 6));
        Select(*dlg, {"user1", "user3", "user4"});
        dlg->OnCommand(cmd::kToggleMark);
    }
    WriteBytes(path, BytesAsTheSameLog(rewritten, path));
    {
        auto dlg = Open(path);
        ASSERT_TRUE(WaitCount(*dlg, 6, 6));
        EXPECT_EQ(MarkedUsers(*dlg), (QStringList{"new3"}));
        EXPECT_EQ(dlg->GetMarks().Size(), 1u);
    }

    // Rewritten in place while the window follows it.
    auto dlg = Open(path);
    ASSERT_TRUE(WaitCount(*dlg, 6, 6));
    Select(*dlg, {"new0", "new5"});
    dlg->OnCommand(cmd::kToggleMark);
    ASSERT_EQ(MarkedUsers(*dlg), (QStringList{"new5", "new3", "new0"}));
    const std::string again = dir + "/again.dat";
    ASSERT_TRUE(RunWriter("append-json " + again, Records("third", {1, 2, 3, 204, 5, 206, 7})));
    WriteBytes(path, BytesAsTheSameLog(again, path));
    ASSERT_TRUE(WaitCount(*dlg, 7, 7));
    ASSERT_TRUE(WaitFor([&] { return UserAt(*dlg, 0) == "third6"; }));
    EXPECT_EQ(MarkedUsers(*dlg), (QStringList{"third0"}));
    EXPECT_EQ(dlg->GetMarks().Size(), 1u);
    dlg.reset();
    auto reopened = Open(path);
    ASSERT_TRUE(WaitCount(*reopened, 7, 7));
    EXPECT_EQ(MarkedUsers(*reopened), (QStringList{"third0"}));
}

// The context menu's Copy and Export take the marked rows alone, in list order.
TEST_F(ViewerMarks, CopyAndExportMarkedRowsOnly) {
    const std::string dir = FreshDir("marks-copy");
    const std::string path = dir + "/warnlog.dat";
    ASSERT_TRUE(RunWriter("append-json " + path, EventsJson(0, 8)));
    auto dlg = Open(path);
    ASSERT_TRUE(WaitCount(*dlg, 8, 8));

    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    dlg->OnCommand(cmd::kCopyMarked);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "before");
    EXPECT_EQ(PaneText(*dlg, 0), "No marked rows");

    Select(*dlg, {"user1", "user6"});
    dlg->OnCommand(cmd::kToggleMark);
    Select(*dlg, {"user3"});  // the selection is not what is copied
    dlg->OnCommand(cmd::kCopyMarked);
    const QString copied = QGuiApplication::clipboard()->text();
    EXPECT_EQ(copied.count("\r\n"), 2) << copied.toStdString();
    EXPECT_LT(copied.indexOf("user6"), copied.indexOf("user1")) << copied.toStdString();
    EXPECT_FALSE(copied.contains("user3"));

    // Export in each format the rows can take; the data file, every record, is refused.
    const struct {
        int filter;  // in ExportNameFilters()
        const char* file;
        bool written;
    } cases[] = {{0, "/marked.xml", true},
                 {1, "/marked.txt", true},
                 {2, "/marked.dat", false},
                 {3, "/marked.jsonl", true},
                 {4, "/marked.csv", true}};
    for (const auto& c : cases) {
        const std::string target = dir + c.file;
        QTimer probe;
        probe.setInterval(0);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            if (auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                files->selectNameFilter(ExportNameFilters()[c.filter]);
                files->selectFile(QString::fromStdString(target));
                static_cast<QDialog*>(files)->accept();
            }
        });
        probe.start();
        MessageBoxAnswerer answerer;
        dlg->OnCommand(cmd::kExportMarked);
        probe.stop();
        const std::string bytes = FileBytes(target);
        SCOPED_TRACE(c.file);
        if (!c.written) {
            EXPECT_FALSE(std::filesystem::exists(target));
            EXPECT_EQ(answerer.shown, 1);
            EXPECT_TRUE(answerer.text.contains("data file")) << answerer.text.toStdString();
            continue;
        }
        EXPECT_EQ(answerer.shown, 0);
        EXPECT_NE(bytes.find("user6"), std::string::npos);
        EXPECT_NE(bytes.find("user1"), std::string::npos);
        EXPECT_LT(bytes.find("user6"), bytes.find("user1"));
        for (const char* absent : {"user0", "user2", "user3", "user7"}) {
            EXPECT_EQ(bytes.find(absent), std::string::npos) << absent;
        }
        if (std::string(c.file).ends_with(".jsonl")) {
            // The record numbers are the marked rows' own (user6 is record 6).
            EXPECT_NE(bytes.find("\"record\":6,"), std::string::npos) << bytes;
            EXPECT_NE(bytes.find("\"record\":1,"), std::string::npos) << bytes;
        }
    }
}

// Pixels of the highlight colour in the painted row at `position`.
int HighlightPixels(CLogListCtrl* list, const QImage& image, int position) {
    const QRect row = list->visualRect(list->model()->index(position, 0));
    int n = 0;
    for (int y = row.top(); y <= row.bottom(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            n += image.pixelColor(x, y) == kMatchBackground ? 1 : 0;
        }
    }
    return n;
}

std::string SeverityRecords() {
    // One record per severity class, each naming it, and one without the text.
    const char* levels[] = {"0x00000001", "0x10000000", "0x40000000", "0x80000000", "0xA0000000"};
    std::string lines;
    int aux = 1;
    for (const char* level : levels) {
        lines += "{\"type\": \"0x00010002\", \"aux\": " + std::to_string(aux++) + ", \"time\": \"2026-12-08 10:00:00\"," +
                 " \"rows\": [{\"level\": \"" + level + "\", \"fields\": [{\"text\": \"Kernel\"}, {\"msg\": 53}," +
                 " {\"text\": \"hit-" + level + "\"}]}]}\n";
    }
    lines += "{\"type\": \"0x00010002\", \"aux\": 99, \"time\": \"2026-12-08 10:00:00\", \"rows\": [{\"level\": "
             "\"0x40000000\", \"fields\": [{\"text\": \"Kernel\"}, {\"msg\": 53}, {\"text\": \"quiet\"}]}]}\n";
    return lines;
}

// The last search's text is highlighted in every row it occurs in, whatever
// the row's severity colours, and nowhere else; a pattern's matches too.
TEST_F(ViewerMarks, MatchesAreHighlightedOnEverySeverity) {
    const std::string path = FreshDir("highlight") + "/warnlog.dat";
    ASSERT_TRUE(RunWriter("append-json " + path, SeverityRecords()));
    auto dlg = Open(path);
    ASSERT_TRUE(WaitCount(*dlg, 6, 6));
    CLogListCtrl* list = dlg->GetList();
    const auto paint = [&] {
        // Twice: the first paint may wait for the cache thread.
        list->viewport()->grab();
        WaitFor([] { return false; }, 100);
        return list->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    const int quiet = PositionOf(*dlg, "quiet");
    ASSERT_GE(quiet, 0);
    QImage image = paint();
    for (int p = 0; p < 6; ++p) {
        EXPECT_EQ(HighlightPixels(list, image, p), 0) << "no criteria yet, row " << p;
    }

    const struct {
        const char* name;
        QString text;
        bool regex;
    } cases[] = {{"plain", "HIT-", false}, {"pattern", "h.t-0x[0-9A]", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dlg->OnCommand(cmd::kFind);
        CLogFilterExDlg* find = dlg->GetFindDialog();
        ASSERT_NE(find, nullptr);
        find->findChild<QLineEdit*>()->setText(c.text);
        auto* regex = find->findChild<QCheckBox*>(QStringLiteral("id_%1").arg(ctrl::kFilterRegex));
        ASSERT_NE(regex, nullptr);
        regex->setChecked(c.regex);
        find->ReadControls();
        dlg->OnCommand(ID_FILTERDLG_FIND);
        find->hide();
        list->clearSelection();  // the selection's colours are not the severity's
        image = paint();
        for (int p = 0; p < 6; ++p) {
            std::uint32_t levelClass = 0;
            dlg->GetLog().GetRowLevelClass(p, levelClass);
            if (p == quiet) {
                EXPECT_EQ(HighlightPixels(list, image, p), 0);
            } else {
                EXPECT_GT(HighlightPixels(list, image, p), 20) << "severity class " << levelClass;
            }
        }
    }

    // The filter's text is highlighted as well, and only in the columns it searches.
    QTimer::singleShot(50, [&] {
        auto* advanced = qobject_cast<CLogFilterExDlg*>(QApplication::activeModalWidget());
        if (advanced != nullptr) {
            advanced->findChild<QLineEdit*>()->setText(QStringLiteral("quiet"));
            advanced->ReadControls();
            advanced->accept();
        }
    });
    dlg->OnCommand(cmd::kFilterAdvanced);
    ASSERT_TRUE(WaitCount(*dlg, 1, 6));
    image = paint();
    EXPECT_GT(HighlightPixels(list, image, 0), 20);
}

}  // namespace
}  // namespace korv::test
