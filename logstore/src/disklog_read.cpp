#include <algorithm>
#include <cstring>

#include "disklog_file.h"

using namespace korv;

namespace {

// Records up to this size come in with their header in one read.
constexpr std::size_t kReadAhead = 64 * 1024;

struct HeaderRead {
  _DISKLOG_RECORD_HEADER record;
  std::size_t bytes = 0;  // bytes of the record now at the start of the destination
  std::uint64_t offset = 0;  // where it was read
};

// Reads the record header at offset, with as much of what follows as fits,
// and accepts it when it is a valid header carrying the expected number.
bool read_expected_header(DiskLogFile& log, std::uint64_t offset, std::uint32_t number,
                          unsigned char* dest, std::size_t want, HeaderRead& out) {
  std::size_t got = 0;
  if (read_log_bytes(log, offset, dest, want, got) != platform::FileError::ok) return false;
  if (got < kDiskLogRecordHeaderSize) return false;
  out.record = decode_record_header(dest);
  out.bytes = got;
  return check_record_chain(out.record) == RecordCheck::ok && out.record.record_number == number;
}

// Whether the file holds size bytes from offset on.
bool record_fits_file(const DiskLogFile& log, std::uint64_t offset, std::uint32_t size) {
  std::uint64_t file_size = 0;
  if (log.file.size(file_size) != platform::FileError::ok) return false;
  return offset <= file_size && file_size - offset >= size;
}

// Steps 1-3 of a read by index: the entry's record header, checked, with one
// rebuild of the index when the record is not where the index says.
int read_indexed_header(DiskLogFile& log, std::size_t index, unsigned char* dest, std::size_t want,
                        HeaderRead& head) {
  if (!log.indexed()) return kDiskLogNotIndexed;
  ensure_index(log);
  if (index >= log.index.size()) return kDiskLogNoRecord;
  const std::uint64_t offset = log.index[index].file_offset;
  head.offset = offset;
  if (read_expected_header(log, offset, log.index[index].record_number, dest, want, head)) return kDiskLogOk;
  // The record moved under a rewrite that no refresh has seen yet.
  rebuild_index(log);
  if (index >= log.index.size()) return kDiskLogBadRecord;
  if (!read_expected_header(log, offset, log.index[index].record_number, dest, want, head))
    return kDiskLogBadRecord;
  return kDiskLogOk;
}

}  // namespace

int DiskLogReadRecordHeader(DiskLogFile* log, std::size_t index, _DISKLOG_RECORD_HEADER& header) {
  if (log == nullptr) return kDiskLogNotIndexed;
  std::lock_guard lock(log->lock);
  unsigned char bytes[kDiskLogRecordHeaderSize];
  HeaderRead head;
  const int result = read_indexed_header(*log, index, bytes, sizeof bytes, head);
  if (result == kDiskLogOk) header = head.record;
  return result;
}

namespace {

// Where the record's bytes go: the caller's buffer when it holds a header, else a local one.
struct Destination {
  std::uint32_t capacity;
  unsigned char local[kDiskLogRecordHeaderSize];
  unsigned char* dest;
  std::size_t want;
  Destination(void* buffer, std::uint32_t size) : capacity(buffer == nullptr ? 0 : size) {
    const bool in_place = capacity >= kDiskLogRecordHeaderSize;
    dest = in_place ? static_cast<unsigned char*>(buffer) : local;
    want = in_place ? std::min<std::size_t>(capacity, kReadAhead) : sizeof local;
  }
};

// The rest of a read once the record header at head.offset was accepted.
int read_record_body(DiskLogFile& log, const HeaderRead& head, const Destination& to, void* buffer,
                     std::uint32_t& size) {
  const std::uint64_t offset = head.offset;
  const _DISKLOG_RECORD_HEADER& r = head.record;
  if (!payload_fits_record(r)) {
    // The header alone: nothing says where this record's payload is. The caller shows the
    // record as damaged; the walk has gone on past it by its size.
    if (to.capacity < kDiskLogRecordHeaderSize) {
      size = kDiskLogRecordHeaderSize;
      return kDiskLogBufferTooSmall;
    }
    size = kDiskLogRecordHeaderSize;
    return kDiskLogDamagedPayload;
  }
  const std::uint32_t payload_length = r.record_size - r.payload_offset;  // checked: offset <= size
  const std::uint32_t needed = kDiskLogRecordHeaderSize + payload_length;  // <= record size
  if (to.capacity < needed) {
    // Callers size their buffer from this answer: a size field that claims more
    // than the file holds would make them allocate up to 4 GiB for nothing.
    if (!record_fits_file(log, offset, r.record_size)) return kDiskLogShortPayload;
    size = needed;
    return kDiskLogBufferTooSmall;
  }

  auto* out = static_cast<unsigned char*>(buffer);
  if (head.bytes >= r.record_size) {
    // The whole record came with the header; only an unusual payload offset needs a move.
    if (r.payload_offset != kDiskLogRecordHeaderSize)
      std::memmove(out + kDiskLogRecordHeaderSize, out + r.payload_offset, payload_length);
  } else {
    std::uint64_t from = offset + r.payload_offset;
    std::size_t at = kDiskLogRecordHeaderSize;
    if (r.payload_offset == kDiskLogRecordHeaderSize) {  // keep what was read ahead
      from = offset + head.bytes;
      at = head.bytes;
    }
    const std::size_t rest = needed - at;
    std::size_t got = 0;
    if (read_log_bytes(log, from, out + at, rest, got) != platform::FileError::ok || got != rest)
      return kDiskLogShortPayload;
  }
  size = needed;
  return kDiskLogOk;
}

}  // namespace

