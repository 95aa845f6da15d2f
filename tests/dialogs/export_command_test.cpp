#include "ui/export_command.h"

#include "events_log.h"
#include "test_support/qt_environment.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QTimer>

#include <fstream>
#include <iterator>

namespace korv {
namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

constexpr char kHead[] = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n<KORV>\r\n  <LOG>";
constexpr char kTail[] = "\r\n  </LOG>\r\n</KORV>";

// `count` rows of two cells; records whether the export mark was set while
// the rows were read.
class FakeRows : public ExportRows {
public:
    explicit FakeRows(int count) : m_count(count) {}
    int Count() override { return m_count; }
    bool Cells(int row, std::vector<std::u16string>& cells) override {
        markedReads += marked ? 1 : 0;
        cells = {u"", u"a<b", u"x&y"};
        if (row == 1) cells[1] = u"O'Neil";
        return true;
    }
    bool Text(int row, std::u16string& line) override {
        markedReads += marked ? 1 : 0;
        line = u"t\tr" + std::u16string(1, char16_t(u'0' + row % 10));
        return true;
    }
    bool DateTime(int, std::u16string& date, std::u16string& time) override {
        date = u"2024-01-02";
        time = u"03:04:05";
        return true;
    }
    bool RowInfo(int row, REC_INFO_BASE& info) override {
        info = REC_INFO_BASE{row, 0, 0, 0x40000000, 0, 0};
        return true;
    }
    bool marked = false;
    int markedReads = 0;

private:
    int m_count;
};

struct ExportRun {
    FakeRows rows;
    ExportSource source;
    std::vector<QString> panes;
    std::vector<bool> marks;

    explicit ExportRun(int count, std::string logPath = {}) : rows(count) {
        source.rows = &rows;
        source.names = {u"Time", u"Name", u"Text"};
        source.timeColumn = true;
        source.logPath = std::move(logPath);
        source.setMark = [this](bool on) {
            marks.push_back(on);
            rows.marked = on;
        };
    }
    int To(ExportFormat format, const std::string& target) {
        return RunExport(source, format, target, [this](const QString& t) { panes.push_back(t); });
    }
};

TEST(ExportFilters, FormatOfEachFilter) {
    EXPECT_EQ(ExportNameFilters(),
              (QStringList{"XML file (*.xml)", "Text file (*.txt)", "Data file (*.dat)",
                           "JSON Lines (*.jsonl)", "CSV (*.csv)"}));
    struct Case {
        const char* filter;
        std::optional<ExportFormat> format;
    } cases[] = {
        {"XML file (*.xml)", ExportFormat::kXml},
        {"Text file (*.txt)", ExportFormat::kText},
        {"Data file (*.dat)", ExportFormat::kDataFile},
        {"JSON Lines (*.jsonl)", ExportFormat::kJsonLines},
        {"CSV (*.csv)", ExportFormat::kCsv},
        {"*.xml", std::nullopt},
        {"*.jsonl", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ExportFormatFromFilter(QString::fromUtf8(c.filter)), c.format) << c.filter;
    }
}

TEST(ExportRunTest, ProgressOnlyOnRows256To299) {
    test::TempDir dir;
    for (ExportFormat format :
         {ExportFormat::kXml, ExportFormat::kText, ExportFormat::kJsonLines, ExportFormat::kCsv}) {
        ExportRun run(300);
        ASSERT_EQ(run.To(format, dir.Path("out")), kExportOk);
        ASSERT_EQ(run.panes.size(), 45u);  // rows 256..299, then "Done"
        EXPECT_EQ(run.panes.front(), QStringLiteral("Exporting 85.3%"));
        EXPECT_EQ(run.panes[43], QStringLiteral("Exporting 99.7%"));
        EXPECT_EQ(run.panes.back(), QStringLiteral("Done"));
        EXPECT_EQ(run.marks, (std::vector<bool>{true, false}));
        EXPECT_EQ(run.rows.markedReads, 300);
    }
}

TEST(ExportRunTest, ZeroRowsAndEscaping) {
    test::TempDir dir;
    ExportRun empty(0);
    ASSERT_EQ(empty.To(ExportFormat::kXml, dir.Path("empty.xml")), kExportOk);
    EXPECT_EQ(ReadAll(dir.Path("empty.xml")), std::string(kHead) + kTail);
    ASSERT_EQ(empty.To(ExportFormat::kText, dir.Path("empty.txt")), kExportOk);
    EXPECT_TRUE(std::filesystem::exists(dir.Path("empty.txt")));
    EXPECT_EQ(ReadAll(dir.Path("empty.txt")), "");

    ExportRun two(2);
    ASSERT_EQ(two.To(ExportFormat::kXml, dir.Path("two.xml")), kExportOk);
    const std::string xml = ReadAll(dir.Path("two.xml"));
    const std::string first =
        "\r\n    <RECORD>"
        "\r\n      <COLUMN NAME=\"Time\">"
        "\r\n        <DATE>2024-01-02</DATE>\r\n        <TIME>03:04:05</TIME>\r\n      </COLUMN>"
        "\r\n      <COLUMN NAME=\"Name\">a&lt;b</COLUMN>"
        "\r\n      <COLUMN NAME=\"Text\">x&amp;y</COLUMN>"
        "\r\n    </RECORD>";
    EXPECT_EQ(xml.substr(0, sizeof kHead - 1 + first.size()), kHead + first);
    EXPECT_NE(xml.find("<COLUMN NAME=\"Name\">O&#39;Neil</COLUMN>"), std::string::npos);
    EXPECT_EQ(xml.substr(xml.size() - (sizeof kTail - 1)), kTail);

    ASSERT_EQ(two.To(ExportFormat::kText, dir.Path("two.txt")), kExportOk);
    EXPECT_EQ(ReadAll(dir.Path("two.txt")), "t\tr0\r\nt\tr1");
}

TEST(ExportRunTest, DataFileAndRefusals) {
    test::TempDir dir;
    const std::string log = dir.Path("log.dat");
    WriteFile(log, std::string("KORV\0\1\2 log bytes", 18));

    // The "Data file" entry copies the log even to a name ending in .xml.
    ExportRun copy(5, log);
    ASSERT_EQ(copy.To(ExportFormat::kDataFile, dir.Path("copy.xml")), kExportOk);
    EXPECT_EQ(ReadAll(dir.Path("copy.xml")), ReadAll(log));
    EXPECT_TRUE(copy.panes.empty());  // the copy leaves pane 0 alone
    EXPECT_EQ(copy.rows.markedReads, 0);
    EXPECT_EQ(copy.marks, (std::vector<bool>{true, false}));

    struct Case {
        const char* name;
        ExportFormat format;
        std::string source;
        std::string target;
        int result;
    } cases[] = {
        {"XML onto the log itself", ExportFormat::kXml, log, log, kExportSameFile},
        {"text onto the log itself", ExportFormat::kText, log, log, kExportSameFile},
        {"copy onto the log itself", ExportFormat::kDataFile, log, log, kExportSameFile},
        {"a folder that does not exist", ExportFormat::kXml, log, dir.Path("none/x.xml"),
         kExportCreateFailed},
        {"copy of a directory log", ExportFormat::kDataFile, dir.Path(""), dir.Path("d.dat"),
         kExportCopyFailed},
    };
    for (const Case& c : cases) {
        ExportRun run(3, c.source);
        EXPECT_EQ(run.To(c.format, c.target), c.result) << c.name;
        EXPECT_FALSE(ExportFailureText(c.result).isEmpty()) << c.name;
        EXPECT_EQ(run.marks, (std::vector<bool>{true, false})) << c.name;
        EXPECT_EQ(ReadAll(log), std::string("KORV\0\1\2 log bytes", 18)) << c.name;
    }
    EXPECT_TRUE(ExportFailureText(kExportOk).isEmpty());
}

TEST(ExportRunTest, WriteFailureIsReported) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    ExportRun run(3);
    EXPECT_EQ(run.To(ExportFormat::kText, "/dev/full"), kExportWriteFailed);
    EXPECT_EQ(run.marks, (std::vector<bool>{true, false}));
}

