// Raw rows: a log whose module gives no columns, a log shown raw on request, a record the
// module refuses and a record whose payload does not fit it, each compared with what the
// stand-in's own decoder finds in the payloads; and the rows of lost or deleted records
// that every filter keeps in sight.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "log_test_support.h"
#include "logmodel/filter_match.h"
#include "logmodel/severity.h"
#include "standin/payload.h"
#include "test_support/log_bytes.h"
#include "platform/codepage.h"

namespace korv::test {
namespace {

// The TEXT fields of a stand-in payload, as the stand-in itself decodes it.
std::vector<std::u16string> TextFields(const std::vector<std::uint8_t>& payload) {
  std::vector<std::u16string> texts;
  EXPECT_EQ(StandinTextFields(payload, texts), standin::PayloadResult::Ok);
  return texts;
}

// Overwrites 4 bytes of the file at `offset`.
void Patch32(const std::string& path, std::uint64_t offset, std::uint32_t value) {
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(std::streamoff(offset));
  for (int i = 0; i < 4; ++i) f.put(char(value >> (8 * i)));
}

class RawRows : public ModuleFixture {
 protected:
  void SetUp() override {
    ModuleFixture::SetUp();
    path_ = dir_.Path("warnlog.dat");
    for (int i = 0; i < 6; ++i) {
      EventRecord r;
      r.time = Ft(2026, 12, 8, 10, i, 0);
      r.rows = {EventRow{0x40000000, u"Scanner" + std::u16string(1, char16_t(u'A' + i)), 1, u"CORP\\alice"},
                EventRow{0x10000000, u"Přenos dat", 2, u"SYSTEM"}};
      r.aux = std::uint32_t(i + 1);
      r.deleted = i == 4;
      records_.push_back(r);
    }
    WriteEventLog(path_, records_);
  }
  std::vector<std::uint8_t> PayloadOf(int i) const { return EventPayload(records_[std::size_t(i)].rows); }
  // The rows of every record, deleted ones too, in file order.
  static void LoadEverything(CLog& log) {
    CLogFilterData all;
    all.m_nTypeMask = 0x7FFFFFFF;
    log.SetFilter(all);
    LoadAll(log);
  }
  // The texts of the row at visible position p, file order in view mode 3.
  static std::vector<std::u16string> Cells(CLog& log, int p) {
    std::vector<std::u16string> cells;
    EXPECT_TRUE(log.GetRowCells(p, cells)) << p;
    return cells;
  }

