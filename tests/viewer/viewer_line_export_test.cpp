// Export... in JSON Lines and CSV from a shown window: the save dialog's new types, the
// extension a typed name gets or gives, and files that strict readers take back to the window's rows.

#include "shown_window.h"

#include "logmodel/log.h"
#include "resources/ids.h"
#include "test_support/line_formats.h"
#include "ui/export_command.h"

#include <QApplication>
#include <QFileDialog>
#include <QTimer>

#include <filesystem>

namespace korv::test {
namespace {

// Rows whose cells hold every character the two formats must quote or escape.
std::string HostileJson() {
    return "{\"type\": \"0x00010002\", \"time\": \"2026-03-14 09:26:53\", \"rows\": ["
           "{\"level\": \"0x80000000\", \"fields\": [{\"text\": \"a,b \\\"q\\\"\\r\\nline\\ttab\"}, {\"msg\": 53},"
           " {\"text\": \"CORP\\\\x \\u0007\\u2028 \\ud83d\\ude00\"}]},"
           "{\"level\": \"0x10000000\", \"fields\": [{\"text\": \"\"}, {\"msg\": 1}, {\"text\": \"Síť\"}]}]}\n";
}

// The window's visible rows, as the list holds them.
std::vector<std::vector<std::u16string>> WindowRows(CLog& log) {
    std::vector<std::vector<std::u16string>> rows;
    std::vector<std::u16string> cells;
    for (int i = 0; i < log.GetVisibleCount(); ++i) {
        EXPECT_TRUE(log.GetRowCells(i, cells));
        rows.push_back(cells);
    }
    return rows;
}

TEST_F(ShownWindowTest, ExportDialogWritesJsonLinesAndCsv) {
    const std::string dir = FreshDir("line-export");
    const std::string log = dir + "/warnlog.dat";
    ASSERT_TRUE(RunWriter("append-json " + log, EventsJson(0, 3) + HostileJson()));
    auto dlg = StartShownWindow(QString::fromStdString(log));
    ASSERT_TRUE(WaitFor([&] { return LoadedRows(*dlg, 5); }));
    const auto shown = WindowRows(dlg->GetLog());
    ASSERT_EQ(shown.size(), 5u);

    struct Case {
        const char* filter;
        const char* typed;
        const char* written;  // its extension tells the format the bytes must have
    } cases[] = {
        {"JSON Lines (*.jsonl)", "rows", "rows.jsonl"},
        {"CSV (*.csv)", "rows", "rows.csv"},
        // A typed known extension wins over the type left selected.
        {"XML file (*.xml)", "typed.jsonl", "typed.jsonl"},
        {"JSON Lines (*.jsonl)", "typed.csv", "typed.csv"},
        {"CSV (*.csv)", "notes.log", "notes.log.csv"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.filter);
        QTimer::singleShot(0, [&] {
            auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(files, nullptr);
            EXPECT_TRUE(files->nameFilters().contains(QString::fromUtf8(c.filter)));
            // A user's pick of a type also tells the dialog (filterSelected); selecting it
            // from code does not, so the test tells it as the file-type box would.
            files->selectNameFilter(QString::fromUtf8(c.filter));
            emit files->filterSelected(QString::fromUtf8(c.filter));
            files->selectFile(QString::fromStdString(dir + "/" + c.typed));
            static_cast<QDialog*>(files)->accept();  // as the Save button does
        });
        dlg->OnCommand(cmd::kExport);
        const std::string path = dir + "/" + c.written;
        ASSERT_TRUE(std::filesystem::exists(path));
        const std::string bytes = FileBytes(path);
        std::vector<std::vector<std::u16string>> cells;
        if (std::string(c.written).ends_with(".csv")) {
            const auto records = ParseCsv(bytes);
            ASSERT_TRUE(records) << bytes;
            ASSERT_FALSE(records->empty());
            EXPECT_EQ(records->front()[1], u"FileTime");
            EXPECT_EQ(records->front()[2], u"Severity");
            for (std::size_t i = 1; i < records->size(); ++i)
                cells.emplace_back((*records)[i].begin() + 3, (*records)[i].end());
        } else {
            const auto lines = SplitJsonLines(bytes);
            ASSERT_TRUE(lines) << bytes;
            for (const std::string& line : *lines) {
                const auto object = ParseJsonLine(line);
                ASSERT_TRUE(object) << line;
                ASSERT_GE(object->size(), 9u);  // time, filetime, severity, log, record, row, deleted, corrupted, raw
                std::vector<std::u16string> row;
                for (std::size_t m = 9; m < object->size(); ++m) row.push_back(std::get<std::u16string>((*object)[m].second));
                cells.push_back(row);
            }
        }
        // Lone surrogates aside (none here), the files give back exactly the window's rows.
        EXPECT_EQ(cells, shown);
        EXPECT_FALSE(dlg->GetLog().IsExporting());
    }
}

}  // namespace
}  // namespace korv::test
