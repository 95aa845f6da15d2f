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
  e.damaged = read.damaged;
  e.offset = block.bytes.size();
  e.size = read.payload.size();
  block.bytes.insert(block.bytes.end(), read.payload.begin(), read.payload.end());
  block.entries.push_back(e);
  return true;
}

bool CLog::RowsOfRecord(Lane& lane, const LaneBlock& block, std::size_t entry, std::size_t columns,
                        std::vector<REC_INFO_BASE>& out) {
  const LaneBlock::Entry& e = block.entries[entry];
  const std::uint32_t deleted = e.deleted ? ROW_FLAG_DELETED : 0;
  const bool textTest = korv::TextCriterionActive(m_filter);
  lane.decodedKey = -1;
  RecordRead read;
  read.type = e.type;
  read.time = e.time;
  read.damaged = e.damaged;
  read.payload = block.Payload(e);
  bool raw = false;
  if (!DecodeOrRaw(*lane.decodingLock, e.record, read, lane.scratch.block, raw, &lane.module)) {
    // A placeholder: one row without cells, so a text criterion finds nothing here.
    REC_INFO_BASE row{e.record, 0, e.aux, 0, ROW_FLAG_CORRUPTED | deleted, e.time};
    if (korv::PassesRowTests(m_filter, row.flags, row.level, row.time) && !textTest)
      row.flags |= ROW_FLAG_VISIBLE;
    out.push_back(row);
    return false;
  }
  const DecodedBlock decoded(lane.scratch.block);
  const std::uint32_t rowCount = RowCount(decoded);
  std::uint32_t rowFlags = korv::ModuleRowFlags(decoded) | deleted;
  if (raw) rowFlags |= ROW_FLAG_RAW | (e.damaged ? ROW_FLAG_CORRUPTED : 0);
  for (std::uint32_t i = 0; i < rowCount; ++i) {
    REC_INFO_BASE row{e.record, std::int32_t(i), e.aux, RowLevel(decoded, i), rowFlags, e.time};
    if (korv::PassesRowTests(m_filter, row.flags, row.level, row.time) &&
        (!textTest || lane.matcher.Matches(m_filter, decoded, i, m_nViewMode, columns, row.time)))
      row.flags |= ROW_FLAG_VISIBLE;
    out.push_back(row);
  }
  // Not decoded though a raw row stands for it: the module refused it, or its payload is
  // damaged. In a log shown raw, nothing was asked of the module.
  return raw && (!m_bRaw || e.damaged);
}

bool CLog::LaneMatches(Lane& lane, const CLogFilterData& filter, const REC_INFO_BASE& row,
                       std::size_t columns) {
  if (!korv::PassesRowTests(filter, row.flags, row.level, row.time)) return false;
  if (!korv::TextCriterionActive(filter)) return true;
  const std::int32_t key = KeyOf(row);
  if (lane.decodedKey != key || key < 0) {
    lane.decodedKey = -1;
    RecordRead read;
    bool raw = false;
    if (!ReadRecord(key, lane.scratch.record, read) ||
        !DecodeOrRaw(*lane.decodingLock, key, read, lane.scratch.block, raw, &lane.module))
      return false;
    lane.decodedKey = key;
  }
  return lane.matcher.Matches(filter, lane.scratch.block, std::uint32_t(row.row), m_nViewMode, columns,
                              row.time);
}
