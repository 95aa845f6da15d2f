#include "log_record_read.h"

namespace korv {
namespace {

constexpr std::size_t kFirstBufferSize = 1024;

// The record the store put into the buffer: header and payload, or the header alone of a
// record whose payload does not fit it or runs past the end of the file (the store checked
// the header and left it at the start of the buffer).
bool TakeRecord(int result, const std::vector<std::uint8_t>& buffer, std::uint32_t size, RecordBytes& out) {
  if (result == kDiskLogShortPayload) {
    result = kDiskLogDamagedPayload;
    size = kDiskLogRecordHeaderSize;
  }
  if (result != kDiskLogOk && result != kDiskLogDamagedPayload) return false;
  if (size < kDiskLogRecordHeaderSize || size > buffer.size()) return false;
  out.header = decode_record_header(buffer.data());
  out.damaged = result == kDiskLogDamagedPayload;
  out.payload = out.damaged ? std::span<const std::uint8_t>()
                            : std::span<const std::uint8_t>(buffer.data() + kDiskLogRecordHeaderSize,
                                                            size - kDiskLogRecordHeaderSize);
  return true;
}

bool ReadHeaderOnly(DiskLogFile* file, std::int32_t record, RecordBytes& out) {
  if (DiskLogReadRecordHeader(file, std::size_t(record), out.header) != kDiskLogOk) return false;
  out.payload = {};
  out.damaged = false;
  return true;
}

}  // namespace

bool ReadIndexedRecord(DiskLogFile* file, std::int32_t record, std::vector<std::uint8_t>& buffer,
                       RecordBytes& out) {
  if (file == nullptr || record < 0) return false;
  _DISKLOG_INDEX_RECORD entry;
  if (DiskLogIndexEntry(file, std::size_t(record), entry) && entry.record_type == kDiskLogPlaceholderType &&
      ReadHeaderOnly(file, record, out) && out.header.record_type == kDiskLogPlaceholderType)
    return true;
  if (buffer.size() < kFirstBufferSize) buffer.resize(kFirstBufferSize);
  std::uint32_t size = std::uint32_t(buffer.size());
  int result = DiskLogReadRecord(file, std::size_t(record), buffer.data(), size);
  if (result == kDiskLogBufferTooSmall) {
    // The index may have been rebuilt since the entry was looked at: a placeholder that
    // only now stands at this position is still not read.
    if (ReadHeaderOnly(file, record, out) && out.header.record_type == kDiskLogPlaceholderType) return true;
    buffer.resize(size);
    size = std::uint32_t(buffer.size());
    result = DiskLogReadRecord(file, std::size_t(record), buffer.data(), size);
  }
  return TakeRecord(result, buffer, size, out);
}

bool ReadRecordAt(DiskLogFile* file, const TailRecord& at, std::vector<std::uint8_t>& buffer,
                  RecordBytes& out) {
  if (file == nullptr) return false;
  if (at.header.record_type == kDiskLogPlaceholderType) {
    // The scan checked this header; its payload is zeros nothing shows.
    out.header = at.header;
    out.payload = {};
    out.damaged = false;
    return true;
  }
  if (buffer.size() < kFirstBufferSize) buffer.resize(kFirstBufferSize);
  std::uint32_t size = std::uint32_t(buffer.size());
  const std::uint32_t number = at.header.record_number;
  int result = DiskLogReadRecordAt(file, at.offset, number, buffer.data(), size);
  if (result == kDiskLogBufferTooSmall) {
    buffer.resize(size);  // checked by the store against the file's length
    size = std::uint32_t(buffer.size());
    result = DiskLogReadRecordAt(file, at.offset, number, buffer.data(), size);
  }
  return TakeRecord(result, buffer, size, out);
}

bool ReadFirstRecord(DiskLogFile* file, std::vector<std::uint8_t>& buffer, RecordBytes& out) {
  if (file == nullptr) return false;
  out = RecordBytes{};
  // A file whose first record was lost and repaired starts with placeholders; the file is
  // still the log of its other records, so they stand for it.
  for (;;) {
    if (DiskLogReadNext(file, &out.header.record_type, nullptr, nullptr, nullptr, nullptr) != kDiskLogOk)
      return false;
    if (out.header.record_type != kDiskLogPlaceholderType) break;
    if (DiskLogReadNext(file, nullptr, kDiskLogSkip, nullptr, nullptr, nullptr) != kDiskLogOk) return false;
  }
  if (buffer.size() < kFirstBufferSize) buffer.resize(kFirstBufferSize);
  std::uint32_t size = std::uint32_t(buffer.size());
  auto& h = out.header;
  int result = DiskLogReadNext(file, &h.record_type, buffer.data(), &size, &h.record_time, &h.aux_value);
  if (result == kDiskLogBufferTooSmall) {
    buffer.resize(size);  // checked by the store against the file's length
    size = std::uint32_t(buffer.size());
    result = DiskLogReadNext(file, &h.record_type, buffer.data(), &size, &h.record_time, &h.aux_value);
  }
  if (result != kDiskLogOk || size > buffer.size()) return false;
  out.payload = std::span<const std::uint8_t>(buffer.data(), size);
  return true;
}

}  // namespace korv
