#pragma once
// A row's texts for the text test and for the export, made at the least cost: the cells copied
// out of the decoded block into one reused buffer, the record time formatted only when it is asked for and then
// once per second of record time.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "logmodel/decoded_record.h"
#include "logmodel/filter_data.h"
#include "platform/filetime.h"

namespace korv {

// The record time as the list shows it (AppendRecordTime), kept for the last second asked for:
// the text names the second, so the rows of one second share one formatting.
class RecordTimeText {
 public:
  std::u16string_view Of(platform::FileTime time);

 private:
  bool m_valid = false;
  std::uint64_t m_second = 0;
  std::u16string m_text;
};

// The text test of one row of a decoded block: the selected cells viewed in one buffer and
// the time text (view mode 1, column 0) only when the mask selects it. The same answer as
// MatchTexts over MakeRowTexts' texts. One per lane: it keeps the views, their buffer and its time text.
class BlockRowMatcher {
 public:
  bool Matches(const CLogFilterData& filter, DecodedBlock block, std::uint32_t row, int viewMode,
               std::size_t columns, platform::FileTime time);
  RecordTimeText& Time() { return m_time; }

 private:
  static constexpr std::size_t kColumns = 31;  // the columns a mask can select
  RecordTimeText m_time;
  std::u16string_view m_views[kColumns];
  std::u16string m_copies;  // the selected cells' texts, which m_views look at
};

// MakeRowTexts with the time text taken from `timeText`.
void MakeRowTexts(DecodedBlock block, std::uint32_t row, int viewMode, std::size_t columns,
                  platform::FileTime time, RecordTimeText& timeText, std::vector<std::u16string>& out);

}  // namespace korv
