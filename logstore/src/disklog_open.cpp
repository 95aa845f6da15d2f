#include <algorithm>
#include <chrono>
#include <thread>

#include "disklog_file.h"

namespace korv {

bool read_disklog_header(const platform::File& file, _DISKLOG_HEADER& header) {
  unsigned char bytes[kDiskLogHeaderSize] = {};
  std::size_t got = 0;
  if (file.read_at(0, bytes, sizeof bytes, got) != platform::FileError::ok) return false;
  header = decode_disklog_header(bytes);
  return true;
}

bool write_disklog_header(platform::File& file, const _DISKLOG_HEADER& header) {
  unsigned char bytes[kDiskLogHeaderSize];
  encode_disklog_header(header, bytes);
  return file.write_at(0, bytes, disklog_header_write_size(header)) == platform::FileError::ok;
}

platform::FileError open_with_retry(const std::string& path, platform::FileMode mode,
                                    std::uint32_t wait_budget_ms, platform::File& file) {
  const std::uint32_t step = std::max<std::uint32_t>(wait_budget_ms / 5, 200);
  std::uint32_t remaining = wait_budget_ms;
  for (;;) {
    const platform::FileError error = file.open(path, mode);
    const bool transient =
        error == platform::FileError::sharing_violation || error == platform::FileError::not_found;
    if (!transient || remaining == 0) return error;
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(remaining, step)));
    remaining -= std::min(remaining, step);
  }
}

namespace {

// Makes the open file a new empty log: the 56-byte header, nothing after it.
bool create_empty_log(DiskLogFile& log) {
  const platform::FileTime now = platform::filetime_now();
  _DISKLOG_HEADER h;
  h.magic = kDiskLogMagic;
  h.header_size = kDiskLogHeaderSize;
  h.data_end = kDiskLogHeaderSize;
  h.creation_time = h.modification_time = h.rewrite_time = now;
  drop_window(log);
  if (!write_disklog_header(log.file, h)) return false;
  if (log.file.truncate(kDiskLogHeaderSize) != platform::FileError::ok) return false;
  if (log.file.flush() != platform::FileError::ok) return false;
  log.header = h;
  return true;
}

}  // namespace
}  // namespace korv

using namespace korv;

DiskLogHandle DiskLogOpen(const std::string& path, std::uint32_t flags) {
  auto log = std::make_unique<DiskLogFile>();
  log->open_flags = flags;
  const auto mode = (flags & DISKLOG_OPEN_WRITE) ? platform::FileMode::write : platform::FileMode::read;
  if (open_with_retry(path, mode, 0, log->file) != platform::FileError::ok) return nullptr;
  if (flags & DISKLOG_OPEN_APPEND_BUFFER) log->append_buffer.resize(kDiskLogAppendBufferSize);

  _DISKLOG_HEADER header;
  if (!read_disklog_header(log->file, header)) return nullptr;
  if (header.magic == kDiskLogMagic) {
    log->header = header;
    if (log->file.modification_time(log->file_time) != platform::FileError::ok) return nullptr;
    if (log->indexed() && (flags & DISKLOG_OPEN_INDEX_LATER) != 0)
      log->index_pending = true;
    else if (log->indexed() && !full_walk(*log))
      return nullptr;
  } else if (flags & DISKLOG_OPEN_WRITE) {
    if (!create_empty_log(*log)) return nullptr;
    if (log->file.modification_time(log->file_time) != platform::FileError::ok) return nullptr;
    if (log->indexed()) full_walk(*log);  // an empty log: sets the scan position
  } else {
    return nullptr;
  }
  log->read_cursor = log->header.header_size;
  log->records_read = 0;
  return DiskLogHandle(log.release());
}

void DiskLogCloser::operator()(DiskLogFile* file) const noexcept {
  std::unique_ptr<DiskLogFile> owned(file);
  DiskLogFlush(owned.get(), false);
}

void DiskLogClose(DiskLogHandle& handle) { handle.reset(); }

int DiskLogFlush(DiskLogFile* log, bool force) {
  if (log == nullptr) return kDiskLogWriteFailed;
  std::lock_guard lock(log->lock);
  const bool pending = log->append_pending > 0;
  if (pending || force) drop_window(*log);
  if (pending) {
    // The pending bytes are the newest records: they end at the data end.
    if (log->append_pending > log->header.data_end) return kDiskLogWriteFailed;
    const std::uint64_t at = log->header.data_end - log->append_pending;
    if (log->file.write_at(at, log->append_buffer.data(), log->append_pending) != platform::FileError::ok)
      return kDiskLogWriteFailed;
    log->append_pending = 0;
  }
  if (pending || force) {
    if (!write_disklog_header(log->file, log->header)) return kDiskLogWriteFailed;
    log->file.flush();  // the data is written; a failed sync is not a failed write
  }
  return kDiskLogOk;
}

void DiskLogLock(DiskLogFile* log) { log->lock.lock(); }
void DiskLogUnlock(DiskLogFile* log) { log->lock.unlock(); }

std::uint32_t DiskLogOpenFlags(const DiskLogFile* log) { return log->open_flags; }

_DISKLOG_HEADER DiskLogHeader(const DiskLogFile* log) {
  std::lock_guard lock(log->lock);
  return log->header;
}

platform::FileTime DiskLogFileTime(const DiskLogFile* log) { return log->file_time; }

std::size_t DiskLogIndexCount(const DiskLogFile* log) {
  std::lock_guard lock(log->lock);
  return log->index.size();
}

bool DiskLogIndexEntry(const DiskLogFile* log, std::size_t i, _DISKLOG_INDEX_RECORD& entry) {
  std::lock_guard lock(log->lock);
  if (i >= log->index.size()) return false;
  entry = log->index[i];
  return true;
}

std::uint64_t DiskLogScanPosition(const DiskLogFile* log) {
  std::lock_guard lock(log->lock);
  return log->scan_position;
}

std::uint64_t DiskLogIndexGeneration(const DiskLogFile* log) {
  std::lock_guard lock(log->lock);
  return log->index_generation;
}
