#include "load_losses.h"

#include <vector>

#include "logmodel/log.h"
#include "logstore/disklog.h"

namespace korv::cli {

std::size_t CountLoadLosses(const CLog& log) {
  DiskLogFile* file = log.GetFile();
  if (file == nullptr || log.IsDirectory()) return 0;
  // A raw row stands for a record that was not decoded (the module refused it, or its
  // payload is damaged) unless the log is shown raw: that record is counted as lost too.
  const bool raw = log.IsRaw();
  auto undecoded = [raw](const REC_INFO_BASE& row) {
    return (row.flags & ROW_FLAG_RAW) && (!raw || (row.flags & ROW_FLAG_CORRUPTED));
  };
  if (log.GetFixedRecord() >= 0) {
    const auto& rows = log.Rows();
    return rows.empty() || undecoded(rows.front()) ? 1 : 0;
  }
  const std::size_t records = DiskLogIndexCount(file);
  std::vector<bool> hasRow(records, false);
  for (const REC_INFO_BASE& row : log.Rows())
    if (row.record >= 0 && std::size_t(row.record) < records && !undecoded(row)) hasRow[std::size_t(row.record)] = true;
  std::size_t lost = 0;
  for (const bool has : hasRow) lost += has ? 0 : 1;
  return lost;
}

std::string Counted(std::size_t n, const std::string& noun) {
  return std::to_string(n) + ' ' + noun + (n == 1 ? "" : "s");
}

}  // namespace korv::cli
