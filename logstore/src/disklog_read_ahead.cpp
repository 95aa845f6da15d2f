// The read-ahead window of a handle: passes in file order read the file a
// window at a time instead of a record at a time.

#include <algorithm>
#include <cstring>

#include "disklog_file.h"

namespace korv {

platform::FileError read_log_bytes(DiskLogFile& log, std::uint64_t offset, void* dest, std::size_t want,
                                   std::size_t& got) {
  got = 0;
  if (log.read_ahead_scopes <= 0 || want > log.window.size() / 2)
    return log.file.read_at(offset, dest, want, got);
  // A window shorter than its storage ended at the file's end when it was read; the walks
  // that add records drop it, so what it lacks is past every record the handle knows.
  // An empty window holds nothing, not even a file end: a dropped one reads zero bytes.
  const bool inside = log.window_bytes > 0 && offset >= log.window_offset &&
                      offset - log.window_offset <= log.window_bytes &&
                      (log.window_bytes - (offset - log.window_offset) >= want ||
                       log.window_bytes < log.window.size());
  if (!inside) {
    // A read before the window is taken as a pass going backwards (the list shows the newest
    // rows first): the new window ends where this read ends. Otherwise it starts here.
    const bool backwards = log.window_bytes > 0 && offset < log.window_offset;
    std::uint64_t start = offset;
    if (backwards) {
      const std::uint64_t end = offset + want;
      start = end > log.window.size() ? end - log.window.size() : 0;
    }
    log.window_bytes = 0;
    std::size_t filled = 0;
    const platform::FileError e = log.file.read_at(start, log.window.data(), log.window.size(), filled);
    if (e != platform::FileError::ok) return e;
    log.window_offset = start;
    log.window_bytes = filled;
    if (offset - start > filled) return platform::FileError::ok;  // the file ends before the read
  }
  // Past the window's end is past the file's end as it was read: a short read, as pread gives.
  const std::size_t at = std::size_t(offset - log.window_offset);
  got = std::min(want, log.window_bytes - at);
  std::memcpy(dest, log.window.data() + at, got);
  return platform::FileError::ok;
}

}  // namespace korv

void DiskLogBeginReadAhead(DiskLogFile* log) {
  std::lock_guard lock(log->lock);
  if (log->read_ahead_scopes++ == 0) {
    log->window.resize(kDiskLogReadAheadSize);
    korv::drop_window(*log);
  }
}

void DiskLogEndReadAhead(DiskLogFile* log) {
  std::lock_guard lock(log->lock);
  if (--log->read_ahead_scopes == 0) {
    korv::drop_window(*log);
    std::vector<unsigned char>().swap(log->window);
  }
}
