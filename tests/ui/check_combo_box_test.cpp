#include "ui/check_combo_box.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QSignalSpy>
#include <QTest>

#include <vector>

namespace {

struct Item {
    const char* text;
    std::uint32_t value;
};

void Fill(CCheckComboBox& combo, const std::vector<Item>& items) {
    for (const Item& item : items) {
        combo.AddItem(QString::fromUtf8(item.text), item.value);
    }
}

std::vector<bool> Checks(const CCheckComboBox& combo) {
    std::vector<bool> checks;
    for (int i = 0; i < combo.count(); ++i) {
        checks.push_back(combo.GetCheck(i));
    }
    return checks;
}

TEST(CheckComboBox, SetCheckedMaskChecksItemsWhollyInTheMask) {
    const struct {
        std::uint32_t mask;
        std::vector<bool> checks;  // items 0x06, 0x02, 0x01, 0x00, 0x40000000
        std::uint32_t checkedMask;
    } cases[] = {
        {0x07, {true, true, true, false, false}, 0x07},
        {0x02, {false, true, false, false, false}, 0x02},
        {0x04, {false, false, false, false, false}, 0x00},
        {0x7FFFFFFF, {true, true, true, false, true}, 0x40000007},
        {0xFFFFFFFF, {true, true, true, false, true}, 0x40000007},
        {0x00, {false, false, false, false, false}, 0x00},
    };
    CCheckComboBox combo;
    Fill(combo, {{"a", 0x06}, {"b", 0x02}, {"c", 0x01}, {"zero", 0x00}, {"high", 0x40000000}});
    for (const auto& c : cases) {
        combo.SetCheckedMask(c.mask);
        EXPECT_EQ(Checks(combo), c.checks) << std::hex << c.mask;
        EXPECT_EQ(combo.GetCheckedMask(), c.checkedMask) << std::hex << c.mask;
    }
}

TEST(CheckComboBox, SetCheckKeepsTheValueAndZeroItemCanBeChecked) {
    CCheckComboBox combo;
    Fill(combo, {{"zero", 0x00}, {"four", 0x04}});
    combo.SetCheck(0, true);
    combo.SetCheck(1, true);
    EXPECT_EQ(combo.GetItemData(0), 0x80000000u);
    EXPECT_EQ(combo.GetItemData(1), 0x80000004u);
    EXPECT_EQ(combo.GetCheckedMask(), 0x04u);
    combo.SetCheck(1, false);
    EXPECT_EQ(combo.GetItemData(1), 0x04u);
    combo.SetCheck(5, true);  // out of range: nothing happens
    combo.SetCheck(-1, true);
    EXPECT_EQ(combo.GetCheckedMask(), 0x00u);
    // AddItem never takes bit 31 from the caller's value.
    EXPECT_EQ(combo.GetItemData(combo.AddItem("x", 0x80000001u)), 0x01u);
}

TEST(CheckComboBox, FaceTextJoinsCheckedItemsAndNeverShowsASelection) {
    CCheckComboBox combo;
    Fill(combo, {{"Time", 1}, {"Severity", 2}, {"Module", 4}});
    EXPECT_EQ(combo.GetWindowText(), "");
    EXPECT_EQ(combo.GetCheckedMask(), 0u);
    EXPECT_EQ(combo.currentIndex(), -1);
    combo.SetCheck(0, true);
    combo.SetCheck(2, true);
    EXPECT_EQ(combo.GetWindowText(), "Time; Module");  // POSIX locales name no separator
    combo.SetCheckedMask(0x02);
    EXPECT_EQ(combo.GetWindowText(), "Severity");
    combo.setItemText(1, "Level");  // any change of the items rebuilds the text
    EXPECT_EQ(combo.GetWindowText(), "Level");
    combo.clear();
    EXPECT_EQ(combo.GetWindowText(), "");
}

TEST(CheckComboBox, ListSeparatorRule) {
    const struct {
        const char* raw;
        const char* separator;
    } cases[] = {{",", ", "}, {";", "; "}, {";  \t", "; "}, {"", "; "}, {"  ", "; "}, {" |", " | "}};
    for (const auto& c : cases) {
        EXPECT_EQ(CCheckComboBox::MakeListSeparator(c.raw), c.separator) << '"' << c.raw << '"';
    }
}

class CheckComboListTest : public ::testing::Test {
protected:
    void SetUp() override {
        Fill(combo, {{"Critical", 0x10}, {"Error", 0x08}, {"Warning", 0x04}});
        combo.resize(200, 24);
        combo.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&combo));
        combo.showPopup();
        ASSERT_TRUE(combo.view()->isVisible());
    }
    void TearDown() override { combo.hidePopup(); }

    QPoint ItemCentre(int row) { return combo.view()->visualRect(combo.model()->index(row, 0)).center(); }
    QWidget* Viewport() { return combo.view()->viewport(); }

    CCheckComboBox combo;
    QSignalSpy changes{&combo, &CCheckComboBox::selectionChanged};
};

