// The active filter, the row predicate over the log's rows and the search of visible rows.

#include "log_internal.h"
#include "logmodel/filter_match.h"

namespace {

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
  if (texts) return korv::MatchRow(filter, row.flags, row.level, row.time, get);
  std::lock_guard<std::mutex> guard(m_bufferLock);
  return korv::MatchRow(filter, row.flags, row.level, row.time, get);
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
  CLogFilterData criteria = filter;
  FoldAndFix(criteria);
  auto matches = [&](int position) {
    const REC_INFO_BASE* row = GetRow(position);
    return row && MatchRecord(criteria, *row);
  };
  return korv::CircularFind(GetVisibleCount(), start, upwards, matches, m_findPump, m_bStop);
}
