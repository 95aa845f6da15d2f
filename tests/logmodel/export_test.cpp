// Export bytes: XML and text layouts, escaping, flushing, progress, failures, the copy.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "logmodel/export_writer.h"

namespace {

struct FakeRow {
  std::vector<std::u16string> cells;
  bool ok = true;
  std::u16string date = u"2026-12-08", time = u"10:00:00";
};

class FakeRows : public korv::ExportRows {
 public:
  explicit FakeRows(std::vector<FakeRow> rows) : rows_(std::move(rows)) {}
  int Count() override { return int(rows_.size()); }
  bool Cells(int i, std::vector<std::u16string>& cells) override {
    cells = rows_[std::size_t(i)].cells;
    return rows_[std::size_t(i)].ok;
  }
  bool Text(int i, std::u16string& line) override {
    line.clear();
    korv::AppendJoinedRow(rows_[std::size_t(i)].cells, line);
    return rows_[std::size_t(i)].ok;
  }
  bool DateTime(int i, std::u16string& date, std::u16string& time) override {
    date = rows_[std::size_t(i)].date;
    time = rows_[std::size_t(i)].time;
    return true;
  }
  bool RowInfo(int, REC_INFO_BASE&) override { return false; }  // no line formats here

 private:
  std::vector<FakeRow> rows_;
};

// Collects the bytes; fails the write numbered `fail_at` (1-based), or Finish when asked.
class MemorySink : public korv::ExportSink {
 public:
  bool Write(const char* data, std::size_t size) override {
    ++writes;
    if (writes == fail_at) return false;
    chunks.push_back(size);
    bytes.append(data, size);
    return true;
  }
  bool Finish() override { return !fail_finish; }
  std::string bytes;
  std::vector<std::size_t> chunks;
  int writes = 0, fail_at = 0;
  bool fail_finish = false;
};

const std::string kHead = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n<KORV>\r\n  <LOG>";
const std::string kTail = "\r\n  </LOG>\r\n</KORV>";

TEST(XmlExport, RecordLayoutAndEscaping) {
  FakeRows rows({{{u"2026-12-08 10:00:00", u"a<b", u"x&y", u"O'Neil \"q\" >"}},
                 {{u"t", u"\u017elu\u0165", u"", u""}, true, u"8.12.2026", u"a&b"}});
  MemorySink sink;
  ASSERT_EQ(korv::WriteXmlExport(rows, {u"Time", u"Name", u"Text", u"Say \"x\""}, true, sink, nullptr),
            korv::kExportOk);
  const std::string record1 =
      "\r\n    <RECORD>"
      "\r\n      <COLUMN NAME=\"Time\">\r\n        <DATE>2026-12-08</DATE>\r\n        <TIME>10:00:00</TIME>\r\n      </COLUMN>"
      "\r\n      <COLUMN NAME=\"Name\">a&lt;b</COLUMN>"
      "\r\n      <COLUMN NAME=\"Text\">x&amp;y</COLUMN>"
      "\r\n      <COLUMN NAME=\"Say &quot;x&quot;\">O&#39;Neil &quot;q&quot; &gt;</COLUMN>"
      "\r\n    </RECORD>";
  const std::string record2 =
      "\r\n    <RECORD>"
      "\r\n      <COLUMN NAME=\"Time\">\r\n        <DATE>8.12.2026</DATE>\r\n        <TIME>a&amp;b</TIME>\r\n      </COLUMN>"
      "\r\n      <COLUMN NAME=\"Name\">\xC5\xBElu\xC5\xA5</COLUMN>"
      "\r\n      <COLUMN NAME=\"Text\"></COLUMN>"
      "\r\n      <COLUMN NAME=\"Say &quot;x&quot;\"></COLUMN>"
      "\r\n    </RECORD>";
  EXPECT_EQ(sink.bytes, kHead + record1 + record2 + kTail);
}

TEST(XmlExport, SkippedRowsAndNoTimeColumn) {
  FakeRows rows({{{u"a", u"b"}, false}, {{u"only one"}}, {{u"c", u"d"}}});
  MemorySink sink;
  ASSERT_EQ(korv::WriteXmlExport(rows, {u"A", u"B"}, false, sink, nullptr), korv::kExportOk);
  EXPECT_EQ(sink.bytes, kHead +
                            "\r\n    <RECORD>\r\n      <COLUMN NAME=\"A\">c</COLUMN>"
                            "\r\n      <COLUMN NAME=\"B\">d</COLUMN>\r\n    </RECORD>" +
                            kTail);
}

TEST(XmlExport, ZeroRowsIsHeadAndTail) {
  FakeRows rows({});
  MemorySink sink;
  ASSERT_EQ(korv::WriteXmlExport(rows, {u"Time"}, true, sink, nullptr), korv::kExportOk);
  EXPECT_EQ(sink.bytes, kHead + kTail);
  EXPECT_EQ(kHead.size(), 56u);
  EXPECT_EQ(kTail.size(), 19u);
}

std::vector<FakeRow> ManyRows(int n, std::size_t cell_size) {
  std::vector<FakeRow> rows;
  for (int i = 0; i < n; ++i) rows.push_back({{u"t", std::u16string(cell_size, u'x')}});
  return rows;
}

TEST(XmlExport, FlushesInBlocksOnceRoomReachesOneMiB) {
  FakeRows rows(ManyRows(3000, 1000));  // about 3 MB of XML
  MemorySink sink;
  ASSERT_EQ(korv::WriteXmlExport(rows, {u"T", u"C"}, true, sink, nullptr), korv::kExportOk);
  ASSERT_GE(sink.chunks.size(), 3u);
  for (std::size_t i = 0; i + 1 < sink.chunks.size(); ++i) {
    EXPECT_LE(sink.chunks[i], 1048576u) << i;
    EXPECT_GT(sink.chunks[i], 1048576u - 1200) << i;  // written only when the next record does not fit
  }
  EXPECT_EQ(sink.bytes.substr(sink.bytes.size() - kTail.size()), kTail);
}

TEST(XmlExport, WriteFailureIsReportedAndStops) {
  FakeRows rows(ManyRows(3000, 1000));
  MemorySink sink;
  sink.fail_at = 2;
  EXPECT_EQ(korv::WriteXmlExport(rows, {u"T", u"C"}, true, sink, nullptr), korv::kExportWriteFailed);
  EXPECT_EQ(sink.chunks.size(), 1u);  // nothing after the failed write, no tail
  EXPECT_NE(sink.bytes.substr(sink.bytes.size() - 20), kTail);

  MemorySink last;
  last.fail_at = 1;
  FakeRows few(ManyRows(3, 10));
  EXPECT_EQ(korv::WriteXmlExport(few, {u"T", u"C"}, true, last, nullptr), korv::kExportWriteFailed);
  MemorySink closing;
  closing.fail_finish = true;
  EXPECT_EQ(korv::WriteXmlExport(few, {u"T", u"C"}, true, closing, nullptr), korv::kExportWriteFailed);
}

TEST(Export, ProgressOnlyInOddBlocksOf256) {
  const struct {
    int rows;
    int first, last, calls;
  } cases[] = {{300, 256, 299, 44}, {255, -1, -1, 0}, {1024, 256, 1023, 512}};
  for (const auto& c : cases) {
    for (bool xml : {true, false}) {
      FakeRows rows(ManyRows(c.rows, 1));
      MemorySink sink;
      std::vector<float> seen;
      const korv::ExportProgress progress = [&](float p) { seen.push_back(p); };
      if (xml)
        korv::WriteXmlExport(rows, {u"T", u"C"}, true, sink, progress);
      else
        korv::WriteTextExport(rows, sink, progress);
      ASSERT_EQ(int(seen.size()), c.calls) << c.rows;
      if (c.calls == 0) continue;
      EXPECT_FLOAT_EQ(seen.front(), 100.0f * float(c.first) / float(c.rows)) << c.rows;
      EXPECT_FLOAT_EQ(seen.back(), 100.0f * float(c.last) / float(c.rows)) << c.rows;
    }
  }
  EXPECT_EQ(korv::ExportProgressText(85.333f), "Exporting 85.3%");
}

TEST(TextExport, LinesAndSeparators) {
  const char* saved = std::setlocale(LC_CTYPE, nullptr);
  const std::string restore = saved ? saved : "C";
  std::setlocale(LC_CTYPE, "C");  // ASCII: what it cannot hold becomes '?'
  const struct {
    const char* name;
    std::vector<FakeRow> rows;
    std::string bytes;
  } cases[] = {
      {"zero rows", {}, ""},
      {"one row", {{{u"t", u"a", u"b"}}}, "t\ta\tb"},
      {"empty first cell keeps columns", {{{u"", u"a"}}, {{u"b", u""}}}, "\ta\r\nb\t"},
      {"skipped rows leave no blank line", {{{u"x"}, false}, {{u"y"}}, {{u"z"}, false}}, "y"},
      {"non-ASCII in ASCII locale", {{{u"\u00e9t\u00e9"}}}, "?t?"},
  };
  for (const auto& c : cases) {
    FakeRows rows(c.rows);
    MemorySink sink;
    ASSERT_EQ(korv::WriteTextExport(rows, sink, nullptr), korv::kExportOk) << c.name;
    EXPECT_EQ(sink.bytes, c.bytes) << c.name;
  }
  if (std::setlocale(LC_CTYPE, "C.UTF-8")) {
    FakeRows rows({{{u"\u010cesk\u00fd"}}});
    MemorySink sink;
    ASSERT_EQ(korv::WriteTextExport(rows, sink, nullptr), korv::kExportOk);
    EXPECT_EQ(sink.bytes, "\xC4\x8C" "esk\xC3\xBD");
  }
  std::setlocale(LC_CTYPE, restore.c_str());
}

TEST(TextExport, WriteFailureIsReported) {
  FakeRows rows(ManyRows(3000, 1000));
  MemorySink sink;
  sink.fail_at = 1;
  EXPECT_EQ(korv::WriteTextExport(rows, sink, nullptr), korv::kExportWriteFailed);
  EXPECT_TRUE(sink.bytes.empty());
}

class ExportFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/korv-export-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    log_ = dir_ + "/events.dat";
    std::ofstream(log_) << "LOGDATA";
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string dir_, log_;
};

