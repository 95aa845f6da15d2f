#include "ui/clipboard.h"

#include "events_log.h"
#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <clocale>
#include <map>

namespace korv {
namespace {

using Cells = std::vector<std::u16string>;

// A row source over a fixed table; rows missing from it cannot be produced.
RowCellsFn Table(const std::map<int, Cells>& rows) {
    return [rows](int row, Cells& out) {
        const auto it = rows.find(row);
        if (it == rows.end()) return false;
        out = it->second;
        return true;
    };
}

TEST(CopyText, Layout) {
    const std::map<int, Cells> table = {
        {0, {u"x", u"y", u"z"}}, {1, {u"", u"b"}}, {2, {}}, {3, {u"last"}}};
    struct Case {
        const char* name;
        std::vector<int> rows;
        std::u16string expected;
    } cases[] = {
        {"one row x y z", {0}, u"x\ty\tz\t\r\n"},
        {"an empty first cell keeps its TAB", {1}, u"\tb\t\r\n"},
        {"a row without cells is a bare line end", {2}, u"\r\n"},
        {"rows in the order given", {3, 0}, u"last\t\r\nx\ty\tz\t\r\n"},
        {"rows that cannot be produced are skipped", {7, 0, 9}, u"x\ty\tz\t\r\n"},
        {"nothing to copy", {}, u""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BuildCopyText(c.rows, Table(table)), c.expected) << c.name;
    }
}

// A long copy yields to the window every kCopyYieldRows rows, and the text
// is the same whether or not it yields.
TEST(CopyText, YieldsBetweenRowsWithoutChangingTheText) {
    std::map<int, Cells> table;
    for (int i = 0; i < 3 * kCopyYieldRows + 5; ++i) {
        table[i] = {std::u16string(1, char16_t(u'a' + i % 26)), u"cell"};
    }
    for (const int count : {0, kCopyYieldRows - 1, kCopyYieldRows, 3 * kCopyYieldRows + 5}) {
        std::vector<int> rows(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) rows[static_cast<std::size_t>(i)] = i;
        int yields = 0;
        const std::u16string yielded = BuildCopyText(rows, Table(table), [&yields] { ++yields; });
        EXPECT_EQ(yielded, BuildCopyText(rows, Table(table))) << count;
        EXPECT_EQ(yields, count / kCopyYieldRows) << count;
    }
}

TEST(CopyText, RoomGrowsInSteps) {
    struct Case {
        std::size_t cellLength;
        int rows;
        std::size_t room;
    } cases[] = {
        {10, 1, CopyTextBuilder::kInitialRoom},
        {2044, 1, CopyTextBuilder::kInitialRoom},  // 2044 + TAB + CR LF = 2047
        {2045, 1, CopyTextBuilder::kInitialRoom},  // exactly 2048
        {2046, 1, CopyTextBuilder::kGrowStep},
        {CopyTextBuilder::kGrowStep, 1, 2 * CopyTextBuilder::kGrowStep},
        {1000000, 3, 2 * CopyTextBuilder::kGrowStep},
    };
    for (const Case& c : cases) {
        CopyTextBuilder builder;
        for (int i = 0; i < c.rows; ++i) {
            builder.AddRow({std::u16string(c.cellLength, u'a')});
        }
        EXPECT_EQ(builder.Room(), c.room) << c.cellLength << " x " << c.rows;
        EXPECT_GE(builder.Room(), builder.Text().size());
        EXPECT_EQ(builder.Text().size(), (c.cellLength + 3) * std::size_t(c.rows));
    }
}

// X11 clients fetch UTF8_STRING from text/plain, so text/plain is UTF-8 in
// every locale; the locale's form is under its charset's own name.
TEST(ClipboardData, UnicodeUnderPlainTextAndTheLocaleFormUnderItsCharset) {
    struct Case {
        std::u16string text;
        std::string asciiLocale;  // the locale form when the charset is plain ASCII
    } cases[] = {
        {u"x\ty\tz\t\r\n", "x\ty\tz\t\r\n"},
        {u"Čas\tÚdálost\t\r\n", "?as\t?d?lost\t\r\n"},
        {u"\u65e5\u672c\t\r\n", "??\t\r\n"},
    };
    const auto bytesOf = [](const QMimeData& data, const QString& format) {
        const QByteArray b = data.data(format);
        return std::string(b.constData(), std::size_t(b.size()));
    };
    // Qt runs the process in C.UTF-8; plain C is a charset that is not UTF-8.
    const std::string savedLocale = std::setlocale(LC_CTYPE, nullptr);
    for (const char* locale : {"C", "C.UTF-8"}) for (const Case& c : cases) {
        SCOPED_TRACE(locale);
        std::setlocale(LC_CTYPE, locale);
        const std::unique_ptr<QMimeData> data = MakeClipboardData(c.text);
        const std::string utf8 = platform::utf16_to_utf8(c.text);
        EXPECT_EQ(data->text().toStdU16String(), c.text);
        EXPECT_EQ(bytesOf(*data, QStringLiteral("text/plain")), utf8);
        EXPECT_EQ(bytesOf(*data, QStringLiteral("text/plain;charset=utf-8")), utf8);
        if (platform::ansi_is_utf8()) {
            EXPECT_EQ(data->formats().size(), 2) << "the locale form is the UTF-8 one";
        } else {
            EXPECT_EQ(bytesOf(*data, AnsiMimeType()), platform::utf16_to_ansi(c.text));
            if (platform::ansi_charset() == "ANSI_X3.4-1968") {
                EXPECT_EQ(AnsiMimeType(), QStringLiteral("text/plain;charset=US-ASCII"));
                EXPECT_EQ(bytesOf(*data, AnsiMimeType()), c.asciiLocale);
            }
        }
    }
    std::setlocale(LC_CTYPE, savedLocale.c_str());
}

TEST(ClipboardData, CopyToClipboardReplacesTheText) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    CopyToClipboard(u"first\t\r\n");
    EXPECT_EQ(clipboard->text(), QStringLiteral("first\t\r\n"));
    CopyToClipboard(u"Čas\t\r\n");
    EXPECT_EQ(clipboard->text(), QStringLiteral("Čas\t\r\n"));
}

class ClipboardCommands : public test::EventsLogTest {
protected:
    static QString Clip() { return QGuiApplication::clipboard()->text(); }
    static void Mark() { QGuiApplication::clipboard()->setText(QStringLiteral("untouched")); }
};

TEST_F(ClipboardCommands, CopyRowsAndAll) {
    CLog& log = Open({{0x20000000, u"alpha"}, {0x20000000, u"beta"}, {0x20000000, u"Žluťoučký"}});
    ASSERT_EQ(log.GetVisibleCount(), 3);
    std::vector<std::u16string> cells;
    ASSERT_TRUE(log.GetRowCells(0, cells));
    ASSERT_GE(cells.size(), 2u);
    EXPECT_EQ(cells[1], u"Žluťoučký");  // newest first in view mode 1

    // The selection comes in any order; the rows go out ascending.
    Mark();
    ASSERT_TRUE(CopyRows(&log, {2, 0}, CellSource::kFull));
    const QStringList lines = Clip().split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 3);  // two rows and the empty rest after the last CR LF
    EXPECT_TRUE(lines[0].contains(QStringLiteral("\tŽluťoučký\t")));
    EXPECT_TRUE(lines[1].contains(QStringLiteral("\talpha\t")));
    EXPECT_TRUE(lines[0].endsWith(QLatin1Char('\t')));
    EXPECT_TRUE(lines[2].isEmpty());

