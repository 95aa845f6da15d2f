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
  std::size_t index_step = 0;  // next record number / 16 at the last rebuild

  bool indexed() const { return (open_flags & DISKLOG_OPEN_INDEX) != 0; }
};

namespace korv {

// Reads the 56-byte header at offset 0 (short files read as zero-filled).
bool read_disklog_header(const platform::File& file, _DISKLOG_HEADER& header);
// Writes min(header size, 56) bytes of the header at offset 0.
bool write_disklog_header(platform::File& file, const _DISKLOG_HEADER& header);

// Index walks; the caller holds the lock. True on success.
bool full_walk(DiskLogFile& log);
bool incremental_walk(DiskLogFile& log);

}  // namespace korv
