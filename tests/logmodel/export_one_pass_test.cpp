// The one-pass export (korvlog's) against the load-then-export path the viewer uses: the same
// bytes in both formats, the same rows skipped and the same records lost, over a log with
// several rows a record, deleted and corrupted records and one that does not decode, under
// the severity, deleted, text and time criteria, in both view modes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "log_test_support.h"
#include "logmodel/export_writer.h"
#include "logmodel/record_time.h"
#include "logmodel/severity.h"

namespace korv::test {
namespace {

class StringSink : public ExportSink {
 public:
  bool Write(const char* data, std::size_t size) override {
    bytes.append(data, size);
    return true;
  }
  std::string bytes;
};

// The visible rows of a loaded log by position, as korvlog's export read them: text lines
// of cells escaped one by one (or joined as they are, as the viewer writes them).
class LoadedRows : public ExportRows {
 public:
  LoadedRows(CLog& log, bool escaped) : log_(log), escaped_(escaped) {}
  int Count() override { return log_.GetVisibleCount(); }
  bool Cells(int row, std::vector<std::u16string>& cells) override { return log_.GetRowCells(row, cells); }
  bool Text(int row, std::u16string& line) override {
    line.clear();
    if (!log_.GetRowCells(row, cells_)) return false;
    if (escaped_)
      AppendEscapedRow(cells_, line);
    else
      AppendJoinedRow(cells_, line);
    return true;
  }
  bool DateTime(int row, std::u16string& date, std::u16string& time) override {
    return log_.GetRowDateTime(row, date, time);
  }
  bool RowInfo(int row, REC_INFO_BASE& info) override {
    const REC_INFO_BASE* found = log_.GetRow(row);
    if (found != nullptr) info = *found;
    return found != nullptr;
  }

