#include "logstore/disklog_format.h"

#include <algorithm>
#include <cstring>

namespace korv {
namespace {

std::uint32_t get32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint64_t get64(const unsigned char* p) {
  return static_cast<std::uint64_t>(get32(p)) | static_cast<std::uint64_t>(get32(p + 4)) << 32;
}
void put32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
void put64(unsigned char* p, std::uint64_t v) {
  put32(p, static_cast<std::uint32_t>(v));
  put32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

}  // namespace

_DISKLOG_HEADER decode_disklog_header(const unsigned char (&in)[kDiskLogHeaderSize]) {
  unsigned char bytes[kDiskLogHeaderSize];
  std::memcpy(bytes, in, sizeof bytes);
  // Bytes past a short header belong to the first record and read as zero.
  // The magic and the size field itself are always taken as they stand: a
  // size below 8 would otherwise wipe the magic, and a write open would then
  // take an existing log for a headerless file and recreate it empty.
  const std::uint32_t size = std::max<std::uint32_t>(get32(bytes + 4), 8);
  if (size < kDiskLogHeaderSize) std::memset(bytes + size, 0, kDiskLogHeaderSize - size);
  _DISKLOG_HEADER h;
  h.magic = get32(bytes);
  h.header_size = get32(bytes + 4);
  h.next_record_number = get32(bytes + 8);
  h.data_end = get64(bytes + 12);
  h.creation_time = get64(bytes + 20);
  h.modification_time = get64(bytes + 28);
  h.rewrite_time = get64(bytes + 36);
  h.gap_counter = get32(bytes + 44);
  h.reserved = get64(bytes + 48);
  return h;
}

void encode_disklog_header(const _DISKLOG_HEADER& h, unsigned char (&bytes)[kDiskLogHeaderSize]) {
  put32(bytes, h.magic);
  put32(bytes + 4, h.header_size);
  put32(bytes + 8, h.next_record_number);
  put64(bytes + 12, h.data_end);
  put64(bytes + 20, h.creation_time);
  put64(bytes + 28, h.modification_time);
  put64(bytes + 36, h.rewrite_time);
  put32(bytes + 44, h.gap_counter);
  put64(bytes + 48, h.reserved);
}

void encode_record_header(const _DISKLOG_RECORD_HEADER& r, unsigned char* p) {
  put32(p, r.magic);
  put32(p + 4, r.record_size);
  put32(p + 8, r.payload_offset);
  put32(p + 12, r.record_type);
  put32(p + 16, r.record_number);
  put64(p + 20, r.record_time);
  put32(p + 28, r.record_flags);
  put32(p + 32, r.aux_value);
}

RecordCheck check_record_header(const _DISKLOG_RECORD_HEADER& r) {
  if (const RecordCheck chain = check_record_chain(r); chain != RecordCheck::ok) return chain;
  if (!payload_fits_record(r)) return RecordCheck::bad_payload_offset;
  return RecordCheck::ok;
}

const char* record_check_text(RecordCheck check) {
  switch (check) {
    case RecordCheck::ok: return "valid record header";
    case RecordCheck::bad_magic: return "wrong record magic";
    case RecordCheck::size_too_small: return "record size below 36";
    case RecordCheck::bad_payload_offset: return "payload offset outside the record";
  }
  return "invalid record header";
}

}  // namespace korv
