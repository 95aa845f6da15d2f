#include "row_texts.h"

#include <span>

#include "logmodel/filter_match.h"
#include "logmodel/log.h"
#include "logmodel/record_time.h"

namespace korv {

std::u16string_view RecordTimeText::Of(platform::FileTime time) {
  const std::uint64_t second = time / platform::kTicksPerSecond;
  // The last second of the FILETIME range may be cut by the time-zone shift part-way:
  // formatted afresh rather than shared.
  if (second == ~std::uint64_t(0) / platform::kTicksPerSecond) {
    m_valid = false;
    m_text.clear();
    AppendRecordTime(time, m_text);
    return m_text;
  }
  if (!m_valid || second != m_second) {
    m_text.clear();
    AppendRecordTime(time, m_text);
    m_second = second;
    m_valid = true;
  }
  return m_text;
}

bool BlockRowMatcher::Matches(const CLogFilterData& filter, DecodedBlock block, std::uint32_t row,
                              int viewMode, std::size_t columns, platform::FileTime time) {
  const std::size_t n = columns < kColumns ? columns : kColumns;
  const std::uint32_t mask = filter.m_nColumnMask;
  std::size_t first = 0;
  if (viewMode == LOG_VIEW_LIST && n > 0) {
    m_views[0] = (mask & 1) ? m_time.Of(time) : std::u16string_view();
    first = 1;
  }
  if (n > first)
    RowCellViews(block, row, mask >> first, std::span<std::u16string_view>(m_views + first, n - first), m_copies);
  return MatchTextViews(filter, std::span<const std::u16string_view>(m_views, n));
}

void MakeRowTexts(DecodedBlock block, std::uint32_t row, int viewMode, std::size_t columns,
                  platform::FileTime time, RecordTimeText& timeText, std::vector<std::u16string>& out) {
  out.resize(columns);
  std::size_t c = 0;
  if (viewMode == LOG_VIEW_LIST && columns > 0) out[c++] = timeText.Of(time);
  RowCellTexts(block, row, std::span<std::u16string>(out).subspan(c));
}

}  // namespace korv