TEST_F(ExportFiles, TargetMayNotBeTheLogItself) {
  std::unique_ptr<korv::ExportSink> sink;
  EXPECT_EQ(korv::CreateExportTarget(log_, log_, sink), korv::kExportSameFile);
  EXPECT_EQ(korv::CreateExportTarget(dir_ + "/./events.dat", log_, sink), korv::kExportSameFile);
  ASSERT_EQ(::symlink(log_.c_str(), (dir_ + "/link.dat").c_str()), 0);
  EXPECT_EQ(korv::CreateExportTarget(dir_ + "/link.dat", log_, sink), korv::kExportSameFile);
  EXPECT_EQ(sink, nullptr);
  EXPECT_EQ(Read(log_), "LOGDATA");  // untouched
  EXPECT_EQ(korv::CopyDataFile(log_, dir_ + "/link.dat"), korv::kExportSameFile);
  EXPECT_EQ(Read(log_), "LOGDATA");
}

TEST_F(ExportFiles, CreateWriteAndCopy) {
  std::unique_ptr<korv::ExportSink> sink;
  ASSERT_EQ(korv::CreateExportTarget(dir_ + "/out.txt", log_, sink), korv::kExportOk);
  FakeRows rows({{{u"a", u"b"}}, {{u"c"}}});
  ASSERT_EQ(korv::WriteTextExport(rows, *sink, nullptr), korv::kExportOk);
  sink.reset();
  EXPECT_EQ(Read(dir_ + "/out.txt"), "a\tb\r\nc");

  EXPECT_EQ(korv::CreateExportTarget(dir_ + "/missing/out.txt", log_, sink), korv::kExportCreateFailed);
  EXPECT_EQ(korv::CopyDataFile(log_, dir_ + "/copy.dat"), korv::kExportOk);
  EXPECT_EQ(Read(dir_ + "/copy.dat"), "LOGDATA");
  EXPECT_EQ(korv::CopyDataFile(dir_, dir_ + "/dir.dat"), korv::kExportCopyFailed);  // a directory log
  EXPECT_EQ(korv::CopyDataFile(dir_ + "/none.dat", dir_ + "/x.dat"), korv::kExportCopyFailed);
  EXPECT_EQ(korv::CopyDataFile(log_, dir_ + "/missing/x.dat"), korv::kExportCopyFailed);
}

}  // namespace
