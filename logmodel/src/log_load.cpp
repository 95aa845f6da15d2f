// Turning the records of a file log into rows, and the visible list over them.

#include <algorithm>

#include "log_internal.h"
#include "logmodel/decoded_record.h"
#include "logmodel/filter_match.h"
#include "decode_lanes.h"

namespace {

// Records per lane block: enough decoding to outweigh handing the block over, few enough
// that an abort or the end of the pass is not kept waiting.
constexpr std::int64_t kLoadBlock = 512;
// Rows per block of a re-filter.
constexpr std::size_t kRefilterBlock = 512;

// The visible list of `rows` from their bit 31, with the deleted and corrupted counts;
// `touch` sees each row first (a re-evaluation sets its bit there).
template <typename Rows, typename Touch>
CLog::VisibleList ListVisible(Rows& rows, Touch&& touch) {
  CLog::VisibleList list;
  list.positions.reserve(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    touch(rows[i]);
    const std::uint32_t flags = rows[i].flags;
    if (flags & ROW_FLAG_DELETED) ++list.deleted;
    if (flags & ROW_FLAG_CORRUPTED) ++list.corrupted;
    if (flags & ROW_FLAG_VISIBLE) list.positions.push_back(std::int32_t(i));
  }
  return list;
}

}  // namespace

void CLog::SetProgressValue(double progress) {
  m_progress = progress;
  if (m_progressObserver) m_progressObserver(progress);
}

std::int32_t CLog::LoadRecords(std::vector<REC_INFO_BASE>& rows, std::int32_t first, std::int32_t count) {
  return LoadFrom(RecordSource::kIndex, rows, first, count);
}

std::int32_t CLog::LoadFrom(RecordSource source, std::vector<REC_INFO_BASE>& rows, std::int32_t first,
                            std::int32_t count) {
  rows.clear();
  if (!m_bOpen || !m_file) return first;
  // count -2: every record the source holds, without progress (the tail page).
  const bool all = count == -1;
  if (all) SetProgressValue(0.0);
  const std::int64_t total = LoadableRecordCount(source);
  std::int64_t n = total - std::int64_t(first);
  if (count >= 0) n = std::min<std::int64_t>(count, n);
  if (n <= 0 || first < 0) return first;
  // Sized once for the records asked for; a record of several rows grows it by doubling.
  rows.reserve(std::size_t(n));

  const std::size_t columns = std::size_t(GetColumnCount());
  const int laneCount = korv::DecodeLaneCount(std::size_t(n));
  const std::unique_ptr<Lane[]> lanes = MakeLanes(laneCount);
  std::vector<LaneBlock> slots(korv::OrderedPassSlots(laneCount));
  const std::size_t blocks = std::size_t((n + kLoadBlock - 1) / kLoadBlock);
  bool aborted = false;
  std::int64_t consumed = 0;  // records whose rows are in `rows`
  korv::OrderedPass pass;
  pass.read = [&](int lane, std::size_t k, std::size_t slot) {
    LaneBlock& block = slots[slot];
    block.Clear();
    const std::int64_t begin = std::int64_t(k) * kLoadBlock;
    const std::int64_t end = std::min<std::int64_t>(n, begin + kLoadBlock);
    for (std::int64_t done = begin; done < end; ++done) {
      if (m_bAbort) {
        block.aborted = true;
        return false;
      }
      // A record that cannot be read ends the load with the rows made before it.
      if (!ReadIntoBlock(lanes[lane], std::int32_t(first + done), block, source)) {
        block.ended = true;
        return false;
      }
    }
    return true;
  };
  pass.work = [&](int lane, std::size_t, std::size_t slot) {
    const Lane::BlockHold hold(lanes[lane], DecodingHolder());
    LaneBlock& block = slots[slot];
    for (std::size_t i = 0; i < block.entries.size(); ++i) {
      if (m_bAbort) {
        block.aborted = true;
        return;
      }
      block.entries[i].refused = RowsOfRecord(lanes[lane], block, i, columns, block.rows);
      block.entries[i].rowsEnd = block.rows.size();
      block.worked = i + 1;
    }
  };
  pass.consume = [&](std::size_t k, std::size_t slot) {
    // Record by record, as one lane loads: the abort flag is looked at before each record
    // (a progress observer may set it), the progress set after each.
    const LaneBlock& block = slots[slot];
    const std::int64_t begin = std::int64_t(k) * kLoadBlock;
    std::size_t from = 0;
    for (std::size_t i = 0; i < block.entries.size(); ++i) {
      if (m_bAbort || i >= block.worked) {
        aborted = true;
        return false;
      }
      const std::size_t to = block.entries[i].rowsEnd;
      rows.insert(rows.end(), block.rows.begin() + std::ptrdiff_t(from), block.rows.begin() + std::ptrdiff_t(to));
      from = to;
      ++consumed;
      if (all) SetProgressValue(double(begin + std::int64_t(i) + 1) * 100.0 / double(n));
    }
    if (block.aborted) aborted = true;
    return !block.aborted && !block.ended;
  };
  {
    // The records are read in file order: a window at a time, not a read each.
    const DiskLogReadAheadScope readAhead(m_file.get());
    // A step that failed ends the load as an unreadable record does: the rows joined so far
    // stand, and the updater's next pass goes on from the record after them.
    if (!korv::RunOrderedPass(laneCount, blocks, pass).whole) aborted = true;
  }
  if (!aborted && all) SetProgressValue(100.0);
  return std::int32_t(std::int64_t(first) + consumed);
}

