#include <algorithm>
#include <limits>

#include "disklog_file.h"

using namespace korv;

bool DiskLogHasChanged(DiskLogFile* log, bool* rewritten) {
  if (log == nullptr) return false;
  // Only a write handle has buffers to push out before the header is compared.
  if (log->file.flush() != platform::FileError::ok) return false;
  if (!read_disklog_header(log->file, log->scratch_header)) return false;
  if (log->scratch_header.modification_time == log->header.modification_time) return false;
  if (rewritten) *rewritten = log->scratch_header.rewrite_time != log->header.rewrite_time;
  return true;
}

bool DiskLogRefresh(DiskLogFile* log) {
  if (log == nullptr) return false;
  std::lock_guard lock(log->lock);
  bool rewritten = false;
  const bool changed = DiskLogHasChanged(log, &rewritten);
  if (changed) {
    log->header = log->scratch_header;
    drop_window(*log);
  }
  // An index still to be built is built from the header just taken over; no position was
  // taken from it before, so none moves.
  if (log->indexed() && log->index_pending) {
    ensure_index(*log);
    return false;
  }
  if (!changed) return false;
  if (log->indexed()) {
    if (rewritten)
      rebuild_index(*log);
    else if (incremental_walk(*log) != IndexWalk::extended)
      // The index was built anew and differs from the old one (it may be
      // shorter): positions a reader took no longer hold, as after a rewrite.
      rewritten = true;
  }
  return rewritten;
}

int DiskLogRecordCount(DiskLogFile* log) {
  if (log == nullptr) return 0;
  std::lock_guard lock(log->lock);
  if (!log->indexed()) return 0;
  DiskLogRefresh(log);
  constexpr std::size_t kMax = static_cast<std::size_t>(std::numeric_limits<int>::max());
  return static_cast<int>(std::min(log->index.size(), kMax));
}
