#pragma once
// The text form of the stored column widths and column order ("50;30;70;")
// and the rules for applying a stored list to the current columns.

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korv {

// Values in order; every ';' ends a value, a final ';' adds none, and an
// empty value ends the list ("50;;30" gives 50). A value reads like atoi:
// leading blanks, an optional sign, digits; anything else reads as 0, and
// out-of-range numbers are clamped to int.
std::vector<int> ParseSettingsList(std::string_view text);

// Each value as signed decimal followed by ';'.
std::string FormatSettingsList(std::span<const int> values);

struct ColumnWidth {
    int column;
    int width;

    bool operator==(const ColumnWidth&) const = default;
};

// The widths to set: none when the list does not have exactly
// `columnCount` values; negative values leave their column alone; a width
// is the value's low 16 bits, as the list control takes it.
std::vector<ColumnWidth> WidthsToApply(std::span<const int> values, int columnCount);

// The column order to set, or empty when it must be ignored: the count
// differs from `columnCount`, or the values are not each column exactly
// once (a damaged value would otherwise scramble or lose columns).
std::vector<int> OrderToApply(std::span<const int> values, int columnCount);

}  // namespace korv