void CLog::LoadFixedRecord(std::vector<REC_INFO_BASE>& rows, std::int32_t record) {
  rows.clear();
  if (!m_bOpen || !m_file) return;
  std::lock_guard<std::mutex> guard(m_cache.Lock());
  RecordRead read;
  if (!ReadRecord(record, m_cacheRecordBuffer, read, RecordSource::kIndex)) return;
  // The record's own flags, as the list's row of it has them: an export of the record
  // window says whether the record is deleted.
  const std::uint32_t deleted = read.deleted ? ROW_FLAG_DELETED : 0;
  CLogCache::CACHE_REC& slot = m_cache.ClaimNext();
  bool raw = false;
  if (!DecodeOrRaw(m_decodingLock, record, read, slot.decoded, raw)) {
    if (read.type == 0) rows.push_back({record, 0, 0, 0, ROW_FLAG_CORRUPTED | deleted, read.time});
    return;
  }
  slot.key = record;
  const DecodedBlock block(slot.decoded);
  const std::uint32_t rowCount = RowCount(block);
  std::uint32_t rowFlags = korv::ModuleRowFlags(block) | deleted;
  if (raw) rowFlags |= ROW_FLAG_RAW | (read.damaged ? ROW_FLAG_CORRUPTED : 0);
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
  if (reevaluate && m_bOpen && !IsDirectory() && m_nFixedRecord < 0 && IsTextFilterActive()) {
    const int lanes = korv::DecodeLaneCount(m_rows.size());
    // A pass that failed part way is evaluated again below, on this thread alone.
    if (lanes > 1 && RefilterOnLanes(lanes)) reevaluate = false;
  }
  auto touch = [&](auto& row) {
    if (!reevaluate) return;
    if (MatchRecord(m_filter, row))
      row.flags |= ROW_FLAG_VISIBLE;
    else
      row.flags &= ~ROW_FLAG_VISIBLE;
  };
  AdoptVisible(m_bOpen && !IsDirectory() ? ListVisible(m_rows, touch) : ListVisible(m_dirRows, touch));
}

CLog::VisibleList CLog::VisibleOf(const std::vector<REC_INFO_BASE>& rows) {
  return ListVisible(rows, [](const REC_INFO_BASE&) {});
}

void CLog::AdoptVisible(VisibleList&& list) {
  {
    std::lock_guard<std::mutex> guard(m_bufferLock);
    m_nBufferedRecord = -1;  // the rows were just changed
  }
  m_visible = std::move(list.positions);
  m_nDeleted = list.deleted;
  m_nCorrupted = list.corrupted;
}

bool CLog::RefilterOnLanes(int laneCount) {
  // Blocks end at a record's last row, so that each record is decoded once.
  std::vector<std::size_t> bounds{0};
  while (bounds.back() < m_rows.size()) {
    std::size_t end = std::min(m_rows.size(), bounds.back() + kRefilterBlock);
    while (end < m_rows.size() && m_rows[end].record == m_rows[end - 1].record) ++end;
    bounds.push_back(end);
  }
  const std::size_t columns = std::size_t(GetColumnCount());
  const std::unique_ptr<Lane[]> lanes = MakeLanes(laneCount);
  korv::OrderedPass pass;
  pass.read = [](int, std::size_t, std::size_t) { return true; };
  pass.work = [&](int lane, std::size_t k, std::size_t) {
    const Lane::BlockHold hold(lanes[lane], DecodingHolder());
    for (std::size_t i = bounds[k]; i < bounds[k + 1]; ++i) {
      REC_INFO_BASE& row = m_rows[i];  // this block's rows are this lane's alone
      if (LaneMatches(lanes[lane], m_filter, row, columns))
        row.flags |= ROW_FLAG_VISIBLE;
      else
        row.flags &= ~ROW_FLAG_VISIBLE;
    }
  };
  pass.consume = [](std::size_t, std::size_t) { return true; };
  return korv::RunOrderedPass(laneCount, bounds.size() - 1, pass).whole;
}
