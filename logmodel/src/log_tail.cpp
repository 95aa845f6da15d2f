// The newest page of a log opened with its index to be built later: the records the tail
// scan found stand for records first .. first + n - 1 until the walk confirms or replaces
// them. Until then the rows are provisional and read their records through the page.

#include "log_internal.h"

void CLog::SetTailPage(std::int32_t first, std::vector<korv::TailRecord> records) {
  std::lock_guard<std::mutex> guard(m_tailLock);
  m_tailFirst = first;
  m_tail = std::move(records);
}

std::int32_t CLog::LoadTailPage(std::vector<REC_INFO_BASE>& rows) {
  std::int32_t first;
  {
    std::lock_guard<std::mutex> guard(m_tailLock);
    first = m_tailFirst;
  }
  return LoadFrom(RecordSource::kTailPage, rows, first, -2);
}

void CLog::SetRowsProvisional(bool on) {
  m_bRowsProvisional = on;
  if (!on) {
    std::lock_guard<std::mutex> guard(m_tailLock);
    m_tail.clear();
    m_tail.shrink_to_fit();
  }
}

bool CLog::TailRecordOf(std::int32_t record, korv::TailRecord& out) const {
  std::lock_guard<std::mutex> guard(m_tailLock);
  if (record < m_tailFirst) return false;
  const std::size_t i = std::size_t(record - m_tailFirst);
  if (i >= m_tail.size()) return false;
  out = m_tail[i];
  return true;
}

bool CLog::RowTailRecord(std::int32_t record, korv::TailRecord& out) const {
  return m_bRowsProvisional && m_nFixedRecord < 0 && TailRecordOf(record, out);
}

std::int64_t CLog::LoadableRecordCount(RecordSource source) {
  if (source == RecordSource::kTailPage || (source == RecordSource::kShown && m_bRowsProvisional)) {
    std::lock_guard<std::mutex> guard(m_tailLock);
    return std::int64_t(m_tailFirst) + std::int64_t(m_tail.size());
  }
  return DiskLogRecordCount(m_file.get());
}