 private:
  CLog& log_;
  bool escaped_;
  std::vector<std::u16string> cells_;
};

struct Output {
  std::string xml, text, joined;
  ExportStats xmlStats, textStats;
  std::int64_t lost = 0;
};

std::vector<std::u16string> ColumnNames(const CLog& log) {
  std::vector<std::u16string> names;
  for (const HDR_INFO& column : log.GetHeader().m_columns) names.push_back(column.name);
  return names;
}

// Records without any row after the load, or only with the raw row that stands for a record
// the module refused, as korvlog counts them.
std::int64_t RecordsWithoutRows(const CLog& log) {
  std::vector<bool> has(DiskLogIndexCount(log.GetFile()), false);
  for (const REC_INFO_BASE& row : log.Rows())
    if (!(row.flags & ROW_FLAG_RAW)) has.at(std::size_t(row.record)) = true;
  return std::count(has.begin(), has.end(), false);
}

Output LoadThenExport(CLog& log) {
  log.LoadRecords(log.Rows(), 0, -1);
  log.RebuildVisible(false);
  Output o;
  o.lost = RecordsWithoutRows(log);
  const bool list = log.GetViewMode() == LOG_VIEW_LIST;
  StringSink xml, text, joined;
  LoadedRows escapedRows(log, true), joinedRows(log, false);
  EXPECT_EQ(WriteXmlExport(escapedRows, ColumnNames(log), list, xml, nullptr, &o.xmlStats), kExportOk);
  EXPECT_EQ(WriteTextExport(escapedRows, text, nullptr, &o.textStats), kExportOk);
  EXPECT_EQ(WriteTextExport(joinedRows, joined, nullptr), kExportOk);
  o.xml = xml.bytes, o.text = text.bytes, o.joined = joined.bytes;
  return o;
}

Output ExportInOnePass(CLog& log) {
  Output o;
  StringSink xml, text, joined;
  XmlExportWriter xmlWriter(ColumnNames(log), log.GetViewMode() == LOG_VIEW_LIST, xml);
  TextExportWriter textWriter(text), joinedWriter(joined);
  std::u16string date, time, line;
  std::vector<double> progress;
  o.lost = log.ExportPass(
      [&](const REC_INFO_BASE& row, const std::vector<std::u16string>* cells) {
        if (cells == nullptr) {
          xmlWriter.Skip(), textWriter.Skip(), joinedWriter.Skip();
          return true;
        }
        if (xmlWriter.TimeColumn() && !FormatRecordDateTime(row.time, date, time)) date.clear(), time.clear();
        EXPECT_TRUE(xmlWriter.Row(*cells, date, time));
        line.clear();
        AppendEscapedRow(*cells, line);
        EXPECT_TRUE(textWriter.Row(line));
        line.clear();
        AppendJoinedRow(*cells, line);
        EXPECT_TRUE(joinedWriter.Row(line));
        return true;
      },
      [&](double p) { progress.push_back(p); });
  EXPECT_EQ(xmlWriter.Finish(), kExportOk);
  EXPECT_EQ(textWriter.Finish(), kExportOk);
  EXPECT_EQ(joinedWriter.Finish(), kExportOk);
  o.xmlStats = xmlWriter.Stats(), o.textStats = textWriter.Stats();
  o.xml = xml.bytes, o.text = text.bytes, o.joined = joined.bytes;
  EXPECT_FALSE(progress.empty());
  if (!progress.empty()) {
    EXPECT_EQ(progress.back(), 100.0);
  }
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_TRUE(log.Rows().empty()) << "the pass keeps no rows";
  return o;
}

class ExportOnePass : public ModuleFixture {
 protected:
  void SetUp() override {
    ModuleFixture::SetUp();
    path_ = dir_.Path("events.dat");
    // 240 records of 1 to 4 rows, every level class, texts with markup, controls, Czech
    // and a word to find; every 7th deleted, every 11th corrupted (type 0), and one record
    // without rows, which does not decode: a raw row stands for it.
    const std::uint32_t levels[] = {0x00000005, 0x10000000, 0x40000002, 0x80000001, 0xA0000000};
    const std::u16string modules[] = {u"Kernel <core>", u"Síť & \"proxy\"", u"tab\there\\x",
                                      u"needle in a haystack", u"needles", u"line\r\nbreak\x01"};
    std::vector<EventRecord> records;
    for (std::uint32_t n = 0; n < 240; ++n) {
      EventRecord r;
      r.time = Ft(2026, 3, 1 + int(n / 24), int(n % 24), int(n % 60), 7);
      r.deleted = n % 7 == 3;
      r.aux = n;
      if (n % 11 == 5) r.type = 0;
      const std::uint32_t rows = n == 100 ? 0 : 1 + (n * 7) % 4;
      for (std::uint32_t k = 0; k < rows; ++k)
        r.rows.push_back({levels[(n + k) % 5], modules[(n * 3 + k) % 6] + u" #" + std::u16string(1, char16_t(u'a' + k)),
                          1 + (n + k) % 3, k % 2 ? u"CORP\\admin" : u"SYSTEM"});
      records.push_back(std::move(r));
    }
    WriteEventLog(path_, records);
  }

  static CLogFilterData Criteria(std::uint32_t types, std::u16string text = {}, std::uint32_t options = 0,
                                 std::uint32_t columns = 0x7FFFFFFF) {
    CLogFilterData f(0);
    f.m_nTypeMask = types;
    f.m_strText = std::move(text);
    f.m_nOptions = options;
    f.m_nColumnMask = columns;
    return f;
  }

