#include <algorithm>
#include <mutex>
#include <vector>

#include "disklog_file.h"

using namespace korv;

namespace {

// Counts the zero bytes from offset on, up to the first non-zero byte, the
// end of what can be read, or limit bytes, whichever comes first.
std::uint64_t count_zero_bytes(const platform::File& file, std::uint64_t offset, std::uint64_t limit,
                               bool& hit_nonzero) {
  std::vector<unsigned char> chunk(64 * 1024);
  std::uint64_t zeros = 0;
  hit_nonzero = false;
  while (zeros < limit) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), limit - zeros));
    std::size_t got = 0;
    if (file.read_at(offset + zeros, chunk.data(), want, got) != platform::FileError::ok) return zeros;
    for (std::size_t i = 0; i < got; ++i) {
      if (chunk[i] != 0) {
        hit_nonzero = true;
        return zeros + i;
      }
    }
    zeros += got;
    if (got < want) return zeros;
  }
  return zeros;
}

bool read_record_header(const platform::File& file, std::uint64_t offset, _DISKLOG_RECORD_HEADER& record) {
  unsigned char bytes[kDiskLogRecordHeaderSize];
  std::size_t got = 0;
  if (file.read_at(offset, bytes, sizeof bytes, got) != platform::FileError::ok || got < sizeof bytes)
    return false;
  record = decode_record_header(bytes);
  return true;
}

// Covers [start, start + length) with a deleted placeholder of type 0 and
// writes the header with the numbers it used up.
bool write_placeholder(DiskLogFile& log, std::uint64_t start, std::uint32_t length) {
  std::lock_guard lock(log.lock);
  _DISKLOG_RECORD_HEADER placeholder;
  placeholder.magic = kDiskLogRecordMagic;
  placeholder.record_size = length;
  placeholder.payload_offset = kDiskLogRecordHeaderSize;
  placeholder.record_type = kDiskLogPlaceholderType;
  placeholder.record_number = log.header.next_record_number;
  placeholder.record_time = 0;
  placeholder.record_flags = kDiskLogRecordDeleted;
  placeholder.aux_value = log.header.gap_counter;
  unsigned char bytes[kDiskLogRecordHeaderSize];
  encode_record_header(placeholder, bytes);
  drop_window(log);
  if (log.file.write_at(start, bytes, sizeof bytes) != platform::FileError::ok) return false;
  ++log.header.next_record_number;
  ++log.header.gap_counter;
  return DiskLogFlush(&log, true) == kDiskLogOk;
}

}  // namespace

bool DiskLogRepair(DiskLogFile* log) {
  if (log == nullptr || !log->file.is_writable()) return false;
  std::uint64_t p = log->header.header_size;
  const std::uint64_t data_end = log->header.data_end;
  while (p < data_end) {
    _DISKLOG_RECORD_HEADER record;
    if (!read_record_header(log->file, p, record)) return false;
    if (record.magic == kDiskLogRecordMagic) {
      // A header that does not describe a whole record is damage of another
      // kind: stepping by its size would stand still or land in its own header.
      if (check_record_chain(record) != RecordCheck::ok) return false;
      p += record.record_size;  // p was readable, so it fits off_t: no wrap
      continue;
    }
    // A lost record leaves zeros where its header should be. Anything else
    // (junk, a torn header) is not ours to guess at.
    const std::uint64_t start = p;
    bool hit_nonzero = false;
    // The scan stops at the data end even when the zeros run on past it (the appends
    // after the lost record were lost too): the product appends at the data end, and
    // a placeholder reaching further would swallow every record it adds. What lies
    // past the data end is not the record area, so it is not looked at either.
    // One byte more than a record can hold is enough to know the gap is too long.
    const std::uint64_t limit = std::min<std::uint64_t>(data_end - start, std::uint64_t{UINT32_MAX} + 1);
    const std::uint64_t gap = count_zero_bytes(log->file, start, limit, hit_nonzero);
    if (gap < kDiskLogRecordHeaderSize) return false;  // no room for a placeholder header
    if (gap > UINT32_MAX) return false;                // longer than one record can be
    p = start + gap;
    if (hit_nonzero) {
      _DISKLOG_RECORD_HEADER next;
      if (!read_record_header(log->file, p, next) || next.magic != kDiskLogRecordMagic) return false;
    }
    if (!write_placeholder(*log, start, static_cast<std::uint32_t>(gap))) return false;
  }
  return true;
}
