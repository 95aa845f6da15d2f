// The one-pass export: each record read and decoded once, its visible rows handed on with
// their texts, instead of a load that decodes every record for its rows and an export that
// decodes each again for its cells. Lanes decode consecutive blocks of records and make the
// visible rows' texts (and, given a format, their output bytes); the calling thread hands
// them on in list order.

#include <algorithm>

#include "decode_lanes.h"
#include "log_internal.h"
#include "logmodel/decoded_record.h"
#include "logmodel/filter_match.h"

namespace {

constexpr std::int64_t kExportBlock = 512;  // records per lane block

}  // namespace

std::int64_t CLog::ExportPass(const ExportRowVisit& visit, const std::function<void(double)>& progress,
                              std::string* failure) {
  return RunExportPass(&visit, nullptr, nullptr, progress, failure);
}

std::int64_t CLog::ExportPassFormatted(const ExportRowFormat& format, const ExportBytesVisit& write,
                                       const std::function<void(double)>& progress, std::string* failure) {
  return RunExportPass(nullptr, &format, &write, progress, failure);
}

std::int64_t CLog::RunExportPass(const ExportRowVisit* visit, const ExportRowFormat* format,
                                 const ExportBytesVisit* write, const std::function<void(double)>& progress,
                                 std::string* failure) {
  if (!m_bOpen || !m_file || IsDirectory() || m_nFixedRecord >= 0) return -1;
  const std::int64_t total = std::max(0, DiskLogRecordCount(m_file.get()));
  // Records the index holds beyond the count get no row, as in the load.
  std::int64_t lost = std::max<std::int64_t>(0, std::int64_t(DiskLogIndexCount(m_file.get())) - total);
  const bool newestFirst = m_nViewMode == LOG_VIEW_LIST;
  const std::size_t columns = std::size_t(GetColumnCount());
  const int laneCount = korv::DecodeLaneCount(std::size_t(total));
  const std::unique_ptr<Lane[]> lanes = MakeLanes(laneCount);
  std::vector<LaneBlock> slots(korv::OrderedPassSlots(laneCount));

  korv::OrderedPass pass;
  pass.read = [&](int lane, std::size_t k, std::size_t slot) {
    LaneBlock& block = slots[slot];
    block.Clear();
    const std::int64_t begin = std::int64_t(k) * kExportBlock;
    const std::int64_t end = std::min(total, begin + kExportBlock);
    for (std::int64_t done = begin; done < end; ++done) {
      if (m_bAbort) return false;  // a caller asked the pass to end (korvlog on Ctrl+C)
      const std::int32_t r = std::int32_t(newestFirst ? total - 1 - done : done);
      // A record that cannot be read is counted and passed over. (The load stops at the
      // first such record; a file cut short under the export loses its later records in both.)
      if (!ReadIntoBlock(lanes[lane], r, block, RecordSource::kIndex)) {
        LaneBlock::Entry e;
        e.record = r;
        e.lost = true;
        block.entries.push_back(e);
      }
    }
    return true;
  };
  pass.work = [&](int laneIndex, std::size_t, std::size_t slot) {
    LaneBlock& block = slots[slot];
    Lane& lane = lanes[laneIndex];
    const Lane::BlockHold hold(lane, DecodingHolder());
    std::size_t made = 0;  // rows of `block.rows` with texts in `block.texts`
    for (LaneBlock::Entry& e : block.entries) {
      if (m_bAbort) return;  // the rest is never consumed: consume looks at the flag first
      if (!e.lost) {
        const std::size_t first = block.rows.size();
        e.refused = RowsOfRecord(lane, block, std::size_t(&e - block.entries.data()), columns, block.rows);
        // A placeholder's row has no texts; any other record that gave no row is lost.
        if (e.type != 0 && block.rows.size() == first) e.lost = true;
        // Only the visible rows go on, in list order: a record's last row first in view mode 1.
        auto end = std::remove_if(block.rows.begin() + std::ptrdiff_t(first), block.rows.end(),
                                  [](const REC_INFO_BASE& row) { return !(row.flags & ROW_FLAG_VISIBLE); });
        block.rows.erase(end, block.rows.end());
        if (newestFirst) std::reverse(block.rows.begin() + std::ptrdiff_t(first), block.rows.end());
        if (e.type != 0) {
          // RowsOfRecord left the record's decoded block in the lane's scratch.
          if (block.texts.size() < block.rows.size()) block.texts.resize(block.rows.size());
          for (std::size_t j = first; j < block.rows.size(); ++j)
            korv::MakeRowTexts(lane.scratch.block, std::uint32_t(block.rows[j].row), m_nViewMode, columns,
                               block.rows[j].time, lane.matcher.Time(), block.texts[j]);
        }
        if (format != nullptr) {
          if (block.formatted.size() < block.rows.size()) block.formatted.resize(block.rows.size());
          for (std::size_t j = first; j < block.rows.size(); ++j) {
            block.formatted[j].clear();
            if (e.type != 0) (*format)(block.rows[j], block.texts[j], block.formatted[j]);
          }
        }
        made = block.rows.size();
      }
      e.rowsEnd = made;
    }
  };
  std::int64_t done = 0;
  pass.consume = [&](std::size_t, std::size_t slot) {
    const LaneBlock& block = slots[slot];
    std::size_t j = 0;
    for (const LaneBlock::Entry& e : block.entries) {
      if (m_bAbort) return false;
      if (progress && (done & 0xFFF) == 0) progress(double(done) * 100.0 / double(total));
      ++done;
      // A record the module refused still gives its raw row, and is counted as not decoded.
      if (e.lost || e.refused) ++lost;
      for (; j < e.rowsEnd; ++j) {
        const bool more = write != nullptr ? (*write)(block.rows[j], block.formatted[j], e.type != 0)
                                           : (*visit)(block.rows[j], e.type == 0 ? nullptr : &block.texts[j]);
        if (!more) return false;
      }
    }
    return true;
  };
  {
    // Forwards or backwards, a window of the file at a time rather than a read per record.
    const DiskLogReadAheadScope readAhead(m_file.get());
    korv::PassResult result =
        korv::RunOrderedPass(laneCount, std::size_t((total + kExportBlock - 1) / kExportBlock), pass);
    if (!result.whole) {
      if (failure != nullptr) *failure = std::move(result.failure);
      return -2;
    }
  }
  if (progress && !m_bAbort) progress(100.0);
  return lost;
}
