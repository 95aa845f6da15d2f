// Export of cells that hold what a log writer should never have put there: characters XML
// cannot carry, and controls that would make extra columns or rows in a text line. Also the
// refusal of a target that is the opened log or one of its directory's files.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "logmodel/export_writer.h"
#include "test_support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

class CellRows : public korv::ExportRows {
 public:
  explicit CellRows(std::vector<std::vector<std::u16string>> rows, int failing = -1)
      : rows_(std::move(rows)), failing_(failing) {}
  int Count() override { return int(rows_.size()); }
  bool Cells(int i, std::vector<std::u16string>& cells) override {
    cells = rows_[std::size_t(i)];
    return i != failing_;
  }
  bool Text(int i, std::u16string& line) override {
    line.clear();
    korv::AppendJoinedRow(rows_[std::size_t(i)], line);
    return i != failing_;
  }
  bool DateTime(int, std::u16string& date, std::u16string& time) override {
    date = u"d";
    time = u"t";
    return true;
  }
  bool RowInfo(int, REC_INFO_BASE&) override { return false; }  // no line formats here

 private:
  std::vector<std::vector<std::u16string>> rows_;
  int failing_;
};

class StringSink : public korv::ExportSink {
 public:
  bool Write(const char* data, std::size_t size) override {
    bytes.append(data, size);
    return true;
  }
  std::string bytes;
};

std::string XmlOf(const std::u16string& cell) {
  CellRows rows({{cell}});
  StringSink sink;
  EXPECT_EQ(korv::WriteXmlExport(rows, {u"C"}, false, sink, nullptr), korv::kExportOk);
  const std::string head = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n<KORV>\r\n  <LOG>"
                           "\r\n    <RECORD>\r\n      <COLUMN NAME=\"C\">";
  const std::string tail = "</COLUMN>\r\n    </RECORD>\r\n  </LOG>\r\n</KORV>";
  EXPECT_EQ(sink.bytes.substr(0, head.size()), head);
  EXPECT_GE(sink.bytes.size(), head.size() + tail.size());
  EXPECT_EQ(sink.bytes.substr(sink.bytes.size() - tail.size()), tail);
  return sink.bytes.substr(head.size(), sink.bytes.size() - head.size() - tail.size());
}

// Decodes UTF-8 and answers whether every character is one XML 1.0 allows
// (#x9 | #xA | #xD | [#x20-#xD7FF] | [#xE000-#xFFFD] | [#x10000-#x10FFFF]).
bool AllXmlChars(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    std::uint32_t cp;
    std::size_t n;
    if (b < 0x80) cp = b, n = 1;
    else if ((b & 0xE0) == 0xC0) cp = b & 0x1F, n = 2;
    else if ((b & 0xF0) == 0xE0) cp = b & 0x0F, n = 3;
    else if ((b & 0xF8) == 0xF0) cp = b & 0x07, n = 4;
    else return false;
    if (i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    }
    const bool ok = cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
                    (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
    if (!ok) return false;
    i += n;
  }
  return true;
}

TEST(ExportXmlCharacters, ForbiddenOnesBecomeReplacementCharacterTheRestStaysAsItWas) {
  const std::string fffd = "\xEF\xBF\xBD";
  struct Case {
    std::u16string cell;
    std::string xml;
  } cases[] = {
      {u"plain", "plain"},
      {u"tab\there\r\nline", "tab\there\r\nline"},  // allowed in XML: unchanged
      {u"a\u0001b", "a" + fffd + "b"},
      {u"\u001b[31mred", fffd + "[31mred"},
      {std::u16string(1, u'\0') + u"x", fffd + "x"},
      {u"\u000b\u000c\u001f", fffd + fffd + fffd},
      {u"x\ufffey\uffff", "x" + fffd + "y" + fffd},
      {u"<&\u0002>", "&lt;&amp;" + fffd + "&gt;"},
      {u"Síť \u00e9\U0001F600", "S\xC3\xAD\xC5\xA5 \xC3\xA9\xF0\x9F\x98\x80"},
      {u"\u0080\u009f\ufffd", "\xC2\x80\xC2\x9F\xEF\xBF\xBD"},  // C1 and U+FFFD are allowed
      {std::u16string(1, char16_t(0xD800)) + u"x", fffd + "x"},  // unpaired surrogate: as always
  };
  for (const Case& c : cases) {
    const std::string xml = XmlOf(c.cell);
    EXPECT_EQ(xml, c.xml) << "case " << (&c - cases);
    EXPECT_TRUE(AllXmlChars(xml)) << "case " << (&c - cases);
  }
}

