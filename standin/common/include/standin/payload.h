// The stand-in product's record payload: rows of a level and typed fields.
//
//   u16 version (1), u16 row count (1..256), rows back to back;
//   row:   u32 level, u16 field count (0..64), fields back to back;
//   field: u8 kind, u8 zero, u16 length L, L bytes.
//
// All integers little-endian. The writer encodes, the module decodes; a
// payload that breaks any rule is rejected as a whole, never half decoded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace korv::standin {

inline constexpr uint16_t kPayloadVersion = 1;
inline constexpr size_t kMaxRows = 256;
inline constexpr size_t kMaxFields = 64;
inline constexpr size_t kMaxFieldLength = 0xFFFF;

enum class FieldKind : uint8_t {
  Text = 1,  // UTF-16LE, even length
  Uint = 2,  // 4 or 8 bytes
  Time = 3,  // FILETIME (UTC), 8 bytes
  Addr = 4,  // IPv4 (4 bytes) or IPv6 (16 bytes), network order
  Msg = 5,   // message id, 4 bytes
  Hex = 6,   // any bytes
};

// Whether a field of this kind may be L bytes long. False for unknown kinds.
bool field_length_fits(uint8_t kind, size_t length);

enum class PayloadResult : int {
  Ok = 0,
  Truncated = 1,       // a header, row or field runs past the end
  BadVersion = 2,      // version other than 1
  BadRowCount = 3,     // R = 0 or R > 256
  BadFieldCount = 4,   // F > 64
  UnknownKind = 5,     // field kind not 1..6
  BadReserved = 6,     // the byte after the kind is not zero
  BadLength = 7,       // L does not fit the kind (odd TEXT, UINT of 5, ...)
  TrailingBytes = 8,   // bytes left after the last row
  TooLong = 9,         // encoder: field longer than 65535 bytes
  NoRow = 10,          // encoder: field added before any row
};

const char* payload_result_name(PayloadResult r);

// Builds one payload into a buffer that is reused between records, so that
// a writer can produce millions of payloads without allocating per field.
// Limits are checked as fields are added; the first violation sticks and
// finish() reports it.
class PayloadEncoder {
 public:
  void clear();
  void begin_row(uint32_t level);
  void add_text(std::u16string_view text);
  void add_text_utf8(std::string_view text);  // convenience for ASCII/UTF-8 sources
  void add_uint32(uint32_t value);
  void add_uint64(uint64_t value);
  void add_time(uint64_t filetime);
  void add_ipv4(uint32_t host_order);
  void add_ipv6(std::span<const uint8_t, 16> bytes);
  void add_msg(uint32_t id);
  void add_hex(std::span<const uint8_t> bytes);
  // Any kind with raw bytes; for JSON input and tests.
  void add_raw(FieldKind kind, std::span<const uint8_t> bytes);

  // Ok and the finished payload, or the first error and an empty span.
  PayloadResult finish(std::span<const uint8_t>* out);

 private:
  uint8_t* begin_field(FieldKind kind, size_t length);

  std::vector<uint8_t> buf_;
  size_t row_count_ = 0;
  size_t row_at_ = 0;       // offset of the current row's header
  size_t field_count_ = 0;  // fields in the current row
  PayloadResult error_ = PayloadResult::Ok;
};

// One field as found in a payload; data points into the payload, which must
// outlive the decoded view.
struct FieldView {
  FieldKind kind;
  std::span<const uint8_t> data;
};

struct RowView {
  uint32_t level = 0;
  std::vector<FieldView> fields;
};

// Decodes the whole payload or nothing: on any error rows is left empty.
// Reads only inside payload.
PayloadResult decode_payload(std::span<const uint8_t> payload, std::vector<RowView>* rows);

// Little-endian readers for field data of a checked length.
uint32_t field_u32(const FieldView& f);
uint64_t field_uint(const FieldView& f);  // 4 or 8 bytes

}  // namespace korv::standin
