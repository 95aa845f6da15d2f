#include "printed_rows.h"

#include <algorithm>

#include "logstore/disklog.h"

namespace korv::cli {

void PrintedRows::Reset() {
  m_bStarted = false;
  m_nRowsSeen = 0;
  m_seen.clear();
  m_printed.clear();
}

void PrintedRows::BeginPass(bool replaced) {
  if (replaced) {
    // Every row comes again: count occurrences afresh, keep what was printed.
    m_nRowsSeen = 0;
    m_seen.clear();
  }
}

int PrintedRows::FirstEntry(const std::vector<std::int32_t>& visible) const {
  // The visible list holds row indices in row order, and rows only grow between reloads.
  const auto first = std::lower_bound(visible.begin(), visible.end(), std::int32_t(m_nRowsSeen));
  return int(first - visible.begin());
}

std::optional<PrintedRows::Key> PrintedRows::KeyOf(DiskLogFile* file, const REC_INFO_BASE& row) const {
  _DISKLOG_INDEX_RECORD entry;
  if (file == nullptr || row.record < 0 || !DiskLogIndexEntry(file, std::size_t(row.record), entry))
    return std::nullopt;
  return (Key(entry.record_number) << 32) | std::uint32_t(row.row);
}

bool PrintedRows::ShouldPrint(Key key) {
  const std::uint32_t occurrence = ++m_seen[key];
  const auto printed = m_printed.find(key);
  return printed == m_printed.end() || occurrence > printed->second;
}

void PrintedRows::Mark(Key key) {
  std::uint32_t& printed = m_printed[key];
  printed = std::max(printed, m_seen[key]);
}

void PrintedRows::EndPass(std::size_t rowCount) {
  m_bStarted = true;
  m_nRowsSeen = rowCount;
}

}  // namespace korv::cli
