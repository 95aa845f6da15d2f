// The rows at list positions and the texts of their cells.

#include "log_internal.h"
#include "logmodel/decoded_record.h"
#include "logmodel/export_writer.h"
#include "logmodel/record_time.h"
#include "logmodel/severity.h"

namespace {

constexpr int kCellPathSlots = 200;

}  // namespace

int CLog::EntryOfPosition(int position) const {
  const int count = GetVisibleCount();
  if (position < 0 || position >= count) return -1;
  return m_nViewMode == LOG_VIEW_LIST ? count - 1 - position : position;
}

const REC_INFO_BASE* CLog::GetRow(int position) const {
  const int entry = EntryOfPosition(position);
  if (entry < 0) return nullptr;
  const std::int32_t index = m_visible[std::size_t(entry)];
  if (index < 0) return nullptr;
  if (m_bOpen && !IsDirectory())
    return std::size_t(index) < m_rows.size() ? &m_rows[std::size_t(index)] : nullptr;
  return std::size_t(index) < m_dirRows.size() ? &m_dirRows[std::size_t(index)] : nullptr;
}

const REC_INFO_DIR* CLog::GetDirectoryRow(int position) const {
  if (!IsDirectory()) return nullptr;
  return static_cast<const REC_INFO_DIR*>(GetRow(position));
}

std::int32_t CLog::KeyOf(const REC_INFO_BASE& row) const {
  return m_nFixedRecord >= 0 ? m_nFixedRecord : row.record;
}

bool CLog::GetRowFlags(int position, std::uint32_t& flags) const {
  const REC_INFO_BASE* row = GetRow(position);
  if (!row) return false;
  flags = row->flags;
  return true;
}

bool CLog::GetRowLevelClass(int position, std::uint32_t& levelClass) const {
  const REC_INFO_BASE* row = GetRow(position);
  if (!row) return false;
  levelClass = (row->flags & ROW_FLAG_RAW) ? 0 : LevelClass(row->level);  // a raw row has none
  return true;
}

bool CLog::GetCellText(int position, int column, std::u16string& text) {
  text.clear();
  const REC_INFO_BASE* row = GetRow(position);
  if (!row || column < 0 || column >= GetColumnCount()) return false;
  std::lock_guard<std::mutex> guard(m_cache.Lock());
  const std::int32_t key = KeyOf(*row);
  CLogCache::CACHE_REC* slot = m_cache.Find(key);
  if (!slot) {
    if (!(m_nFlags & 0xA) && !m_bRaw) return false;
    if (m_cache.SlotCount() < kCellPathSlots) m_cache.Resize(kCellPathSlots);
    CLogCache::CACHE_REC& claimed = m_cache.ClaimNext();
    if (!ReadAndDecode(*row, m_cacheRecordBuffer, claimed.decoded)) return true;
    claimed.key = key;
    slot = &claimed;
  }
  const DecodedBlock block(slot->decoded);
  const std::uint32_t rowIndex = std::uint32_t(row->row);
  if (m_nViewMode == LOG_VIEW_LIST) {
    if (column == 0) {
      text = FormatRecordTime(row->time);
      return true;
    }
    return CellText(block, rowIndex, std::uint32_t(column - 1), text);
  }
  return CellText(block, rowIndex, std::uint32_t(column), text);
}

bool CLog::CacheRow(int position) {
  const REC_INFO_BASE* row = GetRow(position);
  if (!row || (!(m_nFlags & 0xA) && !m_bRaw)) return false;
  std::lock_guard<std::mutex> guard(m_cache.Lock());
  const std::int32_t key = KeyOf(*row);
  if (m_cache.Find(key)) return true;
  CLogCache::CACHE_REC& claimed = m_cache.ClaimNext();
  if (!ReadAndDecode(*row, m_cacheRecordBuffer, claimed.decoded)) return false;
  claimed.key = key;
  return true;
}

bool CLog::BufferRecord(const REC_INFO_BASE& row) {
  const std::int32_t key = KeyOf(row);
  if (m_nBufferedRecord == key && key >= 0) return true;
  m_nBufferedRecord = -1;
  if (!ReadAndDecode(row, m_recordBuffer, m_bufferedBlock)) return false;
  m_nBufferedRecord = key;
  return true;
}

bool CLog::RowTexts(const REC_INFO_BASE& row, std::vector<std::u16string>& cells) {
  if (!BufferRecord(row)) return false;
  korv::MakeRowTexts(m_bufferedBlock, std::uint32_t(row.row), m_nViewMode,
                     std::size_t(GetColumnCount()), row.time, cells);
  return true;
}

bool CLog::GetRowCells(int position, std::vector<std::u16string>& cells) {
  // The cells are overwritten rather than cleared first, so that a caller walking many rows
  // (the export) keeps their storage instead of allocating every cell again.
  if (const REC_INFO_BASE* row = GetRow(position)) {
    std::lock_guard<std::mutex> guard(m_bufferLock);
    if (RowTexts(*row, cells)) return true;
  }
  cells.clear();
  return false;
}

bool CLog::GetRowCellsLimited(int position, std::vector<std::u16string>& cells) {
  return GetRowCells(position, cells);
}

bool CLog::GetRowText(int position, std::u16string& line) {
  line.clear();
  const REC_INFO_BASE* row = GetRow(position);
  if (!row) return false;
  std::lock_guard<std::mutex> guard(m_bufferLock);
  if (!RowTexts(*row, m_cellTexts)) return false;
  korv::AppendJoinedRow(m_cellTexts, line);
  return true;
}

bool CLog::GetRowDateTime(int position, std::u16string& date, std::u16string& time) const {
  date.clear();
  time.clear();
  const REC_INFO_BASE* row = GetRow(position);
  return row && FormatRecordDateTime(row->time, date, time);
}

std::u16string CLog::GetDirectoryRowFile(int position) const {
  const REC_INFO_DIR* row = GetDirectoryRow(position);
  return row ? row->fileName : std::u16string();
}