TEST_F(CheckComboListTest, LeftClickTogglesAndTheListStaysOpen) {
    QTest::mouseClick(Viewport(), Qt::LeftButton, {}, ItemCentre(1));
    EXPECT_TRUE(combo.view()->isVisible());
    EXPECT_EQ(combo.GetCheckedMask(), 0x08u);
    EXPECT_EQ(changes.count(), 1);
    QTest::mouseClick(Viewport(), Qt::LeftButton, {}, ItemCentre(0));
    QTest::mouseClick(Viewport(), Qt::LeftButton, {}, ItemCentre(1));
    EXPECT_TRUE(combo.view()->isVisible());
    EXPECT_EQ(combo.GetCheckedMask(), 0x10u);
    EXPECT_EQ(changes.count(), 3);
    EXPECT_EQ(combo.GetWindowText(), "Critical");
}

TEST_F(CheckComboListTest, RightClickChecksAllThenNone) {
    combo.SetCheck(2, true);
    QTest::mousePress(Viewport(), Qt::RightButton, {}, ItemCentre(0));
    QTest::mouseRelease(Viewport(), Qt::RightButton, {}, ItemCentre(0));
    EXPECT_EQ(combo.GetCheckedMask(), 0x1Cu);
    EXPECT_EQ(combo.GetWindowText(), "Critical; Error; Warning");
    QTest::mousePress(Viewport(), Qt::RightButton, {}, ItemCentre(0));
    QTest::mouseRelease(Viewport(), Qt::RightButton, {}, ItemCentre(0));
    EXPECT_EQ(combo.GetCheckedMask(), 0x00u);
    EXPECT_EQ(changes.count(), 2);
    EXPECT_TRUE(combo.view()->isVisible());
}

TEST_F(CheckComboListTest, SpaceTogglesTheCurrentItem) {
    combo.view()->setCurrentIndex(combo.model()->index(2, 0));
    QTest::keyClick(combo.view(), Qt::Key_Space);
    EXPECT_EQ(combo.GetCheckedMask(), 0x04u);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_TRUE(combo.view()->isVisible());
    QTest::keyClick(combo.view(), Qt::Key_Space);
    EXPECT_EQ(combo.GetCheckedMask(), 0x00u);
}

TEST_F(CheckComboListTest, ClosingLeavesNoSelection) {
    QTest::keyClick(combo.view(), Qt::Key_Return);
    combo.hidePopup();
    EXPECT_EQ(combo.currentIndex(), -1);
}

TEST(CheckComboBox, DownOrSpaceOnTheClosedComboDropsTheList) {
    for (Qt::Key key : {Qt::Key_Down, Qt::Key_Space}) {
        CCheckComboBox combo;
        Fill(combo, {{"one", 1}});
        combo.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&combo));
        QTest::keyClick(&combo, key);
        EXPECT_TRUE(combo.view()->isVisible()) << key;
        EXPECT_EQ(combo.GetCheckedMask(), 0u) << "dropping the list checks nothing";
        combo.hidePopup();
    }
}

}  // namespace
