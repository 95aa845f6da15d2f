// JSON Lines and CSV exports of an opened log: the rows and order of the text export under
// every kind of filter in both view modes, the same bytes from the one-pass export as from
// the loaded rows, output that strict readers accept whatever the cells hold, and the ISO
// times with the offset the list applies.
#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "log_test_support.h"
#include "logmodel/line_export_writer.h"
#include "logmodel/record_time.h"
#include "logmodel/severity.h"
#include "platform/codepage.h"
#include "platform/tz.h"
#include "test_support/line_formats.h"

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

class LoadedRows : public ExportRows {
 public:
  explicit LoadedRows(CLog& log) : log_(log) {}
  int Count() override { return log_.GetVisibleCount(); }
  bool Cells(int row, std::vector<std::u16string>& cells) override { return log_.GetRowCells(row, cells); }
  bool Text(int row, std::u16string& line) override {
    std::vector<std::u16string> cells;
    if (!log_.GetRowCells(row, cells)) return false;
    line.clear();
    AppendEscapedRow(cells, line);
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
};

std::vector<std::u16string> Titles(const CLog& log) {
  std::vector<std::u16string> names;
  for (const HDR_INFO& column : log.GetHeader().m_columns) names.push_back(column.name);
  return names;
}

// The escaped text export's lines (CR LF between them, never inside one).
std::vector<std::u16string> TextLines(const std::string& bytes) {
  std::vector<std::u16string> lines;
  if (bytes.empty()) return lines;
  std::size_t at = 0;
  for (;;) {
    const std::size_t end = bytes.find("\r\n", at);
    lines.push_back(platform::utf8_to_utf16(bytes.substr(at, end - at)));
    if (end == std::string::npos) break;
    at = end + 2;
  }
  return lines;
}

constexpr std::size_t kFixedMembers = 9;  // time filetime severity log record row deleted corrupted raw

// The Type column's name of each level the test log uses, and of a raw row.
std::u16string ShownSeverity(const REC_INFO_BASE& row) {
  if (row.flags & ROW_FLAG_RAW) return u"Raw";
  switch (row.level) {
    case 0x00000005: return u"Diagnostic";
    case 0x10000000: return u"Information";
    case 0x40000002: return u"Warning";
    case 0x80000001: return u"Error";
    case 0xA0000000: return u"Critical";
    default: return u"level not in the test log";
  }
}  // time severity log record row deleted corrupted

class LineExport : public ModuleFixture {
 protected:
  void SetUp() override {
    ModuleFixture::SetUp();
    platform::set_process_utc_offset(0);
    // The text export writes the locale's character set: UTF-8 here, so that its lines can
    // be compared with the UTF-8 formats character for character.
    if (const char* was = std::setlocale(LC_CTYPE, nullptr)) ctype_ = was;
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    path_ = dir_.Path("events.dat");
    // 60 records of 1 to 3 rows, every level class, cells with everything a format must
    // quote; every 5th deleted, every 9th corrupted, one without rows (does not decode: a raw
    // row stands for it).
    const std::uint32_t levels[] = {0x00000005, 0x10000000, 0x40000002, 0x80000001, 0xA0000000};
    const std::u16string modules[] = {
        u"plain", u"say \"hi\", then go", u"tab\there\\x", u"line\r\nbreak\nlf\rcr",
        std::u16string(u"nul\0bell\x07esc\x1b[0m", 16) + u"\u0085\u2028\u2029",
        u"\U0001F600 Síť", std::u16string(u"lone ") + char16_t(0xD800) + u" end" + char16_t(0xDC00),
        u""};
    std::vector<EventRecord> records;
    for (std::uint32_t n = 0; n < 60; ++n) {
      EventRecord r;
      r.time = Ft(2026, 3, 28, int(n % 24), int(n), 9);
      r.deleted = n % 5 == 2;
      if (n % 9 == 4) r.type = 0;
      const std::uint32_t rows = n == 30 ? 0 : 1 + n % 3;
      for (std::uint32_t k = 0; k < rows; ++k)
        r.rows.push_back({levels[(n + k) % 5], modules[(n + k) % 8], 1 + (n + k) % 3, k % 2 ? u"" : u"CORP\\x"});
      records.push_back(std::move(r));
    }
    WriteEventLog(path_, records);
  }
  void TearDown() override {
    std::setlocale(LC_CTYPE, ctype_.c_str());
    platform::set_process_utc_offset(0);
    ModuleFixture::TearDown();
  }

