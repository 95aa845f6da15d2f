#include "ui/settings_list.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace korv {
namespace {

TEST(SettingsList, Parse) {
    const struct {
        const char* text;
        std::vector<int> values;
    } cases[] = {
        {"50;30;", {50, 30}},
        {"50;30", {50, 30}},
        {"50;;30", {50}},
        {"", {}},
        {";", {}},
        {";50", {}},
        {"-1;20;", {-1, 20}},
        {" 7; +8;\t-9;", {7, 8, -9}},
        {"abc;12x;", {0, 12}},
        {"99999999999;-99999999999;", {INT_MAX, INT_MIN}},
        {"-2147483648;2147483647;", {INT_MIN, INT_MAX}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseSettingsList(c.text), c.values) << '"' << c.text << '"';
    }
}

TEST(SettingsList, FormatRoundTrips) {
    const std::vector<int> values{50, 30, 70, 140, -1, 0};
    EXPECT_EQ(FormatSettingsList(values), "50;30;70;140;-1;0;");
    EXPECT_EQ(ParseSettingsList(FormatSettingsList(values)), values);
    EXPECT_EQ(FormatSettingsList(std::vector<int>{}), "");
}

TEST(SettingsList, WidthsApplyOnlyWithTheRightCount) {
    const std::vector<int> stored{50, -1, 70, 65536 + 40};
    EXPECT_EQ(WidthsToApply(stored, 4),
              (std::vector<ColumnWidth>{{0, 50}, {2, 70}, {3, 40}}));  // -1 skipped; low 16 bits
    EXPECT_TRUE(WidthsToApply(stored, 3).empty());
    EXPECT_TRUE(WidthsToApply(stored, 5).empty());
    EXPECT_TRUE(WidthsToApply({}, 0).empty());
}

TEST(SettingsList, OrderMustBeAPermutation) {
    const struct {
        std::vector<int> values;
        int columns;
        std::vector<int> applied;
    } cases[] = {
        {{2, 0, 1}, 3, {2, 0, 1}},
        {{0, 1, 2}, 3, {0, 1, 2}},
        {{0, 1}, 3, {}},        // count differs
        {{0, 1, 2, 3}, 3, {}},  // count differs
        {{0, 0, 1}, 3, {}},     // duplicate
        {{0, 1, 3}, 3, {}},     // out of range
        {{0, -1, 1}, 3, {}},    // negative
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OrderToApply(c.values, c.columns), c.applied);
    }
}

}  // namespace
}  // namespace korv
