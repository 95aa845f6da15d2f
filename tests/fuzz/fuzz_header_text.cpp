// The module's header text ("Time=20,Module=20,Event=50") in any form: the
// columns must be the comma-separated items in order, each named by what
// stands before its first '='.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "logmodel/log_header.h"

namespace {

// A width written as at most nine plain digits reads as exactly that number.
bool plain_width(std::u16string_view value, std::int32_t& width) {
  if (value.empty() || value.size() > 9) return false;
  width = 0;
  for (char16_t c : value) {
    if (c < u'0' || c > u'9') return false;
    width = width * 10 + (c - u'0');
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string text(size / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);

  const std::vector<HDR_INFO> columns = ParseHeaderText(text);
  if (text.empty()) {
    KORV_FUZZ_CHECK(columns.empty());
    return 0;
  }

  std::size_t start = 0;
  std::size_t index = 0;
  for (;;) {
    const std::size_t comma = text.find(u',', start);
    const std::u16string_view item =
        std::u16string_view(text).substr(start, comma == std::u16string::npos ? std::u16string::npos : comma - start);
    KORV_FUZZ_CHECK(index < columns.size());
    const std::size_t eq = item.find(u'=');
    KORV_FUZZ_CHECK(columns[index].name == item.substr(0, eq));
    std::int32_t width = 0;
    if (eq == std::u16string_view::npos)
      KORV_FUZZ_CHECK(columns[index].width == 0);
    else if (plain_width(item.substr(eq + 1), width))
      KORV_FUZZ_CHECK(columns[index].width == width);
    ++index;
    if (comma == std::u16string::npos) break;
    start = comma + 1;
  }
  KORV_FUZZ_CHECK(index == columns.size());

  CLogHeader header;
  header.SetHeaderText(text);
  KORV_FUZZ_CHECK(header.m_columns.size() == columns.size());
  return 0;
}
