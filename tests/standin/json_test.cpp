// The writer's JSON reader and the JSON record format.
#include <gtest/gtest.h>

#include "json.h"
#include "json_record.h"
#include "platform/filetime.h"

namespace korv::standin {
namespace {

TEST(JsonReader, AcceptsValidDocuments) {
  struct Case {
    const char* input;
    JsonValue::Type type;
  };
  const Case cases[] = {
      {"{}", JsonValue::Type::Object},
      {" [ 1 , -2.5e3 , true , false , null ] ", JsonValue::Type::Array},
      {"\"a\\u00e9\\ud83d\\ude00\\n\"", JsonValue::Type::String},
      {"0", JsonValue::Type::Number},
      {"-0.0E+1", JsonValue::Type::Number},
      {"{\"a\":{\"b\":[{}]}}", JsonValue::Type::Object},
      {"\"Čas\"", JsonValue::Type::String},
  };
  for (const Case& c : cases) {
    JsonValue v;
    std::string error;
    ASSERT_TRUE(parse_json(c.input, &v, &error)) << c.input << ": " << error;
    EXPECT_EQ(v.type(), c.type) << c.input;
  }
  JsonValue v;
  std::string error;
  ASSERT_TRUE(parse_json("\"a\\u00e9\\ud83d\\ude00\\/\"", &v, &error));
  EXPECT_EQ(v.text(), "a\xC3\xA9\xF0\x9F\x98\x80/");
}

TEST(JsonReader, RejectsEveryBrokenDocument) {
  const char* const cases[] = {
      "",              "   ",            "{",               "}",            "[1,]",          "{\"a\":1,}",
      "{'a':1}",       "{\"a\" 1}",      "{a:1}",           "[1 2]",        "01",            "1.",
      ".5",            "1e",             "-",               "+1",           "tru",           "nul",
      "\"abc",         "\"a\tb\"",       "\"\\x\"",         "\"\\u12\"",    "\"\\ud800\"",   "\"\\udc00\"",
      "\"\\ud800\\u0041\"", "\"\xC3\"",   "\"\xC0\xAF\"",    "\"\xED\xA0\x80\"", "{} {}",     "1 2",
      "{\"a\":1,\"a\":2}", "// c\n{}",   "[NaN]",           "[Infinity]",
      "[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]",
  };
  for (const char* c : cases) {
    JsonValue v;
    std::string error;
    EXPECT_FALSE(parse_json(c, &v, &error)) << c;
    EXPECT_NE(error.find("offset "), std::string::npos) << c;
  }
}

TEST(JsonReader, UnsignedIntegersOnlyWithinRange) {
  struct Case {
    const char* input;
    uint64_t max;
    bool ok;
    uint64_t value;
  };
  const Case cases[] = {
      {"0", 10, true, 0},
      {"4294967295", UINT32_MAX, true, UINT32_MAX},
      {"4294967296", UINT32_MAX, false, 0},
      {"18446744073709551615", UINT64_MAX, true, UINT64_MAX},
      {"18446744073709551616", UINT64_MAX, false, 0},
      {"-1", UINT64_MAX, false, 0},
      {"1.0", UINT64_MAX, false, 0},
      {"1e3", UINT64_MAX, false, 0},
      {"7", 5, false, 0},
  };
  for (const Case& c : cases) {
    JsonValue v;
    std::string error;
    ASSERT_TRUE(parse_json(c.input, &v, &error)) << c.input;
    uint64_t out = 0;
    EXPECT_EQ(v.as_uint(c.max, &out), c.ok) << c.input;
    if (c.ok) {
      EXPECT_EQ(out, c.value) << c.input;
    }
  }
}

bool record(const std::string& line, JsonRecord* r, std::string* error) {
  JsonValue v;
  PayloadEncoder enc;
  return parse_json(line, &v, error) && record_from_json(v, 777, &enc, r, error);
}

TEST(JsonRecordFormat, BuildsTheRecordAndPayload) {
  JsonRecord r;
  std::string error;
  ASSERT_TRUE(record(R"({"type":"0x00010002","time":"2026-12-08 14:03:05","flags":1,"aux":9,)"
                     R"("rows":[{"level":"0x40000000","fields":[{"text":"Kernel"},{"msg":53},{"uint":5},)"
                     R"({"uint":4294967296},{"uint64":1},{"addr":"10.1.2.3"},{"addr":"2001:db8::1"},)"
                     R"({"hex":"00Ff"},{"time":133000000000000000}]},{"level":1}]})",
                     &r, &error))
      << error;
  EXPECT_EQ(r.type, 0x00010002u);
  EXPECT_EQ(r.flags, 1u);
  EXPECT_EQ(r.aux, 9u);
  // 2026-12-08 14:03:05 UTC
  EXPECT_EQ(platform::filetime_to_utc_text(r.time), "2026-12-08 14:03:05");
  std::vector<RowView> rows;
  ASSERT_EQ(decode_payload(r.payload, &rows), PayloadResult::Ok);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].level, 0x40000000u);
  EXPECT_EQ(rows[1].level, 1u);
  const auto& f = rows[0].fields;
  ASSERT_EQ(f.size(), 9u);
  EXPECT_EQ(f[0].kind, FieldKind::Text);
  EXPECT_EQ(f[1].kind, FieldKind::Msg);
  EXPECT_EQ(f[2].data.size(), 4u);
  EXPECT_EQ(f[3].data.size(), 8u);  // too big for 32 bits
  EXPECT_EQ(f[4].data.size(), 8u);
  EXPECT_EQ(f[5].data.size(), 4u);
  EXPECT_EQ(f[6].data.size(), 16u);
  EXPECT_EQ(f[7].data[1], 0xFF);
  EXPECT_EQ(field_uint(f[8]), 133000000000000000ull);
}

