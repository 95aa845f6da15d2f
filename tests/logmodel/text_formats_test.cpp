// JSON strings and CSV fields of hostile cells read back by strict readers, and the member
// names that keep a JSON object unambiguous.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "logmodel/text_formats.h"
#include "test_support/line_formats.h"

namespace {

using korv::test::JsonScalar;

struct CellCase {
  const char* name;
  std::u16string cell;
  std::u16string read;  // what a reader gets back
};

const std::u16string kFffd(1, char16_t(0xFFFD));

std::vector<CellCase> Cells() {
  return {
      {"empty", u"", u""},
      {"plain", u"Scan started", u"Scan started"},
      {"quotes", u"say \"hi\" \"\"", u"say \"hi\" \"\""},
      {"comma", u"a,b,,c", u"a,b,,c"},
      {"backslash", u"C:\\Users\\x\\", u"C:\\Users\\x\\"},
      {"crlf", u"one\r\ntwo\rthree\nfour", u"one\r\ntwo\rthree\nfour"},
      {"tab", u"a\tb\t", u"a\tb\t"},
      {"controls", std::u16string(u"\x01\x08\x0c\x1b[31m\x1f\x7f", 9) + u"\u0085\u009f",
       std::u16string(u"\x01\x08\x0c\x1b[31m\x1f\x7f", 9) + u"\u0085\u009f"},
      {"line separators", u"a\u2028b\u2029c", u"a\u2028b\u2029c"},
      {"non-BMP", u"\U0001F600 \U00010348 \u00e9\u4e2d", u"\U0001F600 \U00010348 \u00e9\u4e2d"},
      {"lone high surrogate", std::u16string(u"a") + char16_t(0xD83D) + u"b", u"a" + kFffd + u"b"},
      {"lone low surrogate at end", std::u16string(u"a") + char16_t(0xDE00), u"a" + kFffd},
      {"swapped pair", std::u16string{char16_t(0xDE00), char16_t(0xD83D)}, kFffd + kFffd},
      {"only a quote", u"\"", u"\""},
      {"blanks", u"  padded  ", u"  padded  "},
      {"non-characters", u"\ufffe\uffff", u"\ufffe\uffff"},
  };
}

class CellFormatTest : public ::testing::TestWithParam<CellCase> {};

TEST_P(CellFormatTest, JsonStringReadsBackAndHoldsNoRawControl) {
  const CellCase& c = GetParam();
  std::string json = "{\"k\":";
  korv::AppendJsonString(c.cell, json);
  json += "}";
  const auto object = korv::test::ParseJsonLine(json);
  ASSERT_TRUE(object) << json;
  ASSERT_EQ(object->size(), 1u);
  EXPECT_EQ(std::get<std::u16string>(object->front().second), c.read);
  // Nothing that could end a line or drive a terminal is written as it is.
  for (std::size_t i = 0; i < json.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(json[i]);
    EXPECT_FALSE(b < 0x20 || b == 0x7F) << "raw byte " << int(b) << " at " << i;
    if (b == 0xC2 && i + 1 < json.size()) {
      EXPECT_GE(static_cast<unsigned char>(json[i + 1]), 0xA0u) << "raw C1 control at " << i;
    }
    EXPECT_FALSE(json.compare(i, 3, "\xE2\x80\xA8") == 0 || json.compare(i, 3, "\xE2\x80\xA9") == 0);
  }
}

TEST_P(CellFormatTest, CsvFieldReadsBackBetweenOtherFields) {
  const CellCase& c = GetParam();
  const std::vector<std::u16string> fields = {u"before", c.cell, u"after"};
  std::string csv;
  korv::AppendCsvRecord(fields, csv);
  csv += "\r\n";
  const auto records = korv::test::ParseCsv(csv);
  ASSERT_TRUE(records) << csv;
  ASSERT_EQ(records->size(), 1u);
  const std::vector<std::u16string> expected = {u"before", c.read, u"after"};
  EXPECT_EQ(records->front(), expected);
}

INSTANTIATE_TEST_SUITE_P(HostileCells, CellFormatTest, ::testing::ValuesIn(Cells()),
                         [](const auto& info) {
                           std::string n = info.param.name;
                           for (char& ch : n)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return n;
                         });

TEST(CsvFieldTest, QuotesOnlyWhereTheRecordNeedsIt) {
  struct Case {
    std::u16string cell;
    std::string field;
  } cases[] = {
      {u"", ""},
      {u"plain text", "plain text"},
      {u"tab\there", "tab\there"},
      {u"a,b", "\"a,b\""},
      {u"say \"x\"", "\"say \"\"x\"\"\""},
      {u"cr\r", "\"cr\r\""},
      {u"lf\n", "\"lf\n\""},
      {u"\u00e9", "\xC3\xA9"},
      {std::u16string(u"nul\0x", 5), "nul\xEF\xBF\xBDx"},
  };
  for (const Case& c : cases) {
    std::string out;
    korv::AppendCsvField(c.cell, out);
    EXPECT_EQ(out, c.field);
  }
}

TEST(JsonStringTest, UsesTheShortEscapesAndLowercaseHex) {
  struct Case {
    std::u16string cell;
    std::string json;
  } cases[] = {
      {u"", "\"\""},
      {u"\"\\/", "\"\\\"\\\\/\""},
      {u"\b\f\n\r\t", "\"\\b\\f\\n\\r\\t\""},
      {std::u16string(u"\0\x1f", 2), "\"\\u0000\\u001f\""},
      {u"\u2028\u00ad", "\"\\u2028\xC2\xAD\""},
  };
  for (const Case& c : cases) {
    std::string out;
    korv::AppendJsonString(c.cell, out);
    EXPECT_EQ(out, c.json);
  }
}

TEST(UniqueMemberNamesTest, NamesAreDistinctWithoutCase) {
  const std::u16string_view reserved[] = {u"time", u"severity", u"row"};
  struct Case {
    const char* what;
    std::vector<std::u16string> titles;
    std::vector<std::u16string> names;
  } cases[] = {
      {"free titles kept", {u"Date", u"Text"}, {u"Date", u"Text"}},
      {"reserved name in another case", {u"Time", u"Row"}, {u"Time_2", u"Row_2"}},
      {"repeated title", {u"Text", u"text", u"TEXT"}, {u"Text", u"text_2", u"TEXT_3"}},
      {"suffix already a title", {u"A", u"A", u"A_2"}, {u"A", u"A_2", u"A_2_2"}},
      {"empty titles", {u"", u"column 1", u""}, {u"column 1", u"column 1_2", u"column 3"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(korv::UniqueMemberNames(reserved, c.titles), c.names) << c.what;
  }
}

TEST(LineFormatReaderTest, RefusesWhatIsNotValid) {
  // The readers must refuse these, or the tests above could pass on broken output.
  const char* badJson[] = {"{\"k\":\"a\nb\"}", "{\"k\":\"\\x41\"}", "{\"k\":\"\\ud83d\"}",
                           "{\"k\":1,\"k\":2}", "{\"k\":\"\xC0\xAF\"}", "{\"k\":\"a\"} x",
                           "{\"k\":01}"};
  for (const char* line : badJson) EXPECT_FALSE(korv::test::ParseJsonLine(line)) << line;
  const char* badCsv[] = {"a,b", "a\"b\r\n", "\"a\"b\r\n", "a\nb\r\n", "\"open\r\n", "\xFF\r\n"};
  for (const char* text : badCsv) EXPECT_FALSE(korv::test::ParseCsv(text)) << text;
}

}  // namespace
