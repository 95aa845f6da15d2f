// Turning the records of a file log into rows, and the visible list over them.

#include <algorithm>

#include "log_internal.h"
#include "logmodel/decoded_record.h"
#include "logmodel/filter_match.h"

void CLog::SetProgressValue(double progress) {
  m_progress = progress;
  if (m_progressObserver) m_progressObserver(progress);
}

void CLog::LoadRecords(std::vector<REC_INFO_BASE>& rows, std::int32_t first, std::int32_t count) {
  if (!m_bOpen || !m_file) return;
  const bool all = count == -1;
  if (all) SetProgressValue(0.0);
  const std::int64_t total = LoadableRecordCount();
  std::int64_t n = total - std::int64_t(first);
  if (!all) n = std::min<std::int64_t>(count, n);
  rows.clear();
  if (n <= 0 || first < 0) return;
  // Sized once for the records asked for; a record of several rows grows it by doubling.
  rows.reserve(std::size_t(n));

  LoadScratch scratch;
  const std::size_t columns = std::size_t(GetColumnCount());
  // The records are read in file order: a window at a time, not a read each.
  const DiskLogReadAheadScope readAhead(m_file.get());
  for (std::int64_t done = 0; done < n; ++done) {
    if (m_bAbort) return;
    const std::int32_t r = std::int32_t(first + done);
    RecordRead read;
    if (!ReadRecord(r, scratch.record, read)) break;
    const std::uint32_t deleted = read.deleted ? ROW_FLAG_DELETED : 0;
    if (read.type == 0) {
      REC_INFO_BASE row{r, 0, read.aux, 0, ROW_FLAG_CORRUPTED | deleted, read.time};
      scratch.texts.clear();  // no cell texts: a text criterion finds nothing here
      if (MatchRecord(m_filter, row, &scratch.texts)) row.flags |= ROW_FLAG_VISIBLE;
      rows.push_back(row);
    } else if (DecodeRecord(*this, read.type, read.payload, scratch.block)) {
      const DecodedBlock block(scratch.block);
      const std::uint32_t rowCount = RowCount(block);
      const std::uint32_t rowFlags = korv::ModuleRowFlags(block);
      for (std::uint32_t i = 0; i < rowCount; ++i) {
        REC_INFO_BASE row{r, std::int32_t(i), read.aux, RowLevel(block, i), rowFlags | deleted,
                          read.time};
        auto texts = [&](const std::vector<std::u16string>*& out) {
          korv::MakeRowTexts(block, i, m_nViewMode, columns, read.time, scratch.texts);
          out = &scratch.texts;
          return true;
        };
        if (korv::MatchRow(m_filter, row.flags, row.level, row.time, texts))
          row.flags |= ROW_FLAG_VISIBLE;
        rows.push_back(row);
      }
    }
    if (all) SetProgressValue(double(done + 1) * 100.0 / double(n));
  }
  if (all) SetProgressValue(100.0);
}

void CLog::LoadFixedRecord(std::vector<REC_INFO_BASE>& rows, std::int32_t record) {
  rows.clear();
  if (!m_bOpen || !m_file) return;
  std::lock_guard<std::mutex> guard(m_cache.Lock());
  RecordRead read;
  if (!ReadRecord(record, m_cacheRecordBuffer, read)) return;
  CLogCache::CACHE_REC& slot = m_cache.ClaimNext();
  if (!DecodeRecord(*this, read.type, read.payload, slot.decoded)) return;
  slot.key = record;
  const DecodedBlock block(slot.decoded);
  const std::uint32_t rowCount = RowCount(block);
  const std::uint32_t rowFlags = korv::ModuleRowFlags(block);
  rows.reserve(rowCount);
  for (std::uint32_t i = 0; i < rowCount; ++i)
    rows.push_back({record, std::int32_t(i), 0, RowLevel(block, i), rowFlags, read.time});
}

void CLog::RebuildVisible(bool reevaluate) {
  // Rows may have been replaced since the buffered record was read (a rewrite, a new
  // directory listing): its record index may now stand for another record.
  {
    std::lock_guard<std::mutex> guard(m_bufferLock);
    m_nBufferedRecord = -1;
  }
  int deleted = 0, corrupted = 0;
  m_visible.clear();
  m_visible.reserve(m_bOpen && !IsDirectory() ? m_rows.size() : m_dirRows.size());
  auto visit = [&](auto& rows) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
      auto& row = rows[i];
      if (reevaluate) {
        if (MatchRecord(m_filter, row))
          row.flags |= ROW_FLAG_VISIBLE;
        else
          row.flags &= ~ROW_FLAG_VISIBLE;
      }
      if (row.flags & ROW_FLAG_DELETED) ++deleted;
      if (row.flags & ROW_FLAG_CORRUPTED) ++corrupted;
      if (row.flags & ROW_FLAG_VISIBLE) m_visible.push_back(std::int32_t(i));
    }
  };
  if (m_bOpen && !IsDirectory())
    visit(m_rows);
  else
    visit(m_dirRows);
  m_nDeleted = deleted;
  m_nCorrupted = corrupted;
}
