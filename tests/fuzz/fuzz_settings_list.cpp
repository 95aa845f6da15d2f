// The stored column lists ("50;30;70;") in any form: parsing what was
// formatted gives the values back, and what is applied to the columns is
// always within the current column count.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "ui/settings_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  korv::fuzz::InputReader in(data, size);
  const int column_count = in.u8() % 33;
  const auto rest = in.rest();
  const std::string_view text(reinterpret_cast<const char*>(rest.data()), rest.size());

  const std::vector<int> values = korv::ParseSettingsList(text);
  std::size_t separators = 0;
  for (char c : text) separators += c == ';';
  KORV_FUZZ_CHECK(values.size() <= separators + 1);

  KORV_FUZZ_CHECK(korv::ParseSettingsList(korv::FormatSettingsList(values)) == values);

  const auto widths = korv::WidthsToApply(values, column_count);
  if (!widths.empty()) KORV_FUZZ_CHECK(values.size() == static_cast<std::size_t>(column_count));
  for (const korv::ColumnWidth& w : widths) {
    KORV_FUZZ_CHECK(w.column >= 0 && w.column < column_count);
    KORV_FUZZ_CHECK(values[w.column] >= 0 && w.width == (values[w.column] & 0xFFFF));
  }

  const auto order = korv::OrderToApply(values, column_count);
  if (!order.empty()) {
    KORV_FUZZ_CHECK(order.size() == static_cast<std::size_t>(column_count));
    std::vector<bool> seen(column_count, false);
    for (int column : order) {
      KORV_FUZZ_CHECK(column >= 0 && column < column_count && !seen[column]);
      seen[column] = true;
    }
  }
  return 0;
}