TEST(JsonRecordFormat, DefaultsAndRawPayload) {
  JsonRecord r;
  std::string error;
  ASSERT_TRUE(record(R"({"type":65537,"payload_hex":"0100"})", &r, &error)) << error;
  EXPECT_EQ(r.time, 777u);  // now
  EXPECT_EQ(r.flags, 0u);
  EXPECT_EQ(r.payload, (std::vector<uint8_t>{1, 0}));  // malformed on purpose, kept exactly
}

TEST(JsonRecordFormat, RejectsBadRecords) {
  const char* const cases[] = {
      R"([])",
      R"({"rows":[]})",                                   // no type
      R"({"type":-1,"rows":[]})",
      R"({"type":4294967296,"rows":[]})",
      R"({"type":"0x1FFFFFFFF","rows":[]})",
      R"({"type":"65537","rows":[]})",                   // a string must be 0x...
      R"({"type":1})",                                    // neither rows nor payload
      R"({"type":1,"rows":[],"payload_hex":""})",         // both
      R"({"type":1,"rows":[]})",                          // a payload needs a row
      R"({"type":1,"colour":2,"rows":[{"level":0}]})",    // unknown member
      R"({"type":1,"time":"2026-02-30 00:00:00","rows":[{"level":0}]})",
      R"({"type":1,"time":"yesterday","rows":[{"level":0}]})",
      R"({"type":1,"rows":[{"fields":[]}]})",             // no level
      R"({"type":1,"rows":[{"level":0,"extra":1}]})",
      R"({"type":1,"rows":[{"level":0,"fields":[{"text":1}]}]})",
      R"({"type":1,"rows":[{"level":0,"fields":[{"text":"a","msg":1}]}]})",
      R"({"type":1,"rows":[{"level":0,"fields":[{"float":1}]}]})",
      R"({"type":1,"rows":[{"level":0,"fields":[{"addr":"300.1.1.1"}]}]})",
      R"({"type":1,"rows":[{"level":0,"fields":[{"hex":"abc"}]}]})",
      R"({"type":1,"rows":[{"level":0,"fields":[{"msg":4294967296}]}]})",
      R"({"type":1,"payload_hex":"zz"})",
  };
  for (const char* c : cases) {
    JsonRecord r;
    std::string error;
    EXPECT_FALSE(record(c, &r, &error)) << c;
    EXPECT_FALSE(error.empty()) << c;
  }
}

TEST(JsonRecordFormat, UtcTextBoundaries) {
  struct Case {
    const char* text;
    bool ok;
  };
  const Case cases[] = {
      {"1601-01-01 00:00:00", true}, {"2024-02-29 23:59:59", true}, {"2023-02-29 00:00:00", false},
      {"1600-12-31 23:59:59", false}, {"2026-13-01 00:00:00", false}, {"2026-12-08T14:03:05", false},
      {"2026-12-08 24:00:00", false}, {"2026-12-8 14:03:05", false},
  };
  for (const Case& c : cases) {
    uint64_t ft = 0;
    EXPECT_EQ(parse_utc_text(c.text, &ft), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(platform::filetime_to_utc_text(ft), c.text);
    }
  }
}

}  // namespace
}  // namespace korv::standin
