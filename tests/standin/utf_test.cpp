// UTF-8 encoding of single code points, shared by the text conversions and the JSON reader's
// \u escapes: the first and last value of each sequence length.

#include <gtest/gtest.h>

#include <string>

#include "json.h"
#include "standin/utf.h"

namespace korv::standin {
namespace {

struct Boundary {
  std::uint32_t cp;
  std::string utf8;
  const char* escape;  // the JSON string literal for cp
};

const Boundary kBoundaries[] = {
    {0x0000, std::string(1, '\0'), "\"\\u0000\""},
    {0x007F, "\x7F", "\"\\u007f\""},
    {0x0080, "\xC2\x80", "\"\\u0080\""},
    {0x07FF, "\xDF\xBF", "\"\\u07FF\""},
    {0x0800, "\xE0\xA0\x80", "\"\\u0800\""},
    {0xFFFF, "\xEF\xBF\xBF", "\"\\uffff\""},
    {0x10000, "\xF0\x90\x80\x80", "\"\\ud800\\udc00\""},
    {0x10FFFF, "\xF4\x8F\xBF\xBF", "\"\\udbff\\udfff\""},
};

TEST(Utf8Encoding, EachLengthAtItsBoundaries) {
  for (const Boundary& b : kBoundaries) {
    std::string out = "x";
    append_utf8(b.cp, &out);
    EXPECT_EQ(out, "x" + b.utf8) << std::hex << b.cp;
    // The conversions agree with it both ways.
    const std::u16string utf16 = utf8_to_utf16(b.utf8);
    EXPECT_EQ(utf16_to_utf8(utf16), b.utf8) << std::hex << b.cp;
    EXPECT_EQ(utf16.size(), b.cp >= 0x10000 ? 2u : 1u) << std::hex << b.cp;
  }
}

TEST(Utf8Encoding, JsonEscapesDecodeToTheSameBytes) {
  for (const Boundary& b : kBoundaries) {
    JsonValue v;
    std::string error;
    ASSERT_TRUE(parse_json(b.escape, &v, &error)) << b.escape << ": " << error;
    EXPECT_EQ(v.text(), b.utf8) << b.escape;
  }
}

}  // namespace
}  // namespace korv::standin
