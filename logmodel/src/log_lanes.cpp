// The opened log's decoding lanes: their buffers, reading records into a block, the rows of
// a record, and the row predicate a lane tests with.

#include "decode_lanes.h"
#include "log_internal.h"
#include "logmodel/decoded_record.h"
#include "logmodel/filter_match.h"

std::unique_ptr<CLog::Lane[]> CLog::MakeLanes(int lanes) {
  auto made = std::make_unique<Lane[]>(std::size_t(lanes < 1 ? 1 : lanes));
  if (lanes <= 1) made[0].decodingLock = &m_decodingLock;
  return made;
}

bool CLog::ReadIntoBlock(Lane& lane, std::int32_t r, LaneBlock& block, RecordSource source) {
  RecordRead read;
  if (!ReadRecord(r, lane.scratch.record, read, source)) return false;
  LaneBlock::Entry e;
  e.record = r;
  e.type = read.type;
  e.time = read.time;
  e.aux = read.aux;
  e.deleted = read.deleted;
  e.offset = block.bytes.size();
  e.size = read.payload.size();
  block.bytes.insert(block.bytes.end(), read.payload.begin(), read.payload.end());
  block.entries.push_back(e);
  return true;
}

void CLog::RowsOfRecord(Lane& lane, const LaneBlock& block, std::size_t entry, std::size_t columns,
                        std::vector<REC_INFO_BASE>& out) {
  const LaneBlock::Entry& e = block.entries[entry];
  const std::uint32_t deleted = e.deleted ? ROW_FLAG_DELETED : 0;
  const bool textTest = korv::TextCriterionActive(m_filter);
  if (e.type == 0) {
    REC_INFO_BASE row{e.record, 0, e.aux, 0, ROW_FLAG_CORRUPTED | deleted, e.time};
    // No cell texts: a text criterion finds nothing here.
    if (korv::PassesRowTests(m_filter, row.flags, row.level, row.time) && !textTest)
      row.flags |= ROW_FLAG_VISIBLE;
    out.push_back(row);
    return;
  }
  lane.decodedKey = -1;
  if (!DecodeUnder(*lane.decodingLock, e.type, block.Payload(e), lane.scratch.block)) return;
  const DecodedBlock decoded(lane.scratch.block);
  const std::uint32_t rowCount = RowCount(decoded);
  const std::uint32_t rowFlags = korv::ModuleRowFlags(decoded);
  for (std::uint32_t i = 0; i < rowCount; ++i) {
    REC_INFO_BASE row{e.record, std::int32_t(i), e.aux, RowLevel(decoded, i), rowFlags | deleted, e.time};
    if (korv::PassesRowTests(m_filter, row.flags, row.level, row.time) &&
        (!textTest || lane.matcher.Matches(m_filter, decoded, i, m_nViewMode, columns, row.time)))
      row.flags |= ROW_FLAG_VISIBLE;
    out.push_back(row);
  }
}

bool CLog::LaneMatches(Lane& lane, const CLogFilterData& filter, const REC_INFO_BASE& row,
                       std::size_t columns) {
  if (!korv::PassesRowTests(filter, row.flags, row.level, row.time)) return false;
  if (!korv::TextCriterionActive(filter)) return true;
  const std::int32_t key = KeyOf(row);
  if (lane.decodedKey != key || key < 0) {
    lane.decodedKey = -1;
    RecordRead read;
    if (!ReadRecord(key, lane.scratch.record, read) ||
        !DecodeUnder(*lane.decodingLock, read.type, read.payload, lane.scratch.block))
      return false;
    lane.decodedKey = key;
  }
  return lane.matcher.Matches(filter, lane.scratch.block, std::uint32_t(row.row), m_nViewMode, columns,
                              row.time);
}