  std::string path_;
  std::vector<EventRecord> records_;
};

TEST_F(RawRows, WithoutTheModuleOrOnRequestEveryRecordIsOneRawRow) {
  for (const bool requested : {false, true}) {
    SCOPED_TRACE(requested ? "raw on request" : "no module");
    std::unique_ptr<CLog> log = requested ? NewLog() : std::make_unique<CLog>(nullptr, nullptr);
    log->SetRawRecords(requested);
    log->SetViewMode(LOG_VIEW_RECORD);  // file order: position = record
    ASSERT_TRUE(log->Open(path_, 7, kEventsType, kSecondInterface, "warnlog"));
    ASSERT_TRUE(log->IsRaw());
    std::vector<std::u16string> titles;
    for (const HDR_INFO& c : log->GetHeader().m_columns) titles.push_back(c.name);
    EXPECT_EQ(titles, (std::vector<std::u16string>{u"Time", u"Record", u"Kind", u"Size", u"Texts"}));
    LoadEverything(*log);
    ASSERT_EQ(log->GetVisibleCount(), 6) << "one row a record, though each has two rows decoded";
    for (int i = 0; i < 6; ++i) {
      const REC_INFO_BASE* row = log->GetRow(i);
      ASSERT_NE(row, nullptr);
      EXPECT_EQ(row->record, i);
      EXPECT_TRUE(row->flags & ROW_FLAG_RAW);
      EXPECT_EQ(bool(row->flags & ROW_FLAG_DELETED), i == 4);
      std::uint32_t levelClass = 99;
      ASSERT_TRUE(log->GetRowLevelClass(i, levelClass));
      EXPECT_EQ(levelClass, 0u) << "a raw row has no severity";
      const std::vector<std::u16string> cells = Cells(*log, i);
      ASSERT_EQ(cells.size(), 5u);
      EXPECT_EQ(cells[0], u"2026-12-08 10:0" + std::u16string(1, char16_t(u'0' + i)) + u":00");
      EXPECT_EQ(cells[1], std::u16string(1, char16_t(u'0' + i)));
      EXPECT_EQ(cells[2], u"0x00010002 Events");
      EXPECT_EQ(cells[3], korv::platform::utf8_to_utf16(std::to_string(PayloadOf(i).size())));
      for (const std::u16string& text : TextFields(PayloadOf(i)))
        EXPECT_NE(cells[4].find(text), std::u16string::npos) << "record " << i;
    }
  }
}

TEST_F(RawRows, FilterFindAndTextsWorkOnRawRows) {
  auto log = std::make_unique<CLog>(nullptr, nullptr);
  ASSERT_TRUE(log->Open(path_, 7, kEventsType, kSecondInterface, "warnlog"));
  CLogFilterData text;
  text.m_nTypeMask = FILTER_TYPE_CRITICAL;  // no deleted rows, no severity raw rows could have
  log->SetFilter(text);
  LoadAll(*log);
  EXPECT_EQ(log->GetVisibleCount(), 5) << "the deleted record hidden; no severity bit hides a raw row";
  text.m_strText = u"scannerc";
  log->SetFilter(text);
  LoadAll(*log);
  ASSERT_EQ(log->GetVisibleCount(), 1);
  EXPECT_EQ(log->GetRow(0)->record, 2);
  std::u16string line;
  ASSERT_TRUE(log->GetRowText(0, line));
  EXPECT_NE(line.find(u"ScannerC"), std::u16string::npos);
  CLogFilterData find;
  find.m_strText = u"ScannerA";
  find.m_nOptions = FILTER_OPT_CASE;
  EXPECT_EQ(log->FindRecord(find, -1, false), -1) << "record 0 is filtered out";
}

TEST_F(RawRows, ARecordTheModuleRefusesBecomesARawRowAndIsCounted) {
  // Record 3 of a payload version the module does not know.
  std::vector<std::uint8_t> refused = PayloadOf(3);
  refused[0] = 2;
  std::vector<LogRecord> more{{kEventsRecord, Ft(2026, 12, 8, 11, 0, 0), 0, 50, refused}};
  AppendRecords(path_, more, false);
  std::unique_ptr<CLog> log = OpenEvents(path_, LOG_VIEW_RECORD);
  ASSERT_FALSE(log->IsRaw());
  LoadEverything(*log);
  ASSERT_EQ(log->GetVisibleCount(), 6 * 2 + 1);
  const REC_INFO_BASE* row = log->GetRow(12);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->record, 6);
  EXPECT_EQ(row->flags & (ROW_FLAG_RAW | ROW_FLAG_CORRUPTED), ROW_FLAG_RAW);
  const std::vector<std::u16string> cells = Cells(*log, 12);
  ASSERT_FALSE(cells.empty());
  EXPECT_EQ(cells[0].rfind(u"0x00010002 Events, " + korv::platform::utf8_to_utf16(std::to_string(refused.size())) +
                               u" bytes: ", 0),
            0u)
      << "the first column holds kind, size and texts";
  for (const std::u16string& text : TextFields(PayloadOf(3))) EXPECT_NE(cells[0].find(text), std::u16string::npos);
  EXPECT_FALSE(log->GetRow(0)->flags & ROW_FLAG_RAW) << "the module's rows stay the module's";

