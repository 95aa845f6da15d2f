// The one-pass export: each record read and decoded once, its visible rows handed on with
// their texts, instead of a load that decodes every record for its rows and an export that
// decodes each again for its cells.

#include <algorithm>

#include "log_internal.h"
#include "logmodel/decoded_record.h"
#include "logmodel/filter_match.h"

std::int64_t CLog::ExportPass(const ExportRowVisit& visit, const std::function<void(double)>& progress) {
  if (!m_bOpen || !m_file || IsDirectory() || m_nFixedRecord >= 0) return -1;
  const std::int64_t total = std::max(0, DiskLogRecordCount(m_file.get()));
  // Records the index holds beyond the count get no row, as in the load.
  std::int64_t lost = std::max<std::int64_t>(0, std::int64_t(DiskLogIndexCount(m_file.get())) - total);
  const bool newestFirst = m_nViewMode == LOG_VIEW_LIST;
  const std::size_t columns = std::size_t(GetColumnCount());
  LoadScratch scratch;
  std::vector<std::u16string> none;
  // Forwards or backwards, a window of the file at a time rather than a read per record.
  const DiskLogReadAheadScope readAhead(m_file.get());
  for (std::int64_t done = 0; done < total; ++done) {
    if (progress && (done & 0xFFF) == 0) progress(double(done) * 100.0 / double(total));
    const std::int32_t r = std::int32_t(newestFirst ? total - 1 - done : done);
    RecordRead read;
    // A record that cannot be read is counted and passed over. (The load stops at the
    // first such record; a file cut short under the export loses its later records in both.)
    if (!ReadRecord(r, scratch.record, read)) {
      ++lost;
      continue;
    }
    const std::uint32_t deleted = read.deleted ? ROW_FLAG_DELETED : 0;
    if (read.type == 0) {
      REC_INFO_BASE row{r, 0, read.aux, 0, ROW_FLAG_CORRUPTED | deleted, read.time};
      none.clear();  // no cell texts: a text criterion finds nothing here
      if (MatchRecord(m_filter, row, &none)) {
        row.flags |= ROW_FLAG_VISIBLE;
        if (!visit(row, nullptr)) break;
      }
      continue;
    }
    if (!DecodeRecord(*this, read.type, read.payload, scratch.block)) {
      ++lost;
      continue;
    }
    const DecodedBlock block(scratch.block);
    const std::uint32_t rowCount = RowCount(block);
    if (rowCount == 0) ++lost;
    const std::uint32_t rowFlags = korv::ModuleRowFlags(block);
    bool stopped = false;
    for (std::uint32_t k = 0; k < rowCount && !stopped; ++k) {
      // The list shows the whole row sequence reversed in view mode 1: a record's last row first.
      const std::uint32_t i = newestFirst ? rowCount - 1 - k : k;
      REC_INFO_BASE row{r, std::int32_t(i), read.aux, RowLevel(block, i), rowFlags | deleted, read.time};
      bool made = false;
      auto texts = [&](const std::vector<std::u16string>*& out) {
        korv::MakeRowTexts(block, i, m_nViewMode, columns, read.time, scratch.texts);
        made = true;
        out = &scratch.texts;
        return true;
      };
      if (!korv::MatchRow(m_filter, row.flags, row.level, row.time, texts)) continue;
      row.flags |= ROW_FLAG_VISIBLE;
      if (!made) korv::MakeRowTexts(block, i, m_nViewMode, columns, read.time, scratch.texts);
      stopped = !visit(row, &scratch.texts);
    }
    if (stopped) break;
  }
  if (progress) progress(100.0);
  return lost;
}