  std::string path_;
  std::string ctype_ = "C";
};

struct Exports {
  std::string text, jsonl, csv;
  std::vector<REC_INFO_BASE> rows;            // the visible rows as loaded
  std::vector<std::vector<std::u16string>> cells;
};

Exports LoadThenExport(CLog& log) {
  log.LoadRecords(log.Rows(), 0, -1);
  log.RebuildVisible(false);
  Exports e;
  LoadedRows rows(log);
  StringSink text, jsonl, csv;
  EXPECT_EQ(WriteTextExport(rows, text, nullptr), kExportOk);
  EXPECT_EQ(WriteLineExport(rows, LineFormat::kJsonLines, Titles(log), log.GetSettingsKey(), jsonl, nullptr), kExportOk);
  EXPECT_EQ(WriteLineExport(rows, LineFormat::kCsv, Titles(log), log.GetSettingsKey(), csv, nullptr), kExportOk);
  e.text = text.bytes, e.jsonl = jsonl.bytes, e.csv = csv.bytes;
  std::vector<std::u16string> cells;
  for (int i = 0; i < log.GetVisibleCount(); ++i)
    if (log.GetRowCells(i, cells)) e.rows.push_back(*log.GetRow(i)), e.cells.push_back(cells);
  return e;
}

Exports ExportInOnePass(CLog& log) {
  StringSink jsonl, csv;
  LineExportWriter j(LineFormat::kJsonLines, Titles(log), log.GetSettingsKey(), jsonl);
  LineExportWriter c(LineFormat::kCsv, Titles(log), log.GetSettingsKey(), csv);
  log.ExportPass(
      [&](const REC_INFO_BASE& row, const std::vector<std::u16string>* cells) {
        const std::vector<std::u16string> none;  // a corrupted row's: it has no cells
        return j.Row(row, cells ? *cells : none) && c.Row(row, cells ? *cells : none);
      },
      {});
  EXPECT_EQ(j.Finish(), kExportOk);
  EXPECT_EQ(c.Finish(), kExportOk);
  Exports e;
  e.jsonl = jsonl.bytes, e.csv = csv.bytes;
  return e;
}

// Reads both formats back and checks each row against the text export's line, the loaded
// row it came from, and the other format.
void CheckAgainstText(const Exports& e, const std::vector<std::u16string>& titles, bool timeColumn) {
  const std::vector<std::u16string> lines = TextLines(e.text);
  ASSERT_EQ(lines.size(), e.rows.size());
  const auto jsonLines = SplitJsonLines(e.jsonl);
  ASSERT_TRUE(jsonLines) << "every line ends with LF";
  ASSERT_GE(jsonLines->size(), lines.size());
  const auto csv = ParseCsv(e.csv);
  ASSERT_TRUE(csv) << "RFC 4180";
  ASSERT_EQ(csv->size(), jsonLines->size() + 1);
  ASSERT_EQ(csv->front().size(), titles.size() + 3);
  EXPECT_EQ(csv->front()[0], u"Time");
  EXPECT_EQ(csv->front()[1], u"FileTime");
  EXPECT_EQ(csv->front()[2], u"Severity");
  // The line formats also hold the corrupted rows, which have no cells and so no text line:
  // each with empty cells and "corrupted":true, between the others in list order.
  std::size_t at = 0;  // of `jsonLines` and of the CSV rows
  for (std::size_t i = 0; i < lines.size(); ++i, ++at) {
    SCOPED_TRACE("row " + std::to_string(i));
    for (; at < jsonLines->size(); ++at) {
      const auto corrupted = ParseJsonLine((*jsonLines)[at]);
      ASSERT_TRUE(corrupted);
      if ((*corrupted)[7].second != JsonScalar(true)) break;
      EXPECT_EQ((*corrupted)[2].second, JsonScalar(std::u16string(u"Corrupted")));
      for (std::size_t c = kFixedMembers; c < corrupted->size(); ++c)
        EXPECT_EQ((*corrupted)[c].second, JsonScalar(std::u16string()));
      EXPECT_EQ((*csv)[at + 1][2], u"Corrupted");
    }
    ASSERT_LT(at, jsonLines->size());
    const auto object = ParseJsonLine((*jsonLines)[at]);
    ASSERT_TRUE(object) << (*jsonLines)[at];
    ASSERT_EQ(object->size(), kFixedMembers + titles.size());
    const REC_INFO_BASE& row = e.rows[i];
    const auto& m = *object;
    EXPECT_EQ(m[1].second, JsonScalar(std::to_string(row.time)));
    EXPECT_EQ(m[2].second, JsonScalar(ShownSeverity(row)));
    EXPECT_EQ(m[4].second, JsonScalar(std::to_string(row.record)));
    EXPECT_EQ(m[5].second, JsonScalar(std::to_string(row.row)));
    EXPECT_EQ(m[6].second, JsonScalar((row.flags & ROW_FLAG_DELETED) != 0));
    EXPECT_EQ(m[7].second, JsonScalar(false));
    EXPECT_EQ(m[8].second, JsonScalar((row.flags & ROW_FLAG_RAW) != 0));
    std::vector<std::u16string> cells;
    for (std::size_t c = kFixedMembers; c < m.size(); ++c) cells.push_back(std::get<std::u16string>(m[c].second));
    // Cells as the text export escapes them: the same rows, in the same order.
    std::u16string line;
    AppendEscapedRow(cells, line);
    EXPECT_EQ(line, lines[i]);
    // The CSV row holds the same time, severity and cells.
    const std::vector<std::u16string>& fields = (*csv)[at + 1];
    ASSERT_EQ(fields.size(), titles.size() + 3);
    EXPECT_EQ(JsonScalar(fields[0]), m[0].second);
    EXPECT_EQ(JsonScalar(platform::utf16_to_utf8(fields[1])), m[1].second);
    EXPECT_EQ(JsonScalar(fields[2]), m[2].second);
    EXPECT_EQ(std::vector<std::u16string>(fields.begin() + 3, fields.end()), cells);
    // In list view the time column shows the same local time the ISO time states.
    if (timeColumn) {
      std::u16string iso = std::get<std::u16string>(m[0].second);
      ASSERT_EQ(iso.size(), 25u);
      iso[10] = u' ';
      EXPECT_EQ(iso.substr(0, 19), cells[0]);
    }
  }
}

TEST_F(LineExport, SameRowsAndOrderAsTheTextExportInBothViews) {
  struct Case {
    const char* name;
    std::uint32_t types;
    std::u16string text;
    std::uint32_t options = 0;
  };
  const Case cases[] = {
      {"everything", 0x7FFFFFFF, u""},
      {"deleted hidden", 31, u""},
      {"errors and criticals with deleted", FILTER_TYPE_ERROR | FILTER_TYPE_CRITICAL | FILTER_SHOW_DELETED, u""},
      {"text with a quote", 0x7FFFFFFF, u"\"hi\""},
      {"whole word", 0x7FFFFFFF, u"break", FILTER_OPT_WORDS},
      {"nothing", 0, u""},
  };
  for (const int view : {LOG_VIEW_LIST, LOG_VIEW_RECORD}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (view == LOG_VIEW_LIST ? ", newest first" : ", file order"));
      CLogFilterData f(0);
      f.m_nTypeMask = c.types;
      f.m_strText = c.text;
      f.m_nOptions = c.options;
      auto loaded = OpenEvents(path_, view);
      auto streamed = OpenEvents(path_, view);
      loaded->SetFilter(f);
      streamed->SetFilter(f);
      const Exports before = LoadThenExport(*loaded);
      const Exports after = ExportInOnePass(*streamed);
      EXPECT_EQ(after.jsonl, before.jsonl);
      EXPECT_EQ(after.csv, before.csv);
      CheckAgainstText(before, Titles(*loaded), view == LOG_VIEW_LIST);
      if (c.types == 0) {
        // No severity selected: only rows without one stay, the raw row of the record the
        // module refuses (corrupted rows have no cells, so no text line).
        for (const REC_INFO_BASE& row : before.rows) EXPECT_TRUE(row.flags & ROW_FLAG_RAW);
      } else {
        EXPECT_FALSE(before.rows.empty());
      }
    }
  }
}