// Drives the save dialog as a user would: pick a filter, type a name.
void AnswerSaveDialog(const QString& filter, const QString& path) {
    QTimer::singleShot(0, [filter, path] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("xml"));
        EXPECT_EQ(dialog->nameFilters().size(), 5);
        dialog->selectNameFilter(filter);
        dialog->selectFile(path);
        static_cast<QDialog*>(dialog)->accept();  // as the Save button does
    });
}

TEST(ExportDialog, AKnownExtensionChoosesTheFormatAnyOtherNameGetsTheFilters) {
    struct Case {
        const char* typed;
        ExportFormat selected;
        const char* path;
        ExportFormat format;
    } cases[] = {
        {"/d/out.jsonl", ExportFormat::kXml, "/d/out.jsonl", ExportFormat::kJsonLines},
        {"/d/OUT.CSV", ExportFormat::kText, "/d/OUT.CSV", ExportFormat::kCsv},
        {"/d/a.xml", ExportFormat::kDataFile, "/d/a.xml", ExportFormat::kXml},
        {"/d/copy.dat", ExportFormat::kCsv, "/d/copy.dat", ExportFormat::kDataFile},
        {"/d/rows.txt", ExportFormat::kJsonLines, "/d/rows.txt", ExportFormat::kText},
        {"/d/rows", ExportFormat::kJsonLines, "/d/rows.jsonl", ExportFormat::kJsonLines},
        {"/d/rows.", ExportFormat::kCsv, "/d/rows.csv", ExportFormat::kCsv},
        {"/d/report.log", ExportFormat::kText, "/d/report.log.txt", ExportFormat::kText},
        {"/d/a.xml.bak", ExportFormat::kXml, "/d/a.xml.bak.xml", ExportFormat::kXml},
        {"/d/v1.2/rows", ExportFormat::kXml, "/d/v1.2/rows.xml", ExportFormat::kXml},
    };
    for (const Case& c : cases) {
        const ExportChoice choice = ExportChoiceForName(QString::fromUtf8(c.typed), c.selected);
        EXPECT_EQ(choice.path, QString::fromUtf8(c.path)) << c.typed;
        EXPECT_EQ(choice.format, c.format) << c.typed;
    }
}

