// The index of a handle opened with DISKLOG_OPEN_INDEX_LATER: built on demand under the
// lock, or by DiskLogBuildIndex with the walk outside it.

#include <algorithm>
#include <mutex>

#include "disklog_file.h"
#include "logstore/record_walk.h"

namespace korv {

void ensure_index(DiskLogFile& log) {
  if (!log.index_pending) return;
  log.index_pending = false;
  log.chain_broken = !full_walk(log);
}

}  // namespace korv

using namespace korv;

std::vector<TailRecord> DiskLogScanTail(DiskLogFile* log, std::size_t max_records) {
  if (log == nullptr) return {};
  _DISKLOG_HEADER header;
  {
    std::lock_guard lock(log->lock);
    header = log->header;
  }
  return scan_tail(log->file, header, max_records);
}

bool DiskLogIndexPending(const DiskLogFile* log) {
  if (log == nullptr) return false;
  std::lock_guard lock(log->lock);
  return log->index_pending;
}

bool DiskLogBuildIndex(DiskLogFile* log) {
  if (log == nullptr) return false;
  _DISKLOG_HEADER header;
  std::uint64_t file_size = 0;
  {
    std::lock_guard lock(log->lock);
    if (!log->indexed()) return false;
    if (!log->index_pending) return !log->chain_broken;
    header = log->header;
    log->file.size(file_size);
  }
  // Only positioned reads of the file happen here, none of the handle's state is touched,
  // so readers by offset go on meanwhile. The claimed count is bounded by what the file
  // can hold, as in the full walk.
  const bool with_deleted = (log->open_flags & DISKLOG_OPEN_DELETED) != 0;
  const std::uint64_t claimed =
      std::min<std::uint64_t>(header.next_record_number, file_size / kDiskLogRecordHeaderSize);
  std::vector<_DISKLOG_INDEX_RECORD> index;
  index.reserve(static_cast<std::size_t>(claimed));
  const WalkResult result = walk_records_with(
      log->file, header, header.header_size, [&](std::uint64_t offset, const _DISKLOG_RECORD_HEADER& record) {
        if (record.is_deleted() && !with_deleted) return;
        index.push_back({record.record_number, record.record_type, offset});
      });

  std::lock_guard lock(log->lock);
  // Another caller that needed the index built it meanwhile, from the same or a newer
  // header: its index stands.
  if (!log->index_pending) return !log->chain_broken;
  drop_window(*log);
  log->index = std::move(index);
  log->index_step = static_cast<std::size_t>(claimed / 16);
  log->scan_position = result.offset;
  log->index_pending = false;
  log->chain_broken = !result.ok();
  return result.ok();
}
