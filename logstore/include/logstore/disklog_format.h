#pragma once
// The on-disk log format: a file header, then a chain of records that each
// start with a 36-byte record header. All integers little-endian; times are
// FILETIME values. The structures below are the decoded forms; encode/decode
// do the byte layout so that nothing depends on the host's struct packing.

#include <cstddef>
#include <cstdint>

inline constexpr std::uint32_t kDiskLogMagic = 0xCF9BF378u;
inline constexpr std::uint32_t kDiskLogRecordMagic = 0x638BCFDCu;
inline constexpr std::uint32_t kDiskLogHeaderSize = 56;        // as this system writes it
inline constexpr std::uint32_t kDiskLogRecordHeaderSize = 36;
inline constexpr std::uint32_t kDiskLogRecordDeleted = 0x1;    // record flags bit 0
inline constexpr std::uint32_t kDiskLogPlaceholderType = 0;    // a gap mended by the repair

struct _DISKLOG_HEADER {
  std::uint32_t magic = 0;
  std::uint32_t header_size = 0;         // also the offset of the first record
  std::uint32_t next_record_number = 0;  // records ever appended, deleted and placeholders included
  std::uint64_t data_end = 0;            // offset just past the last record
  std::uint64_t creation_time = 0;
  std::uint64_t modification_time = 0;   // changes on every change to the record area
  std::uint64_t rewrite_time = 0;        // changes only when existing records change
  std::uint32_t gap_counter = 0;
  std::uint64_t reserved = 0;

  bool operator==(const _DISKLOG_HEADER&) const = default;
};

struct _DISKLOG_RECORD_HEADER {
  std::uint32_t magic = 0;
  std::uint32_t record_size = 0;     // whole record, this header included
  std::uint32_t payload_offset = 0;  // from the start of the record
  std::uint32_t record_type = 0;
  std::uint32_t record_number = 0;
  std::uint64_t record_time = 0;
  std::uint32_t record_flags = 0;
  std::uint32_t aux_value = 0;

  bool operator==(const _DISKLOG_RECORD_HEADER&) const = default;
  bool is_deleted() const { return (record_flags & kDiskLogRecordDeleted) != 0; }
};

// One record found by the walk; kept in memory only.
struct _DISKLOG_INDEX_RECORD {
  std::uint32_t record_number = 0;
  std::uint32_t record_type = 0;
  std::uint64_t file_offset = 0;

  bool operator==(const _DISKLOG_INDEX_RECORD&) const = default;
};

namespace korv {

// Decodes 56 bytes. Bytes from the header-size field's value up to 55 are
// taken as zero first, so a shorter header reads as if they were zero.
_DISKLOG_HEADER decode_disklog_header(const unsigned char (&bytes)[kDiskLogHeaderSize]);
void encode_disklog_header(const _DISKLOG_HEADER& header, unsigned char (&bytes)[kDiskLogHeaderSize]);
// How many header bytes are written back: never more than the file's header
// holds, so a short header is not lengthened over the first record.
inline std::size_t disklog_header_write_size(const _DISKLOG_HEADER& header) {
  return header.header_size < kDiskLogHeaderSize ? header.header_size : kDiskLogHeaderSize;
}

// 36 bytes, little-endian. Inline: the record walk decodes a million headers a second.
inline _DISKLOG_RECORD_HEADER decode_record_header(const unsigned char* p) {
  const auto get32 = [p](int at) {
    return std::uint32_t(p[at]) | std::uint32_t(p[at + 1]) << 8 | std::uint32_t(p[at + 2]) << 16 |
           std::uint32_t(p[at + 3]) << 24;
  };
  _DISKLOG_RECORD_HEADER r;
  r.magic = get32(0);
  r.record_size = get32(4);
  r.payload_offset = get32(8);
  r.record_type = get32(12);
  r.record_number = get32(16);
  r.record_time = std::uint64_t(get32(20)) | std::uint64_t(get32(24)) << 32;
  r.record_flags = get32(28);
  r.aux_value = get32(32);
  return r;
}
void encode_record_header(const _DISKLOG_RECORD_HEADER& header, unsigned char* bytes);  // 36 bytes

// A record header the reader can follow: the right magic, a size that covers
// the header itself (a smaller one would make a walk stand still), and a
// payload that starts behind the header and inside the record.
enum class RecordCheck { ok, bad_magic, size_too_small, bad_payload_offset };
RecordCheck check_record_header(const _DISKLOG_RECORD_HEADER& header);
const char* record_check_text(RecordCheck check);

// A record header the chain can be followed past: the right magic and a size that covers
// the header. Its payload offset is not looked at: a payload that does not fit its record
// damages that record alone (its payload is unreadable), not the chain behind it, so the
// walk goes on and the record is read with no payload (kDiskLogDamagedPayload).
inline RecordCheck check_record_chain(const _DISKLOG_RECORD_HEADER& header) {
  if (header.magic != kDiskLogRecordMagic) return RecordCheck::bad_magic;
  if (header.record_size < kDiskLogRecordHeaderSize) return RecordCheck::size_too_small;
  return RecordCheck::ok;
}
// The payload starts behind the header and inside the record.
inline bool payload_fits_record(const _DISKLOG_RECORD_HEADER& header) {
  return header.payload_offset >= kDiskLogRecordHeaderSize && header.payload_offset <= header.record_size;
}

}  // namespace korv
