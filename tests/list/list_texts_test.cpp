// The list's own columns: No., Flags and Type texts, colours and tooltips,
// over a 250-record log and as pure text rules.

#include <QBrush>
#include <QColor>

#include "list_test_support.h"
#include "logmodel/severity.h"
#include "ui/log_list_model.h"

namespace korv::test {
namespace {

TEST(ListTexts, OwnColumnTexts) {
    const ListTexts texts;
    EXPECT_EQ(texts.number, "No.");
    EXPECT_EQ(texts.flags, "Flags");
    EXPECT_EQ(texts.type, "Type");

    struct NumberCase {
        int count, position;
        const char* text;
    };
    for (const NumberCase& c : {NumberCase{250, 0, "250"}, NumberCase{250, 249, "1"},
                                NumberCase{1, 0, "1"}, NumberCase{2147483647, 0, "2147483647"}}) {
        EXPECT_EQ(ListTexts::NumberText(c.count, c.position), c.text) << c.count << " " << c.position;
    }

    struct FlagsCase {
        std::uint32_t flags;
        const char* text;
    };
    for (const FlagsCase& c : {FlagsCase{0, ""}, FlagsCase{ROW_FLAG_CORRUPTED, "C"},
                               FlagsCase{ROW_FLAG_DELETED, "D"},
                               FlagsCase{ROW_FLAG_CORRUPTED | ROW_FLAG_DELETED | ROW_FLAG_VISIBLE, "CD"},
                               FlagsCase{ROW_FLAG_VISIBLE | 0x3, ""}}) {
        EXPECT_EQ(ListTexts::FlagsText(c.flags), c.text) << std::hex << c.flags;
    }

    struct TypeCase {
        bool corrupted;
        std::uint32_t levelClass;
        const char* text;
    };
    for (const TypeCase& c : {TypeCase{false, 0, "None"}, TypeCase{false, 1, "Diagnostic"},
                              TypeCase{false, 2, "Information"}, TypeCase{false, 3, "Information"},
                              TypeCase{false, 4, "Warning"}, TypeCase{false, 8, "Error"},
                              TypeCase{false, 16, "Critical"}, TypeCase{false, 31, "Critical"},
                              TypeCase{false, 32, "type: 32"}, TypeCase{false, 0x80000000u, "type: 2147483648"},
                              TypeCase{true, 16, "Corrupted"}}) {
        EXPECT_EQ(texts.TypeText(c.corrupted, c.levelClass), c.text) << c.levelClass;
    }
}

// The line exports name a row's severity without the string table; they must name it as the
// Type column does for every level a row can have.
TEST(ListTexts, ExportSeverityNamesAreTheTypeColumns) {
    const ListTexts texts;
    for (const std::uint32_t level : {0x00000000u, 0x0FFFFFFFu, 0x10000000u, 0x3FFFFFFFu, 0x40000000u,
                                      0x7FFFFFFFu, 0x80000000u, 0x9FFFFFFFu, 0xA0000000u, 0xFFFFFFFFu}) {
        for (const bool corrupted : {false, true}) {
            const std::u16string_view name = SeverityName(corrupted, LevelClass(level));
            EXPECT_EQ(texts.TypeText(corrupted, LevelClass(level)),
                      QString::fromUtf16(name.data(), static_cast<qsizetype>(name.size())))
                << level << (corrupted ? " corrupted" : "");
        }
    }
}

class ListOwnColumns : public ListFixture {
protected:
    // 250 records, aux i + 1, levels cycling through the five classes;
    // record 3 deleted, record 7 a deleted corrupted placeholder.
    void WriteLog() {
        static constexpr std::uint32_t kLevels[] = {0x00000005, 0x10000005, 0x40000005, 0x80000005, 0xA0000005};
        std::vector<Record> records = NumberedRecords(0, 250);
        for (std::size_t i = 0; i < records.size(); ++i) {
            records[i].level = kLevels[i % 5];
        }
        records[3].deleted = true;
        records[7].deleted = true;
        records[7].corrupted = true;
        AppendEvents(path_, records, true);
    }
    // List view shows the newest record first.
    static int PositionOf(int record) { return 249 - record; }

    QString Text(int row, int column) { return list_->GetItemText(row, column); }
    QVariant Data(int row, int column, int role) {
        return list_->model()->data(list_->model()->index(row, column), role);
    }
    QColor Colour(int row, int role) { return qvariant_cast<QBrush>(Data(row, 0, role)).color(); }

