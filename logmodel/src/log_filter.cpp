// The active filter, the row predicate over the log's rows and the search of visible rows.

#include <algorithm>

#include "log_internal.h"
#include "decode_lanes.h"
#include "logmodel/filter_match.h"

namespace {

// Rows a find lane examines at a time: the rows between two calls of the find pump.
constexpr int kFindBlock = 1000;

bool FoldAndFix(CLogFilterData& criteria) {
  korv::PrepareText(criteria);
  criteria.UpdateTimeRange();
  return true;
}

}  // namespace

void CLog::SetFilter(const CLogFilterData& filter) {
  m_filter = filter;
  FoldAndFix(m_filter);
  if (!IsTextFilterActive() || m_nFixedRecord >= 0) RebuildVisible(true);
}

bool CLog::IsTextFilterActive() const { return korv::TextCriterionActive(m_filter); }

bool CLog::MatchRecord(const CLogFilterData& filter, const REC_INFO_BASE& row,
                       const std::vector<std::u16string>* texts) {
  // A row of this log's directory rows is a directory row: its texts come from its file.
  if (IsDirectory() && !m_dirRows.empty() && &row >= m_dirRows.data() &&
      &row < m_dirRows.data() + m_dirRows.size())
    return MatchRecord(filter, static_cast<const REC_INFO_DIR&>(row), texts);
  auto get = [&](const std::vector<std::u16string>*& out) {
    if (texts) {
      out = texts;
      return true;
    }
    if (IsDirectory()) return false;  // a bare row of a directory log has no file to read
    if (!RowTexts(row, m_cellTexts)) return false;
    out = &m_cellTexts;
    return true;
  };
  // A record asked for by its number (a record window, FILE:N) is shown deleted or not: its
  // rows say which, and the Deleted filter is for the list of a whole log.
  const std::uint32_t flags = m_nFixedRecord >= 0 ? row.flags & ~ROW_FLAG_DELETED : row.flags;
  // The buffer is only read for texts: a filter without them takes no lock per row.
  if (texts || !korv::TextCriterionActive(filter)) return korv::MatchRow(filter, flags, row.level, row.time, get);
  std::lock_guard<std::mutex> guard(m_bufferLock);
  return korv::MatchRow(filter, flags, row.level, row.time, get);
}

bool CLog::MatchRecord(const CLogFilterData& filter, const REC_INFO_DIR& row,
                       const std::vector<std::u16string>* texts) {
  if (texts) {
    auto given = [&](const std::vector<std::u16string>*& out) {
      out = texts;
      return true;
    };
    return korv::MatchRow(filter, row.flags, row.level, row.time, given);
  }
  LoadScratch scratch;
  auto read = [&](const std::vector<std::u16string>*& out) {
    if (!ReadAndDecode(row, scratch.record, scratch.block)) return false;
    korv::MakeRowTexts(scratch.block, 0, m_nViewMode, std::size_t(GetColumnCount()), row.time,
                       scratch.texts);
    out = &scratch.texts;
    return true;
  };
  return korv::MatchRow(filter, row.flags, row.level, row.time, read);
}

int CLog::FindRecord(const CLogFilterData& filter, int start, bool upwards) {
  m_bStop = false;
  m_nFindExamined = 0;
  m_nFindRows = GetVisibleCount();
  CLogFilterData criteria = filter;
  FoldAndFix(criteria);
  if (m_bOpen && !IsDirectory() && m_nFixedRecord < 0 && korv::TextCriterionActive(criteria) &&
      GetVisibleCount() > kFindBlock) {
    const int lanes = korv::DecodeLaneCount(std::size_t(GetVisibleCount()));
    if (lanes > 1) {
      const int found = FindOnLanes(lanes, criteria, start, upwards);
      // A pass that failed part way is run again on this thread alone.
      if (found != -2) return found;
    }
  }
  auto matches = [&](int position) {
    ++m_nFindExamined;
    const REC_INFO_BASE* row = GetRow(position);
    return row && MatchRecord(criteria, *row);
  };
  return korv::CircularFind(GetVisibleCount(), start, upwards, matches, m_findPump, m_bStop);
}

int CLog::GetFindProgress() const {
  return m_nFindRows > 0 ? int(std::min(m_nFindExamined, m_nFindRows) * 100 / m_nFindRows) : 0;
}

int CLog::FindOnLanes(int laneCount, const CLogFilterData& criteria, int start, bool upwards) {
  // The same visiting order as CircularFind: the lanes examine blocks of positions in that
  // order ahead of the calling thread, which runs the pump, tests the cancel flag and takes
  // the first block's first match in order, exactly as one lane would.
  const int count = GetVisibleCount();
  start = std::clamp(start, -1, count);
  const long long step = upwards ? -1 : 1;
  long long from;
  if (upwards)
    from = start <= 0 ? count - 1 : start - 1;
  else
    from = start >= count - 1 ? 0 : start + 1;
  const std::size_t columns = std::size_t(GetColumnCount());
  const std::unique_ptr<Lane[]> lanes = MakeLanes(laneCount);
  std::vector<int> found(korv::OrderedPassSlots(laneCount), -1);
  int result = -1;
  korv::OrderedPass pass;
  pass.read = [](int, std::size_t, std::size_t) { return true; };
  pass.work = [&](int lane, std::size_t k, std::size_t slot) {
    const Lane::BlockHold hold(lanes[lane], DecodingHolder());
    found[slot] = -1;
    const long long begin = (long long)k * kFindBlock;
    const long long end = std::min<long long>(count, begin + kFindBlock);
    for (long long i = begin; i < end && !m_bStop; ++i) {
      const int position = int(((from + i * step) % count + count) % count);
      const REC_INFO_BASE* row = GetRow(position);
      if (row && LaneMatches(lanes[lane], criteria, *row, columns)) {
        found[slot] = position;
        return;
      }
    }
  };
  pass.consume = [&](std::size_t block, std::size_t slot) {
    m_nFindExamined = std::min<long long>(count, ((long long)block + 1) * kFindBlock);
    if (m_findPump) m_findPump();
    if (m_bStop) {
      result = -1;
      return false;
    }
    result = found[slot];
    return result < 0;
  };
  if (!korv::RunOrderedPass(laneCount, std::size_t((count + kFindBlock - 1) / kFindBlock), pass).whole) return -2;
  return result;
}
