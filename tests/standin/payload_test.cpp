// Payload codec: round trips through the encoder and decoder, and every
// malformed payload the decoder must refuse.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "standin/payload.h"

namespace korv::standin {
namespace {

using Bytes = std::vector<uint8_t>;

// Hand-built payload pieces, so that malformed payloads can be written.
void u16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void u32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
Bytes head(uint16_t version, uint16_t rows) {
  Bytes b;
  u16(b, version);
  u16(b, rows);
  return b;
}
void row(Bytes& b, uint32_t level, uint16_t fields) {
  u32(b, level);
  u16(b, fields);
}
void field(Bytes& b, uint8_t kind, uint16_t length, uint8_t fill = 0x41, uint8_t reserved = 0) {
  b.push_back(kind);
  b.push_back(reserved);
  u16(b, length);
  b.insert(b.end(), length, fill);
}

TEST(PayloadCodec, RoundTripsEveryKind) {
  PayloadEncoder enc;
  enc.begin_row(0x9FFFFFFF);
  enc.add_text(u"Příliš žluťoučký");
  enc.add_uint32(4000000000u);
  enc.add_uint64(0x123456789ABCDEF0ull);
  enc.add_time(133000000000000000ull);
  enc.add_ipv4(0xC0A80001);
  const std::array<uint8_t, 16> v6 = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  enc.add_ipv6(v6);
  enc.add_msg(42);
  const uint8_t hex[] = {0xde, 0xad};
  enc.add_hex(hex);
  enc.begin_row(0x10000000);  // a second row without fields
  std::span<const uint8_t> out;
  ASSERT_EQ(enc.finish(&out), PayloadResult::Ok);

  std::vector<RowView> rows;
  ASSERT_EQ(decode_payload(out, &rows), PayloadResult::Ok);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].level, 0x9FFFFFFFu);
  EXPECT_EQ(rows[1].level, 0x10000000u);
  EXPECT_TRUE(rows[1].fields.empty());
  const auto& f = rows[0].fields;
  ASSERT_EQ(f.size(), 8u);
  EXPECT_EQ(f[0].kind, FieldKind::Text);
  EXPECT_EQ(f[0].data.size(), 32u);
  EXPECT_EQ(f[0].data[2], 0x59);  // 'ř' U+0159, low byte first
  EXPECT_EQ(f[0].data[3], 0x01);
  EXPECT_EQ(field_uint(f[1]), 4000000000u);
  EXPECT_EQ(field_uint(f[2]), 0x123456789ABCDEF0ull);
  EXPECT_EQ(f[3].kind, FieldKind::Time);
  EXPECT_EQ(field_uint(f[3]), 133000000000000000ull);
  ASSERT_EQ(f[4].data.size(), 4u);
  EXPECT_EQ(f[4].data[0], 192);  // network order
  EXPECT_EQ(f[4].data[3], 1);
  EXPECT_EQ(f[5].data.size(), 16u);
  EXPECT_EQ(field_u32(f[6]), 42u);
  EXPECT_EQ(f[7].kind, FieldKind::Hex);
  EXPECT_EQ(f[7].data[1], 0xad);
}

TEST(PayloadCodec, EncoderReusesItsBufferAfterClear) {
  PayloadEncoder enc;
  enc.begin_row(1);
  enc.add_msg(1);
  std::span<const uint8_t> out;
  ASSERT_EQ(enc.finish(&out), PayloadResult::Ok);
  enc.clear();
  enc.begin_row(2);
  ASSERT_EQ(enc.finish(&out), PayloadResult::Ok);
  EXPECT_EQ(out.size(), 4u + 6u);
}

TEST(PayloadCodec, EncoderLimits) {
  struct Case {
    const char* name;
    void (*build)(PayloadEncoder&);
    PayloadResult expected;
  };
  const Case cases[] = {
      {"no row", [](PayloadEncoder&) {}, PayloadResult::BadRowCount},
      {"field before row", [](PayloadEncoder& e) { e.add_msg(1); }, PayloadResult::NoRow},
      {"256 rows fit",
       [](PayloadEncoder& e) {
         for (int i = 0; i < 256; ++i) e.begin_row(0);
       },
       PayloadResult::Ok},
      {"257 rows",
       [](PayloadEncoder& e) {
         for (int i = 0; i < 257; ++i) e.begin_row(0);
       },
       PayloadResult::BadRowCount},
      {"64 fields fit",
       [](PayloadEncoder& e) {
         e.begin_row(0);
         for (int i = 0; i < 64; ++i) e.add_uint32(i);
       },
       PayloadResult::Ok},
      {"65 fields",
       [](PayloadEncoder& e) {
         e.begin_row(0);
         for (int i = 0; i < 65; ++i) e.add_uint32(i);
       },
       PayloadResult::BadFieldCount},
      {"text too long",
       [](PayloadEncoder& e) {
         e.begin_row(0);
         e.add_text(std::u16string(40000, u'x'));
       },
       PayloadResult::TooLong},
      {"raw UINT of 5 bytes",
       [](PayloadEncoder& e) {
         e.begin_row(0);
         const uint8_t b[5] = {};
         e.add_raw(FieldKind::Uint, b);
       },
       PayloadResult::BadLength},
      {"first error sticks",
       [](PayloadEncoder& e) {
         e.add_msg(1);
         e.begin_row(0);
         e.add_msg(2);
       },
       PayloadResult::NoRow},
  };
  for (const Case& c : cases) {
    PayloadEncoder enc;
    c.build(enc);
    std::span<const uint8_t> out;
    EXPECT_EQ(enc.finish(&out), c.expected) << c.name;
    EXPECT_EQ(out.empty(), c.expected != PayloadResult::Ok) << c.name;
  }
}

