// The per-kind list settings: defaults, the round trip through QSettings,
// nested keys, and stored lists that do not fit the current columns.

#include <QSettings>

#include "list_test_support.h"
#include "ui/list_settings.h"

namespace korv::test {
namespace {

class ListSettingsTest : public ListFixture {
protected:
    void SetUp() override {
        ListFixture::SetUp();
        AppendEvents(path_, records_, true);
    }
    // A settings file of this test alone.
    QSettings& Settings() {
        if (!settings_) {
            settings_ = std::make_unique<QSettings>(QString::fromStdString(dir_.Path("settings.ini")),
                                                    QSettings::IniFormat);
        }
        return *settings_;
    }
    void Store(const char* name, const QVariant& value) {
        Settings().setValue(QStringLiteral("warnlog/") + name, value);
    }
    std::vector<int> Widths() const {
        std::vector<int> widths;
        for (int c = 0; c < list_->GetColumnCount(); ++c) {
            widths.push_back(list_->GetColumnWidth(c));
        }
        return widths;
    }
    void Attach() { list_->SetLog(&OpenLoaded(path_)); }

    std::string path_ = dir_.Path("warnlog.dat");
    std::vector<Record> records_ = [] {
        std::vector<Record> r = NumberedRecords(0, 6);
        r[0].level = 0x00000001;  // Diagnostic
        r[1].level = 0xA0000001;  // Critical
        r[2].deleted = true;
        return r;
    }();
    std::unique_ptr<QSettings> settings_;
};

// The widths a list starts with depend on its font (see column_widths.h);
// these tests take them from the list and look only at what the settings do.
const std::vector<int> kDefaultOrder{4, 5, 6, 0, 1, 2, 3};

TEST_F(ListSettingsTest, FirstStartGivesTheDefaults) {
    const ListSettings values = ReadListSettings(Settings(), "warnlog");
    EXPECT_EQ(values, ListSettings{});
    EXPECT_EQ(values.filter, 31u);
    EXPECT_TRUE(values.autoScroll);

    Attach();
    const std::vector<int> start = Widths();
    EXPECT_EQ(start[4], 0) << "No. starts hidden";
    list_->m_bAutoScroll = false;
    LoadListSettings(log_.get(), *list_, Settings());
    EXPECT_EQ(log_->GetFilter().m_nTypeMask, 31u);
    EXPECT_TRUE(list_->m_bAutoScroll);
    EXPECT_EQ(list_->GetItemCount(), 5) << "the deleted row is hidden";
    EXPECT_EQ(Widths(), start);
    EXPECT_EQ(list_->GetColumnOrderArray(), kDefaultOrder);
}

TEST_F(ListSettingsTest, RoundTripOfAllFourValues) {
    Attach();
    const std::vector<int> start = Widths();
    CLogFilterData filter;
    filter.m_nTypeMask = 0x10 | FILTER_SHOW_DELETED;
    log_->SetFilter(filter);
    list_->m_bAutoScroll = false;
    list_->SetColumnWidth(1, 140);
    list_->ShowColumn(CLogListCtrl::kExtraNumber, true);
    const std::vector<int> order{0, 4, 6, 5, 3, 2, 1};
    ASSERT_TRUE(list_->SetColumnOrderArray(order));
    const std::vector<int> saved = Widths();
    ASSERT_EQ(saved[1], 140);
    ASSERT_GT(saved[4], 0);
    SaveListSettings(log_.get(), *list_, Settings());

    QString widthText;
    for (int width : saved) {
        widthText += QString::number(width) + QLatin1Char(';');
    }
    EXPECT_EQ(Settings().value("warnlog/ListColWidth").toString(), widthText);
    EXPECT_EQ(Settings().value("warnlog/ListColOrder").toString(), "0;4;6;5;3;2;1;");
    EXPECT_EQ(Settings().value("warnlog/Filter").toUInt(), 0x20000010u);
    EXPECT_EQ(Settings().value("warnlog/ListAutoScroll").toInt(), 0);

    // A new window on the same kind gets the layout back.
    list_->SetLog(nullptr);
    Attach();
    ASSERT_EQ(Widths(), start);
    LoadListSettings(log_.get(), *list_, Settings());
    EXPECT_EQ(Widths(), saved);
    EXPECT_EQ(list_->GetColumnOrderArray(), order);
    EXPECT_FALSE(list_->m_bAutoScroll);
    EXPECT_EQ(log_->GetFilter().m_nTypeMask, 0x20000010u);
    EXPECT_EQ(list_->GetItemCount(), 1) << "only the Critical row";
}

TEST_F(ListSettingsTest, StoredFilterDecidesTheRowsShown) {
    struct Case {
        std::uint32_t filter;
        int rows;
    };
    for (const Case& c : {Case{31, 5}, Case{31 | FILTER_SHOW_DELETED, 6}, Case{0, 0}, Case{0x1, 1}}) {
        Store("Filter", c.filter);
        Attach();
        LoadListSettings(log_.get(), *list_, Settings());
        EXPECT_EQ(list_->GetItemCount(), c.rows) << "filter " << c.filter;
        list_->SetLog(nullptr);
    }
}

// Stored lists apply all or nothing; a negative width keeps its column.
TEST_F(ListSettingsTest, StoredListsThatDoNotFitAreIgnored) {
    struct Case {
        const char* widths;
        const char* order;
        std::vector<int> expectWidths;
        std::vector<int> expectOrder;
    };
    Attach();
    const std::vector<int> start = Widths();
    list_->SetLog(nullptr);
    const Case cases[] = {
        {"1;2;3;4;5;6;7;", "6;5;4;3;2;1;0;", {1, 2, 3, 4, 5, 6, 7}, {6, 5, 4, 3, 2, 1, 0}},
        {"1;2;3;4;5;6;7", "6;5;4;3;2;1;0", {1, 2, 3, 4, 5, 6, 7}, {6, 5, 4, 3, 2, 1, 0}},
        {"1;2;3;4;5;6;7;8;", "6;5;4;3;2;1;0;7;", start, kDefaultOrder},  // one more
        {"1;2;3;4;5;6;", "6;5;4;3;2;1;", start, kDefaultOrder},          // one less
        {"1;2;;3;4;5;6;7;", "", start, kDefaultOrder},                   // an empty value ends it
        {"1;-1;3;-200;5;6;7;", "0;0;1;2;3;4;5;", {1, start[1], 3, start[3], 5, 6, 7}, kDefaultOrder},
        {"x;2;3;4;5;6;7;", "9;5;4;3;2;1;0;", {0, 2, 3, 4, 5, 6, 7}, kDefaultOrder},
    };
    for (const Case& c : cases) {
        Store("ListColWidth", c.widths);
        Store("ListColOrder", c.order);
        Attach();
        LoadListSettings(log_.get(), *list_, Settings());
        EXPECT_EQ(Widths(), c.expectWidths) << c.widths;
        EXPECT_EQ(list_->GetColumnOrderArray(), c.expectOrder) << c.order;
        list_->SetLog(nullptr);
    }
}

TEST_F(ListSettingsTest, NestedKeysAndNoLog) {
    EXPECT_EQ(SettingsGroup("escan\\dir"), "escan/dir");
    EXPECT_EQ(SettingsGroup("virlog"), "virlog");
    ListSettings values;
    values.filter = 7;
    values.autoScroll = false;
    values.colWidth = "50;30;";
    values.colOrder = "1;0;";
    WriteListSettings(Settings(), "escan\\dir", values);
    EXPECT_EQ(Settings().value("escan/dir/Filter").toUInt(), 7u);
    EXPECT_EQ(ReadListSettings(Settings(), "escan\\dir"), values);

    // No log open: nothing is written.
    const QStringList before = Settings().allKeys();
    SaveListSettings(nullptr, *list_, Settings());
    WriteListSettings(Settings(), "", values);
    EXPECT_EQ(Settings().allKeys(), before);

    // Unreadable numbers read as their defaults.
    Store("Filter", "lots");
    Store("ListAutoScroll", "-");
    const ListSettings read = ReadListSettings(Settings(), "warnlog");
    EXPECT_EQ(read.filter, 31u);
    EXPECT_TRUE(read.autoScroll);
}

}  // namespace
}  // namespace korv::test