TEST(ExportDialog, TheNameBeatsTheFilterAndAnAppendedNameIsAskedAbout) {
    test::TempDir dir;
    AnswerSaveDialog(QStringLiteral("Data file (*.dat)"), QString::fromStdString(dir.Path("a.xml")));
    auto choice = AskExportTarget(nullptr);
    ASSERT_TRUE(choice.has_value());
    EXPECT_EQ(choice->format, ExportFormat::kXml);
    EXPECT_TRUE(choice->path.endsWith(QStringLiteral("/a.xml"))) << choice->path.toStdString();

    // "old.log" gets ".txt"; the dialog asked about "old.log", so replacing the existing
    // "old.log.txt" is asked here, and No cancels the export.
    WriteFile(dir.Path("old.log.txt"), "keep");
    {
        test::MessageBoxAnswerer no(QMessageBox::No);
        AnswerSaveDialog(QStringLiteral("Text file (*.txt)"), QString::fromStdString(dir.Path("old.log")));
        EXPECT_FALSE(AskExportTarget(nullptr).has_value());
        EXPECT_EQ(no.shown, 1);
        EXPECT_TRUE(no.text.contains(QStringLiteral("old.log.txt"))) << no.text.toStdString();
    }
    {
        test::MessageBoxAnswerer yes(QMessageBox::Yes);
        AnswerSaveDialog(QStringLiteral("Text file (*.txt)"), QString::fromStdString(dir.Path("old.log")));
        choice = AskExportTarget(nullptr);
        ASSERT_TRUE(choice.has_value());
        EXPECT_EQ(yes.shown, 1);
        EXPECT_EQ(choice->path, QString::fromStdString(dir.Path("old.log.txt")));
    }

    QTimer::singleShot(0, [] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            dialog->reject();
        }
    });
    EXPECT_FALSE(AskExportTarget(nullptr).has_value());
}

class ExportOfLog : public test::EventsLogTest {};

TEST_F(ExportOfLog, VisibleRowsOfAnOpenedLog) {
    CLog& log = Open({{0x20000000, u"alpha"}, {0x40000000, u"b&c"}, {0x20000000, u"gamma"}});
    CLogFilterData only;  // warnings only: one row stays visible
    only.m_nTypeMask = 0x04;
    log.SetFilter(only);
    ASSERT_EQ(log.GetVisibleCount(), 1);

    std::vector<QString> panes;
    const std::string xml = dir_.Path("out.xml");
    ASSERT_EQ(ExportLogTo(log, ExportFormat::kXml, xml, [&](const QString& t) { panes.push_back(t); }),
              kExportOk);
    const std::string bytes = ReadAll(xml);
    EXPECT_NE(bytes.find("<COLUMN NAME=\"Module\">b&amp;c</COLUMN>"), std::string::npos);
    EXPECT_EQ(bytes.find("alpha"), std::string::npos);
    EXPECT_EQ(panes, (std::vector<QString>{QStringLiteral("Done")}));
    EXPECT_FALSE(log.IsExporting());

    ASSERT_EQ(ExportLogTo(log, ExportFormat::kDataFile, dir_.Path("copy.xml"), {}), kExportOk);
    EXPECT_EQ(ReadAll(dir_.Path("copy.xml")), ReadAll(path_));
    EXPECT_EQ(ExportLogTo(log, ExportFormat::kText, path_, {}), kExportSameFile);
}

TEST_F(ExportOfLog, OwnFileAsTargetShowsAMessageBox) {
    CLog& log = Open({{0x20000000, u"alpha"}});
    const std::string before = ReadAll(path_);
    // The overwrite question comes first (answered by its default, then Yes
    // is needed): choose the text filter and a fresh name pointing at the log
    // through a second link, so that no overwrite prompt appears.
    const std::string link = dir_.Path("link.txt");
    ASSERT_EQ(::symlink(path_.c_str(), link.c_str()), 0);
    test::MessageBoxAnswerer boxes;
    QTimer::singleShot(0, [link] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
        dialog->selectNameFilter(QStringLiteral("Text file (*.txt)"));
        dialog->selectFile(QString::fromStdString(link));
        static_cast<QDialog*>(dialog)->accept();  // as the Save button does
    });
    ExportLog(nullptr, &log, {});
    EXPECT_EQ(boxes.shown, 1);
    EXPECT_EQ(boxes.text, ExportFailureText(kExportSameFile));
    EXPECT_EQ(ReadAll(path_), before);
    EXPECT_FALSE(log.IsExporting());
}

}  // namespace
}  // namespace korv
