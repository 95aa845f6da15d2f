#include "standin/payload.h"

namespace korv::standin {

namespace {

uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

uint32_t field_u32(const FieldView& f) { return f.data.size() >= 4 ? get32(f.data.data()) : 0; }

uint64_t field_uint(const FieldView& f) {
  if (f.data.size() == 8) {
    return static_cast<uint64_t>(get32(f.data.data())) |
           (static_cast<uint64_t>(get32(f.data.data() + 4)) << 32);
  }
  return field_u32(f);
}

// Every length is compared with what is left before it is used, so no
// offset can run past the payload and no sum can overflow.
PayloadResult decode_payload(std::span<const uint8_t> payload, std::vector<RowView>* rows) {
  rows->clear();
  const uint8_t* p = payload.data();
  size_t left = payload.size();
  if (left < 4) return PayloadResult::Truncated;
  if (get16(p) != kPayloadVersion) return PayloadResult::BadVersion;
  const size_t row_count = get16(p + 2);
  if (row_count == 0 || row_count > kMaxRows) return PayloadResult::BadRowCount;
  p += 4;
  left -= 4;

  std::vector<RowView> out(row_count);
  for (RowView& row : out) {
    if (left < 6) return PayloadResult::Truncated;
    row.level = get32(p);
    const size_t field_count = get16(p + 4);
    if (field_count > kMaxFields) return PayloadResult::BadFieldCount;
    p += 6;
    left -= 6;
    row.fields.reserve(field_count);
    for (size_t i = 0; i < field_count; ++i) {
      if (left < 4) return PayloadResult::Truncated;
      const uint8_t kind = p[0];
      const size_t length = get16(p + 2);
      if (kind < 1 || kind > 6) return PayloadResult::UnknownKind;
      if (p[1] != 0) return PayloadResult::BadReserved;
      if (length > left - 4) return PayloadResult::Truncated;
      if (!field_length_fits(kind, length)) return PayloadResult::BadLength;
      row.fields.push_back({static_cast<FieldKind>(kind), std::span<const uint8_t>(p + 4, length)});
      p += 4 + length;
      left -= 4 + length;
    }
  }
  if (left != 0) return PayloadResult::TrailingBytes;
  *rows = std::move(out);
  return PayloadResult::Ok;
}

}  // namespace korv::standin