// The member names stay unique although the list view's time column is titled like a
// fixed member; the log member is the kind's settings key.
TEST_F(LineExport, MemberNamesAndLogKey) {
  auto log = OpenEvents(path_);
  const Exports e = LoadThenExport(*log);
  const auto lines = SplitJsonLines(e.jsonl);
  ASSERT_TRUE(lines && !lines->empty());
  const auto object = ParseJsonLine(lines->front());
  ASSERT_TRUE(object);
  std::vector<std::u16string> names;
  for (const auto& m : *object) names.push_back(m.first);
  const std::vector<std::u16string> fixed = {u"time", u"filetime", u"severity",  u"log", u"record",
                                             u"row",  u"deleted",  u"corrupted", u"raw"};
  EXPECT_EQ(std::vector<std::u16string>(names.begin(), names.begin() + kFixedMembers), fixed);
  const std::vector<std::u16string> titles = Titles(*log);
  ASSERT_EQ(names.size(), kFixedMembers + titles.size());
  for (std::size_t c = 0; c < titles.size(); ++c) {
    // A title is kept unless it equals a fixed name or an earlier title in all but case.
    const std::u16string& name = names[kFixedMembers + c];
    EXPECT_TRUE(name == titles[c] || name.starts_with(titles[c] + u"_")) << c;
  }
  std::u16string key;
  for (char ch : log->GetSettingsKey()) key.push_back(char16_t(ch));
  ASSERT_FALSE(key.empty());
  EXPECT_EQ((*object)[3].second, JsonScalar(key));
}