int DiskLogReadRecord(DiskLogFile* log, std::size_t index, void* buffer, std::uint32_t& size) {
  if (log == nullptr) return kDiskLogNotIndexed;
  std::lock_guard lock(log->lock);
  const Destination to(buffer, size);
  HeaderRead head;
  if (const int result = read_indexed_header(*log, index, to.dest, to.want, head); result != kDiskLogOk)
    return result;
  // A rebuilt index is checked at the same offset, head.offset.
  return read_record_body(*log, head, to, buffer, size);
}

int DiskLogReadRecordAt(DiskLogFile* log, std::uint64_t offset, std::uint32_t number, void* buffer,
                        std::uint32_t& size) {
  if (log == nullptr) return kDiskLogBadRecord;
  std::lock_guard lock(log->lock);
  const Destination to(buffer, size);
  HeaderRead head;
  head.offset = offset;
  if (!read_expected_header(*log, offset, number, to.dest, to.want, head)) return kDiskLogBadRecord;
  return read_record_body(*log, head, to, buffer, size);
}

int DiskLogReadNext(DiskLogFile* log, std::uint32_t* type, void* payload, std::uint32_t* size,
                    std::uint64_t* time, std::uint32_t* aux) {
  if (log == nullptr) return kDiskLogNoRecord;
  std::lock_guard lock(log->lock);
  if (log->records_read >= log->header.next_record_number) return kDiskLogNoRecord;

  unsigned char bytes[kDiskLogRecordHeaderSize];
  std::size_t got = 0;
  if (read_log_bytes(*log, log->read_cursor, bytes, sizeof bytes, got) != platform::FileError::ok ||
      got < sizeof bytes)
    return kDiskLogBadRecord;
  const _DISKLOG_RECORD_HEADER r = decode_record_header(bytes);
  if (check_record_chain(r) != RecordCheck::ok) return kDiskLogBadRecord;
  if (type) *type = r.record_type;
  if (time) *time = r.record_time;
  if (aux) *aux = r.aux_value;

  if (payload == nullptr) return kDiskLogOk;
  if (!payload_fits_record(r)) {
    // Stepped over: the chain goes on past a record whose payload cannot be found.
    log->read_cursor += r.record_size;
    ++log->records_read;
    if (payload == kDiskLogSkip) return kDiskLogOk;
    if (size) *size = 0;
    return kDiskLogDamagedPayload;
  }
  const std::uint32_t payload_length = r.record_size - r.payload_offset;
  if (payload != kDiskLogSkip) {
    if (size == nullptr) return kDiskLogBufferTooSmall;
    if (*size < payload_length) {
      if (!record_fits_file(*log, log->read_cursor, r.record_size)) return kDiskLogShortPayload;
      *size = payload_length;
      return kDiskLogBufferTooSmall;
    }
    if (read_log_bytes(*log, log->read_cursor + r.payload_offset, payload, payload_length, got) !=
            platform::FileError::ok ||
        got != payload_length)
      return kDiskLogShortPayload;
    *size = payload_length;
  }
  // The header was read at the cursor, so the cursor fits off_t and cannot wrap here.
  log->read_cursor += r.record_size;
  ++log->records_read;
  return kDiskLogOk;
}
