// Texts of a timeline row from an opened log's row.

#include "logmodel/timeline_text.h"

#include "logmodel/log.h"
#include "logmodel/record_time.h"
#include "logmodel/severity.h"

namespace korv {

std::u16string_view SeverityName(std::uint32_t levelClass) {
  switch (levelClass) {
    case FILTER_TYPE_CRITICAL: return u"Critical";
    case FILTER_TYPE_ERROR: return u"Error";
    case FILTER_TYPE_WARNING: return u"Warning";
    case FILTER_TYPE_INFORMATION: return u"Information";
    default: return u"Diagnostic";
  }
}

void AppendSummary(const std::vector<std::u16string>& cells, std::size_t first, std::u16string& out) {
  std::size_t end = cells.size();
  while (end > first && cells[end - 1].empty()) --end;
  for (std::size_t c = first; c < end; ++c) {
    if (c > first) out += kSummarySeparator;
    out += cells[c];
  }
}

bool MakeTimelineTexts(CLog& log, int position, std::u16string_view kind,
                       std::vector<std::u16string>& scratch,
                       std::array<std::u16string, kTimelineColumns>& out) {
  const REC_INFO_BASE* row = log.GetRow(position);
  if (row == nullptr) return false;
  for (std::u16string& text : out) text.clear();
  AppendRecordTime(row->time, out[0]);
  out[1] = (row->flags & ROW_FLAG_RAW) ? std::u16string_view(u"Raw") : SeverityName(LevelClass(row->level));
  out[2] = kind;
  // A corrupted record has no cells; one that no longer reads keeps its place with none.
  if ((row->flags & ROW_FLAG_CORRUPTED) == 0 && log.GetRowCells(position, scratch))
    AppendSummary(scratch, log.GetViewMode() == LOG_VIEW_LIST ? 1 : 0, out[3]);
  return true;
}

}  // namespace korv