  std::string path_;
};

TEST_F(ExportOnePass, SameBytesSkipsAndLossesAsLoadingFirst) {
  std::int64_t from = 0, to = 0;
  ASSERT_TRUE(MakeLocalTime(2026, 3, 3, 0, 0, 0, from));
  ASSERT_TRUE(MakeLocalTime(2026, 3, 5, 12, 0, 0, to));
  struct Case {
    const char* name;
    CLogFilterData filter;
    bool someRows;  // the case is meant to leave rows to write
  };
  CLogFilterData range = Criteria(0x7FFFFFFF, {}, FILTER_PERIOD_RANGE);
  range.m_timeFrom = from, range.m_timeTo = to;
  const Case cases[] = {
      {"everything", Criteria(0x7FFFFFFF), true},
      {"deleted hidden", Criteria(31), true},
      {"warnings and errors", Criteria(FILTER_TYPE_WARNING | FILTER_TYPE_ERROR | FILTER_SHOW_DELETED), true},
      {"diagnostic (corrupted rows have level 0)", Criteria(FILTER_TYPE_DIAGNOSTIC), true},
      {"text", Criteria(0x7FFFFFFF, u"NEEDLE"), true},
      {"text, whole words", Criteria(0x7FFFFFFF, u"needle", FILTER_OPT_WORDS), true},
      {"text, case-sensitive", Criteria(0x7FFFFFFF, u"NEEDLE", FILTER_OPT_CASE), false},
      {"text in the message and user columns", Criteria(0x7FFFFFFF, u"corp\\", 0, 0xC), true},
      {"text and types", Criteria(FILTER_TYPE_CRITICAL, u"proxy"), true},
      {"absent text", Criteria(0x7FFFFFFF, u"no such text"), false},
      {"time range", range, true},
      {"no severity: the raw row, which has none", Criteria(0), true},
  };
  for (const int view : {LOG_VIEW_LIST, LOG_VIEW_RECORD}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (view == LOG_VIEW_LIST ? ", newest first" : ", file order"));
      auto loaded = OpenEvents(path_, view);
      auto streamed = OpenEvents(path_, view);
      loaded->SetFilter(c.filter);
      streamed->SetFilter(c.filter);
      const Output before = LoadThenExport(*loaded);
      const Output after = ExportInOnePass(*streamed);
      EXPECT_EQ(after.xml, before.xml);
      EXPECT_EQ(after.text, before.text);
      EXPECT_EQ(after.joined, before.joined);
      EXPECT_EQ(after.xmlStats.written, before.xmlStats.written);
      EXPECT_EQ(after.xmlStats.skipped, before.xmlStats.skipped);
      EXPECT_EQ(after.textStats.written, before.textStats.written);
      EXPECT_EQ(after.textStats.skipped, before.textStats.skipped);
      EXPECT_EQ(after.lost, before.lost);
      EXPECT_EQ(before.lost, 1) << "the record the module refuses";
      EXPECT_EQ(before.xmlStats.written > 0, c.someRows);
    }
  }
}

// The corrupted records' rows pass a filter without a text: each is a row the export counts
// as skipped, in the one pass as in the load.
TEST_F(ExportOnePass, CorruptedRowsAreCountedAsSkipped) {
  auto log = OpenEvents(path_);
  log->SetFilter(Criteria(0x7FFFFFFF));
  const Output o = ExportInOnePass(*log);
  EXPECT_EQ(o.xmlStats.skipped, 22);  // records 5, 16, ..., 236
  EXPECT_EQ(o.textStats.skipped, 22);
}

TEST_F(ExportOnePass, NotForDirectoryLogsOrAFixedRecord) {
  auto log = OpenEvents(path_);
  log->SetFixedRecord(3);
  EXPECT_EQ(log->ExportPass([](const REC_INFO_BASE&, const std::vector<std::u16string>*) { return true; }, {}), -1);
  auto closed = NewLog();
  EXPECT_EQ(closed->ExportPass([](const REC_INFO_BASE&, const std::vector<std::u16string>*) { return true; }, {}), -1);
}

TEST_F(ExportOnePass, VisitAnsweringFalseStopsThePass) {
  auto log = OpenEvents(path_);
  log->SetFilter(Criteria(0x7FFFFFFF));
  std::vector<std::pair<std::int32_t, std::int32_t>> seen;  // record, row
  log->ExportPass(
      [&](const REC_INFO_BASE& row, const std::vector<std::u16string>*) {
        seen.emplace_back(row.record, row.row);
        return seen.size() < 3;
      },
      {});
  // Newest first: record 239's two rows, the last first, then record 238's last of three.
  EXPECT_EQ(seen, (std::vector<std::pair<std::int32_t, std::int32_t>>{{239, 1}, {239, 0}, {238, 2}}));
}

}  // namespace
}  // namespace korv::test