TEST(PayloadCodec, DecoderAcceptsBoundaryLengths) {
  struct Case {
    const char* name;
    uint8_t kind;
    uint16_t length;
  };
  const Case cases[] = {
      {"empty TEXT", 1, 0}, {"TEXT 2", 1, 2},  {"UINT 4", 2, 4},  {"UINT 8", 2, 8},  {"TIME 8", 3, 8},
      {"ADDR 4", 4, 4},     {"ADDR 16", 4, 16}, {"MSG 4", 5, 4},  {"HEX 0", 6, 0},   {"HEX 3", 6, 3},
  };
  for (const Case& c : cases) {
    Bytes b = head(1, 1);
    row(b, 7, 1);
    field(b, c.kind, c.length);
    std::vector<RowView> rows;
    ASSERT_EQ(decode_payload(b, &rows), PayloadResult::Ok) << c.name;
    ASSERT_EQ(rows.size(), 1u);
    ASSERT_EQ(rows[0].fields.size(), 1u);
    EXPECT_EQ(rows[0].fields[0].data.size(), c.length) << c.name;
  }
}

TEST(PayloadCodec, DecoderRejectsEveryMalformedPayload) {
  struct Case {
    const char* name;
    Bytes payload;
    PayloadResult expected;
  };
  auto one_field = [](uint8_t kind, uint16_t length, uint8_t reserved = 0) {
    Bytes b = head(1, 1);
    row(b, 0, 1);
    field(b, kind, length, 0, reserved);
    return b;
  };
  auto cut = [](Bytes b, size_t n) {
    b.resize(b.size() - n);
    return b;
  };
  Bytes two_rows_one_missing = head(1, 2);
  row(two_rows_one_missing, 0, 0);
  Bytes field_count_lies = head(1, 1);
  row(field_count_lies, 0, 2);
  field(field_count_lies, 2, 4);
  Bytes too_many_fields = head(1, 1);
  row(too_many_fields, 0, 65);
  for (int i = 0; i < 65; ++i) field(too_many_fields, 6, 0);
  Bytes trailing = head(1, 1);
  row(trailing, 0, 0);
  trailing.push_back(0);
  Bytes huge_length = head(1, 1);
  row(huge_length, 0, 1);
  huge_length.insert(huge_length.end(), {6, 0, 0xFF, 0xFF, 1, 2, 3});

  const Case cases[] = {
      {"empty", {}, PayloadResult::Truncated},
      {"three bytes", {1, 0, 1}, PayloadResult::Truncated},
      {"version 0", [&] { Bytes b = head(0, 1); row(b, 0, 0); return b; }(), PayloadResult::BadVersion},
      {"version 2", [&] { Bytes b = head(2, 1); row(b, 0, 0); return b; }(), PayloadResult::BadVersion},
      {"zero rows", head(1, 0), PayloadResult::BadRowCount},
      {"257 rows", head(1, 257), PayloadResult::BadRowCount},
      {"row header cut", cut([&] { Bytes b = head(1, 1); row(b, 0, 0); return b; }(), 1), PayloadResult::Truncated},
      {"second row missing", two_rows_one_missing, PayloadResult::Truncated},
      {"field count beyond fields", field_count_lies, PayloadResult::Truncated},
      {"65 fields", too_many_fields, PayloadResult::BadFieldCount},
      {"field header cut", cut(one_field(2, 4), 6), PayloadResult::Truncated},
      {"field data cut", cut(one_field(2, 4), 1), PayloadResult::Truncated},
      {"length 0xFFFF past end", huge_length, PayloadResult::Truncated},
      {"kind 0", one_field(0, 4), PayloadResult::UnknownKind},
      {"kind 7", one_field(7, 4), PayloadResult::UnknownKind},
      {"reserved byte set", one_field(2, 4, 1), PayloadResult::BadReserved},
      {"odd TEXT", one_field(1, 3), PayloadResult::BadLength},
      {"UINT 2", one_field(2, 2), PayloadResult::BadLength},
      {"UINT 16", one_field(2, 16), PayloadResult::BadLength},
      {"TIME 4", one_field(3, 4), PayloadResult::BadLength},
      {"ADDR 6", one_field(4, 6), PayloadResult::BadLength},
      {"ADDR 0", one_field(4, 0), PayloadResult::BadLength},
      {"MSG 8", one_field(5, 8), PayloadResult::BadLength},
      {"trailing byte", trailing, PayloadResult::TrailingBytes},
  };
  for (const Case& c : cases) {
    std::vector<RowView> rows(3);  // must come back empty
    EXPECT_EQ(decode_payload(c.payload, &rows), c.expected) << c.name;
    EXPECT_TRUE(rows.empty()) << c.name;
  }
}

// Every prefix of a valid payload is refused, and none is read past its end
// (the sanitizer builds catch a stray read; the copy makes the end exact).
TEST(PayloadCodec, EveryPrefixOfAValidPayloadIsRefused) {
  PayloadEncoder enc;
  enc.begin_row(5);
  enc.add_text(u"abc");
  enc.add_msg(3);
  enc.begin_row(6);
  enc.add_uint64(9);
  std::span<const uint8_t> out;
  ASSERT_EQ(enc.finish(&out), PayloadResult::Ok);
  for (size_t n = 0; n < out.size(); ++n) {
    std::vector<uint8_t> prefix(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n));
    std::vector<RowView> rows;
    EXPECT_NE(decode_payload(prefix, &rows), PayloadResult::Ok) << n;
  }
}

}  // namespace
}  // namespace korv::standin
