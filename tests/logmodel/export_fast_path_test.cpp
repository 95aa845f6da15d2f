// The export's fast paths give the bytes of the plain conversions they replace: the XML
// and text writers against escaping in UTF-16 and converting afterwards, and the ISO date
// and time texts against printf formatting.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "logmodel/export_writer.h"
#include "platform/codepage.h"
#include "platform/time_text.h"

namespace {

class OneCellRows : public korv::ExportRows {
 public:
  explicit OneCellRows(std::vector<std::u16string> texts) : texts_(std::move(texts)) {}
  int Count() override { return int(texts_.size()); }
  bool Cells(int i, std::vector<std::u16string>& cells) override {
    cells = {texts_[std::size_t(i)]};
    return true;
  }
  bool Text(int i, std::u16string& line) override {
    line = texts_[std::size_t(i)];
    return true;
  }
  bool DateTime(int, std::u16string& date, std::u16string& time) override {
    date = u"d";
    time = u"t";
    return true;
  }
  bool RowInfo(int, REC_INFO_BASE&) override { return false; }  // no line formats here

 private:
  std::vector<std::u16string> texts_;
};

class StringSink : public korv::ExportSink {
 public:
  bool Write(const char* data, std::size_t size) override {
    bytes.append(data, size);
    return true;
  }
  std::string bytes;
};

// Cells that mix ASCII runs, the five special characters, non-ASCII runs and surrogates
// paired and unpaired, next to each other in every order.
const std::vector<std::u16string> kTrickyTexts = {
    u"",
    u"plain ascii",
    u"&<>\"'",
    u"a&b<c>d\"e'f",
    u"\u00e9t\u00e9&\u00c9T\u00c9",
    u"\u010cesk\u00fd \u017elu\u0165ou\u010dk\u00fd",
    u"\U0001F600&\U0001F600",             // a pair on each side of an entity
    std::u16string(1, char16_t(0xD83D)) + u"&x",   // unpaired high before an entity
    std::u16string(1, char16_t(0xDE00)) + u"<",    // unpaired low before an entity
    u"x" + std::u16string(1, char16_t(0xD83D)),    // unpaired high at the end
    std::u16string(2, char16_t(0xD83D)) + u"\U0001F600",  // two highs, then a pair
    u"\u20ac\u0080\u07ff\u0800\uffff'",
    std::u16string(3000, u'x') + u"\u00e9",         // a long ASCII run
};

std::string ReferenceXmlCell(const std::u16string& text) {
  std::u16string escaped;
  korv::AppendXmlEscaped(text, escaped);
  return korv::platform::utf16_to_utf8(escaped);
}

TEST(ExportFastPath, XmlCellsMatchEscapingThenConverting) {
  for (const std::u16string& text : kTrickyTexts) {
    OneCellRows rows({text});
    StringSink sink;
    ASSERT_EQ(korv::WriteXmlExport(rows, {u"N&\u00e9\U0001F600"}, false, sink, nullptr), korv::kExportOk);
    const std::string expected =
        "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n<KORV>\r\n  <LOG>\r\n    <RECORD>"
        "\r\n      <COLUMN NAME=\"" + ReferenceXmlCell(u"N&\u00e9\U0001F600") + "\">" +
        ReferenceXmlCell(text) + "</COLUMN>\r\n    </RECORD>\r\n  </LOG>\r\n</KORV>";
    EXPECT_EQ(sink.bytes, expected) << korv::platform::utf16_to_utf8(text);
  }
}

TEST(ExportFastPath, XmlReplacesUnpairedSurrogates) {
  OneCellRows rows({std::u16string(1, char16_t(0xD800)) + u"&"});
  StringSink sink;
  ASSERT_EQ(korv::WriteXmlExport(rows, {u"C"}, false, sink, nullptr), korv::kExportOk);
  EXPECT_NE(sink.bytes.find("\">\xEF\xBF\xBD&amp;</COLUMN>"), std::string::npos);
}

TEST(ExportFastPath, Utf8TextMatchesThePlatformConversion) {
  const char* saved = std::setlocale(LC_CTYPE, nullptr);
  const std::string restore = saved ? saved : "C";
  if (!std::setlocale(LC_CTYPE, "C.UTF-8")) GTEST_SKIP() << "no C.UTF-8 locale";
  OneCellRows rows(kTrickyTexts);
  StringSink sink;
  ASSERT_EQ(korv::WriteTextExport(rows, sink, nullptr), korv::kExportOk);
  std::string expected;
  for (std::size_t i = 0; i < kTrickyTexts.size(); ++i) {
    if (i) expected += "\r\n";
    korv::platform::append_utf16_as_utf8(kTrickyTexts[i], expected);  // no escaping in text
  }
  std::setlocale(LC_CTYPE, restore.c_str());
  EXPECT_EQ(sink.bytes, expected);
}

std::u16string Printed(const char* pattern, int a, int b, int c) {
  char buf[64];
  const int n = std::snprintf(buf, sizeof buf, pattern, a, b, c);
  return std::u16string(buf, buf + n);
}

TEST(ExportFastPath, IsoDateAndTimeTextsMatchPrintf) {
  const char* saved = std::setlocale(LC_TIME, nullptr);
  const std::string restore = saved ? saved : "C";
  std::setlocale(LC_TIME, "C");
  using korv::platform::CivilTime;
  const struct {
    int year, month, day, hour, minute, second;
  } cases[] = {
      {1601, 1, 1, 0, 0, 0},      {2026, 12, 8, 23, 59, 59}, {9999, 12, 31, 9, 5, 7},
      {30828, 9, 14, 2, 48, 5},   // the last year a FILETIME below 2^63 reaches: five digits
      {0, 0, 0, 0, 0, 0},         {7, 3, 10, 10, 10, 10},   {99999, 99, 99, 99, 99, 99},
      {100000, 1, 1, 100, 1, 1},  // past the fast path: printf itself
      {-1, -2, -3, -4, -5, -6},
  };
  for (const auto& c : cases) {
    CivilTime t{};
    t.year = c.year, t.month = c.month, t.day = c.day;
    t.hour = c.hour, t.minute = c.minute, t.second = c.second;
    EXPECT_EQ(korv::platform::date_text(t), Printed("%04d-%02d-%02d", c.year, c.month, c.day)) << c.year;
    EXPECT_EQ(korv::platform::time_text(t), Printed("%02d:%02d:%02d", c.hour, c.minute, c.second)) << c.hour;
  }
  std::setlocale(LC_TIME, restore.c_str());
}

}  // namespace
