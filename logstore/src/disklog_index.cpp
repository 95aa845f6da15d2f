#include <algorithm>

#include "disklog_file.h"
#include "logstore/record_walk.h"

namespace korv {
namespace {

// The index grows by the step fixed at the last rebuild (a sixteenth of the
// record count); for small logs by an eighth of its size, 4 to 1024 entries.
void append_entry(DiskLogFile& log, const _DISKLOG_INDEX_RECORD& entry) {
  auto& index = log.index;
  if (index.size() == index.capacity()) {
    const std::size_t step =
        log.index_step != 0 ? log.index_step : std::clamp<std::size_t>(index.size() / 8, 4, 1024);
    index.reserve(index.size() + step);
  }
  index.push_back(entry);
}

bool walk_into_index(DiskLogFile& log) {
  const bool with_deleted = (log.open_flags & DISKLOG_OPEN_DELETED) != 0;
  const WalkResult result = walk_records_with(
      log.file, log.header, log.scan_position,
      [&](std::uint64_t offset, const _DISKLOG_RECORD_HEADER& record) {
        if (record.is_deleted() && !with_deleted) return;
        append_entry(log, {record.record_number, record.record_type, offset});
      });
  // The index now holds every record before result.offset, even when the walk stopped at
  // damage there: the next walk resumes at that offset, so that once the damage is mended
  // (a repair fills a gap) it neither misses nor repeats a record.
  log.scan_position = result.offset;
  return result.ok();
}

}  // namespace

bool full_walk(DiskLogFile& log) {
  drop_window(log);
  log.scan_position = log.header.header_size;
  log.index.clear();
  // The header's record count is only a claim: no file holds more records
  // than 36-byte headers fit into it, so a damaged count cannot make the
  // index reserve gigabytes.
  std::uint64_t file_size = 0;
  log.file.size(file_size);
  const std::uint64_t can_hold = file_size / kDiskLogRecordHeaderSize;
  const std::uint64_t claimed = std::min<std::uint64_t>(log.header.next_record_number, can_hold);
  log.index_step = static_cast<std::size_t>(claimed / 16);
  // Room for the claimed records at once: growing by steps touched the memory of
  // every step's copy again, and page faults were half the cost of the walk. The
  // steps remain for records appended later.
  log.index.reserve(static_cast<std::size_t>(claimed));
  return walk_into_index(log);
}

bool rebuild_index(DiskLogFile& log) {
  ++log.index_generation;
  return full_walk(log);
}

IndexWalk incremental_walk(DiskLogFile& log) {
  drop_window(log);
  const std::size_t known = log.index.size();
  if (walk_into_index(log)) return IndexWalk::extended;
  // Something before the new records moved: start over. When the new index still begins
  // with the entries readers knew (the damage lies among the new records), their positions
  // hold and nothing needs to be reloaded.
  const std::vector<_DISKLOG_INDEX_RECORD> before(log.index.begin(),
                                                  log.index.begin() + static_cast<std::ptrdiff_t>(known));
  const bool ok = full_walk(log);
  if (log.index.size() >= known && std::equal(before.begin(), before.end(), log.index.begin()))
    return IndexWalk::extended;
  ++log.index_generation;
  return ok ? IndexWalk::rebuilt : IndexWalk::rebuild_failed;
}

}  // namespace korv
