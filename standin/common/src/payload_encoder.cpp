#include <cstring>

#include "standin/payload.h"
#include "standin/utf.h"

namespace korv::standin {

namespace {

void put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void put64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

bool field_length_fits(uint8_t kind, size_t length) {
  if (length > kMaxFieldLength) return false;
  switch (static_cast<FieldKind>(kind)) {
    case FieldKind::Text: return length % 2 == 0;
    case FieldKind::Uint: return length == 4 || length == 8;
    case FieldKind::Time: return length == 8;
    case FieldKind::Addr: return length == 4 || length == 16;
    case FieldKind::Msg: return length == 4;
    case FieldKind::Hex: return true;
  }
  return false;
}

const char* payload_result_name(PayloadResult r) {
  switch (r) {
    case PayloadResult::Ok: return "ok";
    case PayloadResult::Truncated: return "truncated";
    case PayloadResult::BadVersion: return "bad version";
    case PayloadResult::BadRowCount: return "bad row count";
    case PayloadResult::BadFieldCount: return "bad field count";
    case PayloadResult::UnknownKind: return "unknown field kind";
    case PayloadResult::BadReserved: return "reserved byte not zero";
    case PayloadResult::BadLength: return "length does not fit the kind";
    case PayloadResult::TrailingBytes: return "trailing bytes";
    case PayloadResult::TooLong: return "field too long";
    case PayloadResult::NoRow: return "field outside a row";
  }
  return "unknown";
}

void PayloadEncoder::clear() {
  buf_.assign(4, 0);
  put16(buf_.data(), kPayloadVersion);
  row_count_ = 0;
  row_at_ = 0;
  field_count_ = 0;
  error_ = PayloadResult::Ok;
}

void PayloadEncoder::begin_row(uint32_t level) {
  if (buf_.empty()) clear();
  if (error_ != PayloadResult::Ok) return;
  if (row_count_ == kMaxRows) {
    error_ = PayloadResult::BadRowCount;
    return;
  }
  ++row_count_;
  row_at_ = buf_.size();
  field_count_ = 0;
  buf_.resize(buf_.size() + 6);
  put32(buf_.data() + row_at_, level);
  put16(buf_.data() + row_at_ + 4, 0);
}

uint8_t* PayloadEncoder::begin_field(FieldKind kind, size_t length) {
  if (buf_.empty()) clear();
  if (error_ != PayloadResult::Ok) return nullptr;
  if (row_count_ == 0) {
    error_ = PayloadResult::NoRow;
    return nullptr;
  }
  if (length > kMaxFieldLength) {
    error_ = PayloadResult::TooLong;
    return nullptr;
  }
  if (!field_length_fits(static_cast<uint8_t>(kind), length)) {
    error_ = PayloadResult::BadLength;
    return nullptr;
  }
  if (field_count_ == kMaxFields) {
    error_ = PayloadResult::BadFieldCount;
    return nullptr;
  }
  ++field_count_;
  put16(buf_.data() + row_at_ + 4, static_cast<uint16_t>(field_count_));
  const size_t at = buf_.size();
  buf_.resize(at + 4 + length);
  uint8_t* p = buf_.data() + at;
  p[0] = static_cast<uint8_t>(kind);
  p[1] = 0;
  put16(p + 2, static_cast<uint16_t>(length));
  return p + 4;
}

void PayloadEncoder::add_text(std::u16string_view text) {
  if (text.size() > kMaxFieldLength / 2) {
    if (error_ == PayloadResult::Ok) error_ = PayloadResult::TooLong;
    return;
  }
  uint8_t* p = begin_field(FieldKind::Text, text.size() * 2);
  if (!p) return;
  for (char16_t c : text) {
    put16(p, c);
    p += 2;
  }
}

void PayloadEncoder::add_text_utf8(std::string_view text) {
  // Pure ASCII is the common case in generated content: skip the copy.
  bool ascii = true;
  for (char c : text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (!ascii) {
    add_text(utf8_to_utf16(text));
    return;
  }
  uint8_t* p = begin_field(FieldKind::Text, text.size() * 2);
  if (!p) return;
  for (char c : text) {
    p[0] = static_cast<uint8_t>(c);
    p[1] = 0;
    p += 2;
  }
}

void PayloadEncoder::add_uint32(uint32_t value) {
  if (uint8_t* p = begin_field(FieldKind::Uint, 4)) put32(p, value);
}

void PayloadEncoder::add_uint64(uint64_t value) {
  if (uint8_t* p = begin_field(FieldKind::Uint, 8)) put64(p, value);
}

void PayloadEncoder::add_time(uint64_t filetime) {
  if (uint8_t* p = begin_field(FieldKind::Time, 8)) put64(p, filetime);
}

void PayloadEncoder::add_ipv4(uint32_t host_order) {
  if (uint8_t* p = begin_field(FieldKind::Addr, 4)) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(host_order >> (24 - 8 * i));
  }
}

void PayloadEncoder::add_ipv6(std::span<const uint8_t, 16> bytes) {
  if (uint8_t* p = begin_field(FieldKind::Addr, 16)) std::memcpy(p, bytes.data(), 16);
}

void PayloadEncoder::add_msg(uint32_t id) {
  if (uint8_t* p = begin_field(FieldKind::Msg, 4)) put32(p, id);
}

void PayloadEncoder::add_hex(std::span<const uint8_t> bytes) { add_raw(FieldKind::Hex, bytes); }

void PayloadEncoder::add_raw(FieldKind kind, std::span<const uint8_t> bytes) {
  uint8_t* p = begin_field(kind, bytes.size());
  if (p && !bytes.empty()) std::memcpy(p, bytes.data(), bytes.size());
}

PayloadResult PayloadEncoder::finish(std::span<const uint8_t>* out) {
  *out = {};
  if (buf_.empty()) clear();
  if (error_ != PayloadResult::Ok) return error_;
  if (row_count_ == 0) return PayloadResult::BadRowCount;
  put16(buf_.data() + 2, static_cast<uint16_t>(row_count_));
  *out = std::span<const uint8_t>(buf_.data(), buf_.size());
  return PayloadResult::Ok;
}

}  // namespace korv::standin
