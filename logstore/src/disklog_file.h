#pragma once
// The state behind a DiskLogHandle; private to the log store.

#include <cstdint>
#include <mutex>
#include <vector>

#include "logstore/disklog.h"

struct DiskLogFile {
  std::uint32_t open_flags = 0;
  korv::platform::FileTime file_time = 0;
  korv::platform::File file;

  // Guards everything below: the file position state, the header and the
  // index. Recursive, as a holder calls DiskLogRefresh and friends.
  mutable std::recursive_mutex lock;

  _DISKLOG_HEADER header;          // as last read; bytes past a short header size are zero
  _DISKLOG_HEADER scratch_header;  // read by DiskLogHasChanged, taken over by DiskLogRefresh
  std::uint64_t scan_position = 0;
  std::uint64_t read_cursor = 0;
  std::uint32_t records_read = 0;
  std::vector<unsigned char> append_buffer;  // kDiskLogAppendBufferSize when asked for
  std::size_t append_pending = 0;
  std::vector<_DISKLOG_INDEX_RECORD> index;
  // Opened with DISKLOG_OPEN_INDEX_LATER and no walk has run yet: the index is empty and
  // the first caller that needs it (or DiskLogBuildIndex) walks.
  bool index_pending = false;
  bool chain_broken = false;  // the walk that built the pending index stopped at damage
  std::size_t index_step = 0;  // next record number / 16 at the last rebuild
  // Counts the rebuilds that replaced an index built earlier; positions taken
  // from the index before a rebuild may name other records after it.
  std::uint64_t index_generation = 0;

  // The read-ahead window: window_bytes bytes of the file from window_offset,
  // valid while read_ahead_scopes > 0 (the storage is freed with the last).
  int read_ahead_scopes = 0;
  std::vector<unsigned char> window;
  std::uint64_t window_offset = 0;
  std::size_t window_bytes = 0;

  bool indexed() const { return (open_flags & DISKLOG_OPEN_INDEX) != 0; }
};

namespace korv {

// Reads the 56-byte header at offset 0 (short files read as zero-filled).
bool read_disklog_header(const platform::File& file, _DISKLOG_HEADER& header);

// Reads like File::read_at, from the read-ahead window when one is kept; the
// caller holds the lock. drop_window forgets the window's bytes (after any
// change to the file or to what the handle knows of it).
platform::FileError read_log_bytes(DiskLogFile& log, std::uint64_t offset, void* dest, std::size_t want,
                                   std::size_t& got);
inline void drop_window(DiskLogFile& log) { log.window_bytes = 0; }
// Writes min(header size, 56) bytes of the header at offset 0.
bool write_disklog_header(platform::File& file, const _DISKLOG_HEADER& header);

// Index walks; the caller holds the lock. True on success.
bool full_walk(DiskLogFile& log);
// Extends the index from the scan position; when that walk fails the index is
// rebuilt from the start instead, and unless the rebuilt index begins with the
// entries the old one had, index_generation moves and the answer is rebuilt.
enum class IndexWalk { extended, rebuilt, rebuild_failed };
IndexWalk incremental_walk(DiskLogFile& log);
// A full walk that replaces an index readers may already use.
bool rebuild_index(DiskLogFile& log);
// The full walk of an index still pending (DISKLOG_OPEN_INDEX_LATER); nothing otherwise.
// The caller holds the lock.
void ensure_index(DiskLogFile& log);

}  // namespace korv
