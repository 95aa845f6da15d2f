#include "logmodel/timeline_rows.h"

#include <algorithm>
#include <cstdint>

namespace korv {

void CountVisibleRows(const CLog& log, TimeHistogram& histogram) {
  histogram.Clear();
  CountAppendedRows(log, 0, histogram);
}

void CountAppendedRows(const CLog& log, std::size_t firstNewRow, TimeHistogram& histogram) {
  CountRowRange(log, firstNewRow, SIZE_MAX, histogram);
}

void CountRowRange(const CLog& log, std::size_t beginRow, std::size_t endRow, TimeHistogram& histogram) {
  if (!log.IsOpen()) return;
  if (!log.IsDirectory()) {
    histogram.AddRowRange(log.Rows(), log.Visible(), beginRow, std::min(endRow, log.Rows().size()));
    return;
  }
  // Directory rows are a derived type: no span of the base type covers them.
  const std::vector<REC_INFO_DIR>& rows = log.DirectoryRows();
  std::vector<TimedLevel> batch;
  for (std::int32_t i : log.Visible())
    if (i >= 0 && std::size_t(i) >= beginRow && std::size_t(i) < endRow && std::size_t(i) < rows.size())
      batch.push_back({rows[std::size_t(i)].time, rows[std::size_t(i)].level});
  histogram.AddAll(batch);
}

int FirstPositionInPeriod(const CLog& log, std::int64_t from, std::int64_t to) {
  const int count = log.GetVisibleCount();
  for (int position = 0; position < count; ++position) {
    const REC_INFO_BASE* row = log.GetRow(position);
    if (row == nullptr || row->time == 0) continue;
    const std::int64_t t = UnixSecondsOf(row->time);
    if (t >= from && t < to) return position;
  }
  return -1;
}

}  // namespace korv