  // The export pass gives every record a row and still counts the refused one.
  log->SetViewMode(LOG_VIEW_LIST);
  std::size_t rows = 0, raw = 0;
  const std::int64_t lost = log->ExportPass(
      [&](const REC_INFO_BASE& r, const std::vector<std::u16string>* texts) {
        ++rows;
        raw += (r.flags & ROW_FLAG_RAW) && texts != nullptr ? 1 : 0;
        return true;
      },
      {});
  EXPECT_EQ(lost, 1);
  EXPECT_EQ(rows, 6u * 2 + 1);
  EXPECT_EQ(raw, 1u);
}

TEST_F(RawRows, APayloadThatDoesNotFitItsRecordIsACorruptedRawRowAndTheLogOpens) {
  // Records are back to back from offset 56: find record 2's header and 5's.
  std::vector<std::uint64_t> offsets{56};
  for (int i = 0; i < 5; ++i) offsets.push_back(offsets.back() + 36 + PayloadOf(i).size());
  Patch32(path_, offsets[2] + 8, 20);          // inside the record header
  Patch32(path_, offsets[5] + 8, 0xFFFFFFF0);  // far past the record
  for (const bool raw : {false, true}) {
    SCOPED_TRACE(raw ? "shown raw" : "decoded");
    std::unique_ptr<CLog> log = NewLog();
    log->SetRawRecords(raw);
    log->SetViewMode(LOG_VIEW_RECORD);
    ASSERT_TRUE(log->Open(path_, 7, kEventsType, kSecondInterface, "warnlog")) << "the chain is whole";
    LoadEverything(*log);
    ASSERT_EQ(log->GetVisibleCount(), raw ? 6 : 4 * 2 + 2);
    EXPECT_EQ(log->GetCorruptedCount(), 2);
    for (int p = 0; p < log->GetVisibleCount(); ++p) {
      const REC_INFO_BASE* row = log->GetRow(p);
      const bool damaged = row->record == 2 || row->record == 5;
      EXPECT_EQ(bool(row->flags & ROW_FLAG_CORRUPTED), damaged) << row->record;
      if (!damaged) continue;
      EXPECT_TRUE(row->flags & ROW_FLAG_RAW);
      const std::vector<std::u16string> cells = Cells(*log, p);
      if (raw) {
        EXPECT_EQ(cells[3], u"0") << "no payload";
        EXPECT_EQ(cells[4], u"") << "no texts";
      } else {
        EXPECT_EQ(cells[0], u"0x00010002 Events, 0 bytes");
      }
    }
  }
}

TEST_F(RawRows, CorruptedRowsShowWhateverTheDeletedFilterSays) {
  // A repaired gap's placeholder is a deleted record of type 0.
  EventRecord placeholder;
  placeholder.type = 0;
  placeholder.deleted = true;
  placeholder.time = Ft(2026, 12, 8, 10, 30, 0);
  std::vector<EventRecord> records{records_[0], placeholder, records_[4]};  // records_[4] is deleted
  const std::string path = dir_.Path("gap.dat");
  WriteEventLog(path, records);
  std::unique_ptr<CLog> log = OpenEvents(path, LOG_VIEW_RECORD);
  CLogFilterData noDeleted;  // every severity, deleted rows not shown
  noDeleted.m_nTypeMask = 0x1F;
  log->SetFilter(noDeleted);
  LoadAll(*log);
  ASSERT_EQ(log->GetVisibleCount(), 3) << "record 0's two rows and the placeholder";
  EXPECT_EQ(log->GetRow(2)->record, 1);
  EXPECT_TRUE(log->GetRow(2)->flags & ROW_FLAG_CORRUPTED);
  noDeleted.m_nTypeMask = FILTER_TYPE_CRITICAL;  // nor any severity of this log
  log->SetFilter(noDeleted);
  ASSERT_EQ(log->GetVisibleCount(), 1);
  EXPECT_EQ(log->GetRow(0)->record, 1);
}

TEST_F(RawRows, TheFixedRecordOfADeletedRecordSaysDeleted) {
  for (const int record : {4, 3}) {
    std::unique_ptr<CLog> log = NewLog();
    log->SetViewMode(LOG_VIEW_RECORD);
    log->SetFixedRecord(record);
    ASSERT_TRUE(log->Open(path_, 7, kEventsType, kSecondInterface, "warnlog"));
    CLogFilterData noDeleted;
    noDeleted.m_nTypeMask = 0x1F;
    log->SetFilter(noDeleted);
    log->LoadFixedRecord(log->Rows(), record);
    log->RebuildVisible(true);
    ASSERT_EQ(log->GetVisibleCount(), 2) << "a record asked for by number is shown: " << record;
    for (int p = 0; p < 2; ++p)
      EXPECT_EQ(bool(log->GetRow(p)->flags & ROW_FLAG_DELETED), record == 4) << record;
    EXPECT_EQ(Cells(*log, 0)[0], u"Scanner" + std::u16string(1, char16_t(u'A' + record)));
  }
}

}  // namespace
}  // namespace korv::test
