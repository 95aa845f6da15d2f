#include "logmodel/log_header.h"

#include <climits>

#include "product/module_requests.h"

namespace {

std::int32_t ParseWidth(std::u16string_view s) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == u' ' || s[i] == u'\t' || s[i] == u'\n' || s[i] == u'\r' ||
                          s[i] == u'\v' || s[i] == u'\f'))
    ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) negative = s[i++] == u'-';
  // Accumulate as a negative number so that INT_MIN is reachable; saturate on overflow.
  long long value = 0;
  for (; i < s.size() && s[i] >= u'0' && s[i] <= u'9'; ++i) {
    value = value * 10 - (s[i] - u'0');
    if (value < INT_MIN) {
      value = INT_MIN;
      if (!negative) return INT_MAX;
    }
  }
  if (negative) return std::int32_t(value < INT_MIN ? INT_MIN : value);
  return value < -(long long)INT_MAX ? INT_MAX : std::int32_t(-value);
}

}  // namespace

std::vector<HDR_INFO> ParseHeaderText(std::u16string_view text) {
  std::vector<HDR_INFO> columns;
  if (text.empty()) return columns;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(u',', start);
    const std::u16string_view item =
        text.substr(start, comma == std::u16string_view::npos ? std::u16string_view::npos : comma - start);
    HDR_INFO column;
    const std::size_t eq = item.find(u'=');
    if (eq == std::u16string_view::npos) {
      column.name = std::u16string(item);
    } else {
      column.name = std::u16string(item.substr(0, eq));
      column.width = ParseWidth(item.substr(eq + 1));
    }
    columns.push_back(std::move(column));
    if (comma == std::u16string_view::npos) break;
    start = comma + 1;
  }
  return columns;
}

void CLogHeader::SetHeaderText(std::u16string text) {
  m_strHeader = std::move(text);
  m_columns = ParseHeaderText(m_strHeader);
}

void CLogHeader::Reset() {
  m_strHeader.clear();
  m_columns.clear();
}

bool CLogHeader::Build(const korv::ModuleInstance* instance, bool server) {
  Reset();
  std::u16string text;
  intptr_t result = kResultNoModule;
  if (m_nFlags & 0x8) {
    const bool mac = (m_nFlags & 0x80000000u) != 0;
    result = korv::RequestHeaderText2(instance, m_nTypeId, m_nViewMode,
                                      korv::MakeParamRecord(server, mac), text);
  } else if (m_nFlags & 0x2) {
    result = korv::RequestHeaderText1(instance, m_nTypeId, m_nViewMode, text);
  } else {
    return false;  // a log kind the module does not describe: no columns
  }
  if (result != kResultOk) return false;
  SetHeaderText(std::move(text));
  return true;
}