    std::string path_ = dir_.Path("warnlog.dat");
};

TEST_F(ListOwnColumns, NumberFlagsAndTypeOf250Rows) {
    WriteLog();
    CLog& log = OpenLoaded(path_, LOG_VIEW_LIST, kSecondInterface, 31u | FILTER_SHOW_DELETED);
    ASSERT_EQ(log.GetVisibleCount(), 250);
    list_->SetLog(&log);
    ASSERT_EQ(list_->GetItemCount(), 250);
    const int no = list_->GetExtraColumn(CLogListCtrl::kExtraNumber);
    const int flags = list_->GetExtraColumn(CLogListCtrl::kExtraFlags);
    const int type = list_->GetExtraColumn(CLogListCtrl::kExtraType);

    EXPECT_EQ(Text(0, no), "250");
    EXPECT_EQ(Text(249, no), "1");
    EXPECT_EQ(Text(124, no), "126");
    EXPECT_EQ(Text(250, no), "") << "past the last row";

    struct RowCase {
        int record;
        const char* flags;
        const char* type;
    };
    for (const RowCase& c : {RowCase{0, "", "Diagnostic"}, RowCase{1, "", "Information"}, RowCase{2, "", "Warning"},
                             RowCase{3, "D", "Error"}, RowCase{4, "", "Critical"}, RowCase{7, "CD", "Corrupted"}}) {
        const int row = PositionOf(c.record);
        ASSERT_EQ(log.GetRow(row)->auxiliary, std::uint32_t(c.record + 1)) << "position of record " << c.record;
        EXPECT_EQ(Text(row, flags), c.flags) << "record " << c.record;
        EXPECT_EQ(Text(row, type), c.type) << "record " << c.record;
    }
    // The log's own columns come from the module.
    EXPECT_EQ(Text(PositionOf(0), 1), "Kernel");
    EXPECT_EQ(Text(PositionOf(0), 3), "SYSTEM");
}

TEST_F(ListOwnColumns, SeverityAndCorruptedColours) {
    WriteLog();
    CLog& log = OpenLoaded(path_, LOG_VIEW_LIST, kSecondInterface, 31u | FILTER_SHOW_DELETED);
    list_->SetLog(&log);
    struct ColourCase {
        int record;
        QColor text, background;
    };
    const ColourCase cases[] = {
        {0, QColor(78, 88, 101), QColor(255, 255, 255)},    // Diagnostic
        {1, QColor(42, 154, 210), QColor(255, 255, 255)},   // Information
        {2, QColor(211, 151, 22), QColor(255, 255, 255)},   // Warning
        {3, QColor(211, 151, 22), QColor(255, 255, 255)},   // Error, deleted: no colour of its own
        {4, QColor(208, 57, 48), QColor(252, 243, 242)},    // Critical
        {7, QColor(38, 43, 49), QColor(217, 102, 89)},      // corrupted wins
    };
    for (const ColourCase& c : cases) {
        const int row = PositionOf(c.record);
        EXPECT_EQ(Colour(row, Qt::ForegroundRole), c.text) << "record " << c.record;
        EXPECT_EQ(Colour(row, Qt::BackgroundRole), c.background) << "record " << c.record;
    }
    EXPECT_FALSE(Data(250, 0, Qt::ForegroundRole).isValid()) << "no row, no colour";
}

TEST_F(ListOwnColumns, TooltipsCarryTheFullTextAndNoneForEmptyCells) {
    WriteLog();
    CLog& log = OpenLoaded(path_, LOG_VIEW_LIST, kSecondInterface, 31u | FILTER_SHOW_DELETED);
    list_->SetLog(&log);
    const int flags = list_->GetExtraColumn(CLogListCtrl::kExtraFlags);
    EXPECT_EQ(Data(PositionOf(7), flags, Qt::ToolTipRole).toString(), "CD");
    EXPECT_FALSE(Data(PositionOf(0), flags, Qt::ToolTipRole).isValid());
    EXPECT_EQ(Data(PositionOf(0), 1, Qt::ToolTipRole).toString(), "Kernel");
    EXPECT_EQ(Data(PositionOf(0), 0, Qt::ToolTipRole).toString(), Text(PositionOf(0), 0));
    EXPECT_FALSE(Text(PositionOf(0), 0).isEmpty()) << "the record time";
}

TEST_F(ListOwnColumns, StartUpFilterHidesDeletedRows) {
    WriteLog();
    CLog& log = OpenLoaded(path_, LOG_VIEW_LIST, kSecondInterface, 31u);
    list_->SetLog(&log);
    // The deleted rows go, but not the corrupted one among them: it stands for lost data.
    EXPECT_EQ(list_->GetItemCount(), 249);
    EXPECT_EQ(Text(0, list_->GetExtraColumn(CLogListCtrl::kExtraNumber)), "249");
}

}  // namespace
}  // namespace korv::test