// The ISO time states the offset the list applies, and the instant it names is the record's.
// A zone with summer time keeps the one offset the list uses on both sides of the switch.
TEST(IsoRecordTime, ShownOffsetInEveryZone) {
  struct Case {
    const char* zone;
    std::uint64_t time;
    const char* iso;  // null: no calendar date in that zone
  };
  const Case cases[] = {
      {"UTC+0", Ft(2026, 3, 14, 9, 26, 53), "2026-03-14T09:26:53+00:00"},
      {"UTC-1", Ft(2026, 3, 14, 9, 26, 53), "2026-03-14T10:26:53+01:00"},
      {"UTC+5", Ft(2026, 3, 14, 2, 0, 0), "2026-03-13T21:00:00-05:00"},
      {"UTC-14", Ft(2026, 12, 31, 12, 0, 1), "2027-01-01T02:00:01+14:00"},
      {"<+0530>-5:30", Ft(2026, 3, 14, 0, 0, 0), "2026-03-14T05:30:00+05:30"},
      {"<-0930>9:30", Ft(2026, 3, 14, 0, 0, 0), "2026-03-13T14:30:00-09:30"},
      // Summer time starts at 01:00 UTC on 29 March 2026 in this zone.
      {"CET-1CEST,M3.5.0,M10.5.0/3", Ft(2026, 3, 29, 0, 30, 0), "2026-03-29T01:30:00+01:00"},
      {"CET-1CEST,M3.5.0,M10.5.0/3", Ft(2026, 3, 29, 1, 30, 0), "2026-03-29T02:30:00+01:00"},
      {"UTC+5", 10, nullptr},  // before 1601 once shifted
      {"UTC+0", 0, "1601-01-01T00:00:00+00:00"},
      // RFC 3339 stops at four-digit years: past 9999 once shifted there is no text.
      {"UTC+0", Ft(9999, 12, 31, 23, 59, 59), "9999-12-31T23:59:59+00:00"},
      {"UTC-14", Ft(9999, 12, 31, 9, 59, 59), "9999-12-31T23:59:59+14:00"},
      {"UTC-14", Ft(9999, 12, 31, 10, 0, 0), nullptr},
      {"UTC+0", 2650467744000000000ULL, nullptr},  // 10000-01-01
      {"UTC+0", std::uint64_t(1) << 63, nullptr},
      {"UTC+12", ~std::uint64_t(0), nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.zone);
    ASSERT_TRUE(platform::set_process_time_zone(c.zone));
    std::string iso = "x";
    const bool dated = AppendIsoRecordTime(c.time, iso);
    const std::u16string shown = FormatRecordTime(c.time);  // C locale: the ISO date and time
    if (c.iso == nullptr) {
      EXPECT_FALSE(dated);
      EXPECT_EQ(iso, "x");
      EXPECT_TRUE(shown.empty());
      continue;
    }
    ASSERT_TRUE(dated);
    EXPECT_EQ(iso, std::string("x") + c.iso);
    // The local part is what the list shows, whatever the zone's rules.
    std::u16string local(iso.begin() + 1, iso.begin() + 20);
    local[10] = u' ';
    EXPECT_EQ(local, shown);
  }
  platform::set_process_utc_offset(0);
}

}  // namespace
}  // namespace korv::test