TEST(ExportXmlCharacters, ColumnNamesDatesAndEveryCharacterOfTheBmpStayWellFormed) {
  std::u16string all;
  for (std::uint32_t c = 1; c <= 0xFFFF; ++c)
    if (c < 0xD800 || c > 0xDFFF) all.push_back(char16_t(c));
  CellRows rows({{u"", all}});
  StringSink sink;
  ASSERT_EQ(korv::WriteXmlExport(rows, {u"T\u0007", u"N\uffff"}, true, sink, nullptr), korv::kExportOk);
  EXPECT_TRUE(AllXmlChars(sink.bytes));
}

TEST(ExportTextEscaping, OneCellIsOneFieldAndTheEscapeIsUnambiguous) {
  struct Case {
    std::u16string cell, escaped;
  } cases[] = {
      {u"plain Síť", u"plain Síť"},
      {u"a\tb", u"a\\tb"},
      {u"line1\r\nline2", u"line1\\r\\nline2"},
      {u"\u001b[2J", u"\\x1b[2J"},
      {u"back\\slash\\t", u"back\\\\slash\\\\t"},  // a literal "\t" stays told apart from TAB
      {std::u16string(1, u'\0'), u"\\x00"},
      {u"\u007f\u0085\u009b", u"\\x7f\\x85\\x9b"},  // DEL, NEL and CSI of C1 reach terminals too
      {u"\ufffe\u00a0", u"\ufffe\u00a0"},
  };
  for (const Case& c : cases) {
    std::u16string out = u"keep:";
    korv::AppendTextEscaped(c.cell, out);
    EXPECT_EQ(out, u"keep:" + c.escaped) << "case " << (&c - cases);
  }
  std::u16string row;
  korv::AppendEscapedRow({u"a\tb", u"", u"c\nd"}, row);
  EXPECT_EQ(row, u"a\\tb\t\tc\\nd");
}

TEST(ExportStats, CountRowsWrittenAndRowsLeftOut) {
  for (const bool xml : {true, false}) {
    CellRows rows({{u"a"}, {u"b"}, {u"c"}}, 1);
    StringSink sink;
    korv::ExportStats stats{7, 7};
    const int result = xml ? korv::WriteXmlExport(rows, {u"C"}, false, sink, nullptr, &stats)
                           : korv::WriteTextExport(rows, sink, nullptr, &stats);
    ASSERT_EQ(result, korv::kExportOk);
    EXPECT_EQ(stats.written, 2) << xml;
    EXPECT_EQ(stats.skipped, 1) << xml;
  }
}

std::string ReadAll(const std::string& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(ExportTarget, RefusesTheLogAndEveryFileOfADirectoryLogByIdentity) {
  korv::test::TempDir dir("korv-export-target");
  const fs::path logs = dir.Root() / "logs";
  fs::create_directories(logs / "sub");
  const std::string member = (logs / "a.dat").string(), log = dir.Path("warnlog.dat");
  for (const std::string& p : {member, log, (logs / "sub" / "b.dat").string()}) std::ofstream(p) << "LOG BYTES";
  fs::create_hard_link(member, dir.Path("hardlink.dat"));
  fs::create_symlink(log, dir.Path("symlink.xml"));
  struct Case {
    std::string target, protect;
    int result;
  } cases[] = {
      {member, logs.string(), korv::kExportSameFile},
      {(logs / ".." / "logs" / "a.dat").string(), logs.string() + "/", korv::kExportSameFile},
      {dir.Path("hardlink.dat"), logs.string(), korv::kExportSameFile},
      {log, log, korv::kExportSameFile},
      {dir.Path("symlink.xml"), log, korv::kExportSameFile},
      {(logs / "sub" / "b.dat").string(), logs.string(), korv::kExportOk},  // not directly in it
      {(logs / "new.xml").string(), logs.string(), korv::kExportOk},
      {dir.Path("out.txt"), log, korv::kExportOk},
  };
  for (const Case& c : cases) {
    const std::string before = ReadAll(c.target);
    std::unique_ptr<korv::ExportSink> sink;
    EXPECT_EQ(korv::CreateExportTarget(c.target, c.protect, sink), c.result) << c.target;
    if (c.result == korv::kExportSameFile) {
      EXPECT_EQ(sink, nullptr);
      EXPECT_EQ(ReadAll(c.target), before) << c.target << " must keep its bytes";
    } else {
      ASSERT_NE(sink, nullptr);
      EXPECT_TRUE(sink->Write("x", 1) && sink->Finish());
      EXPECT_EQ(ReadAll(c.target), "x") << c.target << " is cut and written";
    }
  }
  EXPECT_EQ(ReadAll(member), "LOG BYTES");
  EXPECT_EQ(ReadAll(log), "LOG BYTES");
}

}  // namespace