    Mark();
    ASSERT_TRUE(CopyAllRows(&log, CellSource::kLimited));
    const QString all = Clip();
    EXPECT_EQ(all.count(QStringLiteral("\r\n")), 3);
    EXPECT_LT(all.indexOf(QStringLiteral("Žluťoučký")), all.indexOf(QStringLiteral("beta")));
    EXPECT_LT(all.indexOf(QStringLiteral("beta")), all.indexOf(QStringLiteral("alpha")));
}

TEST_F(ClipboardCommands, NothingToCopyLeavesTheClipboard) {
    CLog& log = Open({{0x20000000, u"alpha"}, {0x20000000, u"beta"}});
    CLog closed;
    struct Case {
        const char* name;
        std::function<bool()> command;
    } cases[] = {
        {"Copy with nothing selected", [&] { return CopyRows(&log, {}, CellSource::kFull); }},
        {"Copy of rows that do not exist", [&] { return CopyRows(&log, {5, -1}, CellSource::kFull); }},
        {"Copy without a log", [&] { return CopyRows(nullptr, {0}, CellSource::kFull); }},
        {"Copy All of a closed log", [&] { return CopyAllRows(&closed, CellSource::kFull); }},
        {"Copy Cell with two rows selected", [&] { return CopyCell(&log, 0, 1, 2); }},
        {"Copy Cell with none selected", [&] { return CopyCell(&log, 0, 1, 0); }},
        {"Copy Cell outside any cell", [&] { return CopyCell(&log, -1, -1, 1); }},
        {"Copy Cell past the columns", [&] { return CopyCell(&log, 0, 99, 1); }},
    };
    for (const Case& c : cases) {
        Mark();
        EXPECT_FALSE(c.command()) << c.name;
        EXPECT_EQ(Clip(), QStringLiteral("untouched")) << c.name;
    }
}

TEST_F(ClipboardCommands, CopyCellIsBare) {
    CLog& log = Open({{0x20000000, u"alpha"}, {0x20000000, u"beta"}});
    Mark();
    ASSERT_TRUE(CopyCell(&log, 1, 1, 1));  // column 1 is the first value after the time
    EXPECT_EQ(Clip(), QStringLiteral("alpha"));
    std::u16string time;
    ASSERT_TRUE(log.GetCellText(1, 0, time));
    ASSERT_TRUE(CopyCell(&log, 1, 0, 1));
    EXPECT_EQ(Clip().toStdU16String(), time);
    EXPECT_FALSE(Clip().contains(QLatin1Char('\t')));
}

}  // namespace
}  // namespace korv
