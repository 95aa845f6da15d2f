// The opened log over real files and the stand-in module: rows of records (deleted,
// corrupted, several rows), list positions, cells through cache and buffered record, the
// visible list under filters, abort, and the search.

#include <atomic>

#include "log_test_support.h"
#include "logmodel/severity.h"
#include "standin/messages.h"

namespace korv::test {
namespace {

using Rows = std::vector<REC_INFO_BASE>;

class LogRows : public ModuleFixture {
 protected:
  // Record 0 Warning, record 1 deleted Error, record 2 a corrupted placeholder.
  void WriteThree() {
    WriteEventLog(path_, {
        {{{0x40000001, u"Kernel", standin::kMsgEvUpdated}}, Ft(2026, 12, 8, 10, 0, 0)},
        {{{0x80000002, u"Firewall"}}, Ft(2026, 12, 8, 11, 0, 0), true},
        {{}, Ft(2026, 12, 8, 12, 0, 0), false, 0, 77},
    });
  }
  std::string path_ = dir_.Path("warnlog.dat");
};

TEST_F(LogRows, ThreeRecordsGiveRowsWithDeletedAndCorruptedFlags) {
  WriteThree();
  for (std::uint32_t flags : {kSecondInterface, kFirstInterface}) {
    auto log = OpenEvents(path_, LOG_VIEW_LIST, flags);
    LoadAll(*log);
    const Rows& rows = log->Rows();
    ASSERT_EQ(rows.size(), 3u) << "interface " << flags;
    struct Expect {
      std::int32_t record;
      std::uint32_t level, flags, aux;
    };
    // Decoded rows carry the module's row flags: the stand-in sets bit 0 (a record view).
    const Expect expect[] = {
        {0, 0x40000001, 1 | ROW_FLAG_VISIBLE, 0},
        {1, 0x80000002, 1 | ROW_FLAG_DELETED | ROW_FLAG_VISIBLE, 0},
        {2, 0, ROW_FLAG_CORRUPTED | ROW_FLAG_VISIBLE, 77},
    };
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(rows[i].record, expect[i].record) << i;
      EXPECT_EQ(rows[i].row, 0) << i;
      EXPECT_EQ(rows[i].level, expect[i].level) << i;
      EXPECT_EQ(rows[i].flags, expect[i].flags) << i;
      EXPECT_EQ(rows[i].auxiliary, expect[i].aux) << i;
    }
    EXPECT_EQ(log->GetDeletedCount(), 1);
    EXPECT_EQ(log->GetCorruptedCount(), 1);
    EXPECT_EQ(log->GetTotalCount(), 3);
    EXPECT_EQ(log->GetVisibleCount(), 3);
  }
}

TEST_F(LogRows, StartUpFilterHidesDeletedRowsAndEmptyMaskAllButTheCorrupted) {
  WriteThree();
  auto log = OpenEvents(path_);
  LoadAll(*log);
  struct Case {
    std::uint32_t typeMask;
    int visible;
  };
  const Case cases[] = {
      {31, 2},                               // start-up value: deleted rows hidden
      {0x7FFFFFFF, 3},                       // fresh criteria show them
      // The corrupted row stands for lost data: no severity or Deleted filter hides it.
      {FILTER_TYPE_WARNING, 2},              // Warning alone
      {FILTER_TYPE_ERROR | FILTER_SHOW_DELETED, 2},  // the deleted Error
      {FILTER_TYPE_DIAGNOSTIC, 1},
      {0, 1},
  };
  for (const Case& c : cases) {
    CLogFilterData f = ShowAll();
    f.m_nTypeMask = c.typeMask;
    log->SetFilter(f);
    EXPECT_EQ(log->GetVisibleCount(), c.visible) << std::hex << c.typeMask;
    EXPECT_EQ(log->GetTotalCount(), 3) << "the rows stay";
  }
}

TEST_F(LogRows, RecordOfThreeRowsSharesRecordAndTime) {
  WriteEventLog(path_, {{{{0x10000000, u"A"}, {0x40000000, u"B"}, {0xA0000000, u"C"}},
                         Ft(2026, 1, 2, 3, 4, 5)}});
  auto log = OpenEvents(path_);
  LoadAll(*log);
  ASSERT_EQ(log->Rows().size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(log->Rows()[i].record, 0);
    EXPECT_EQ(log->Rows()[i].row, i);
    EXPECT_EQ(log->Rows()[i].time, Ft(2026, 1, 2, 3, 4, 5));
  }
  // Newest first: position 0 is the last row, cell 0 of view mode 1 its module.
  std::u16string text;
  const char16_t* modules[] = {u"C", u"B", u"A"};
  for (int p = 0; p < 3; ++p) {
    ASSERT_TRUE(log->GetCellText(p, 1, text));
    EXPECT_EQ(text, modules[p]) << p;
  }
  std::uint32_t cls = 0;
  ASSERT_TRUE(log->GetRowLevelClass(0, cls));
  EXPECT_EQ(cls, FILTER_TYPE_CRITICAL);
  EXPECT_FALSE(log->GetRowLevelClass(3, cls));
}

TEST_F(LogRows, PositionsCountFromTheNewestInListModeAndInFileOrderInRecordMode) {
  std::vector<EventRecord> records;
  for (int i = 0; i < 10; ++i)
    records.push_back({{{0x10000000, u"m" + std::u16string(1, char16_t(u'0' + i))}},
                       Ft(2026, 3, 1, 0, i, 0)});
  WriteEventLog(path_, records);
  struct Case {
    int view, position;
    std::int32_t record;
  };
  const Case cases[] = {{LOG_VIEW_LIST, 0, 9}, {LOG_VIEW_LIST, 9, 0}, {LOG_VIEW_LIST, 3, 6},
                        {LOG_VIEW_RECORD, 0, 0}, {LOG_VIEW_RECORD, 9, 9}};
  for (const Case& c : cases) {
    auto log = OpenEvents(path_, c.view);
    LoadAll(*log);
    const REC_INFO_BASE* row = log->GetRow(c.position);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->record, c.record) << "view " << c.view << " position " << c.position;
    EXPECT_EQ(log->GetRow(10), nullptr);
    EXPECT_EQ(log->GetRow(-1), nullptr);
  }
}

TEST_F(LogRows, CellsRowCellsAndRowTextInBothViewModes) {
  WriteThree();
  struct Case {
    int view;
    std::vector<std::u16string> cells;  // of the Warning row (record 0)
  };
  const Case cases[] = {
      {LOG_VIEW_LIST,
       {u"2026-12-08 10:00:00", u"Kernel", u"Detection engine was successfully updated.", u"SYSTEM"}},
      {LOG_VIEW_RECORD, {u"Kernel", u"Detection engine was successfully updated.", u"SYSTEM"}},
  };
  for (const Case& c : cases) {
    auto log = OpenEvents(path_, c.view);
    LoadAll(*log);
    const int p = c.view == LOG_VIEW_LIST ? 2 : 0;  // record 0
    ASSERT_EQ(log->GetColumnCount(), int(c.cells.size()));
    std::vector<std::u16string> cells;
    ASSERT_TRUE(log->GetRowCells(p, cells));
    EXPECT_EQ(cells, c.cells);
    for (int col = 0; col < int(c.cells.size()); ++col) {
      std::u16string text;
      EXPECT_TRUE(log->GetCellText(p, col, text));
      EXPECT_EQ(text, c.cells[std::size_t(col)]) << col;
    }
    std::u16string text = u"x";
    EXPECT_FALSE(log->GetCellText(p, int(c.cells.size()), text)) << "no such column";
    EXPECT_TRUE(text.empty());
    std::u16string line;
    ASSERT_TRUE(log->GetRowText(p, line));
    std::u16string joined;
    for (std::size_t i = 0; i < c.cells.size(); ++i) joined += (i ? u"\t" : u"") + c.cells[i];
    EXPECT_EQ(line, joined);
    // The corrupted record has no cells: the copy paths skip it, the list shows nothing.
    const int corrupted = c.view == LOG_VIEW_LIST ? 0 : 2;
    EXPECT_FALSE(log->GetRowCells(corrupted, cells));
    EXPECT_TRUE(log->GetCellText(corrupted, 1, text));
    EXPECT_TRUE(text.empty());
  }
}

TEST_F(LogRows, CellPathGrowsTheCacheAndDecodesOncePerRecord) {
  WriteThree();
  auto log = OpenEvents(path_);
  LoadAll(*log);
  EXPECT_EQ(log->GetCache().SlotCount(), 1);
  std::u16string text;
  ASSERT_TRUE(log->GetCellText(2, 1, text));
  EXPECT_EQ(log->GetCache().SlotCount(), 200);
  EXPECT_EQ(log->GetCache().NextSlot(), 1);
  ASSERT_TRUE(log->GetCellText(2, 2, text));
  ASSERT_TRUE(log->GetCellText(2, 3, text));
  EXPECT_EQ(log->GetCache().NextSlot(), 1) << "the record's further cells came from the cache";
  EXPECT_TRUE(log->CacheRow(1));
  EXPECT_EQ(log->GetCache().NextSlot(), 2);
}

TEST_F(LogRows, KindWithoutModuleInterfaceIsShownRaw) {
  WriteThree();
  auto log = OpenEvents(path_, LOG_VIEW_LIST, 0);
  LoadAll(*log);
  EXPECT_TRUE(log->IsRaw());
  EXPECT_EQ(log->GetColumnCount(), 5) << "Time, Record, Kind, Size, Texts";
  EXPECT_TRUE(log->IsDecodable()) << "its rows have cells";
  // One raw row a record (each stands for its record); the placeholder is corrupted as ever.
  ASSERT_EQ(log->Rows().size(), 3u);
  EXPECT_EQ(log->Rows()[0].flags, 1 | ROW_FLAG_RAW | ROW_FLAG_VISIBLE);
  EXPECT_EQ(log->Rows()[1].flags, 1 | ROW_FLAG_RAW | ROW_FLAG_DELETED | ROW_FLAG_VISIBLE);
  EXPECT_EQ(log->Rows()[2].flags, ROW_FLAG_CORRUPTED | ROW_FLAG_VISIBLE);
}

TEST_F(LogRows, TimeZoneOffsetShiftsTheTimeColumn) {
  WriteThree();
  auto log = OpenEvents(path_);
  LoadAll(*log);
  platform::set_process_utc_offset(2);
  std::u16string text;
  ASSERT_TRUE(log->GetCellText(2, 0, text));
  platform::set_process_utc_offset(0);
  EXPECT_EQ(text, u"2026-12-08 12:00:00");
}

TEST_F(LogRows, AbortDuringALoadReturnsWithinOneRecordKeepingRows) {
  std::vector<EventRecord> records(50, EventRecord{{{0x10000000, u"x"}}, Ft(2026, 1, 1, 0, 0, 0)});
  WriteEventLog(path_, records);
  auto log = OpenEvents(path_);
  int calls = 0;
  log->SetProgressObserver([&](double p) {
    if (p > 0 && ++calls == 3) log->SetAbort(true);
  });
  Rows rows;
  log->LoadRecords(rows, 0, -1);
  EXPECT_EQ(rows.size(), 3u) << "stops before the fourth record";
  EXPECT_LT(log->GetProgress(), 100.0);
  log->SetAbort(false);
  log->LoadRecords(rows, 45, 10);
  EXPECT_EQ(rows.size(), 5u) << "a count past the end loads what is there";
  EXPECT_EQ(rows.front().record, 45);
  log->LoadRecords(rows, 50, 10);
  EXPECT_TRUE(rows.empty());
}

TEST_F(LogRows, TextFilterDecodesRowsWhileLoadingAndOnReevaluation) {
  WriteEventLog(path_, {{{{0x10000000, u"The log."}}, Ft(2026, 1, 1, 0, 0, 0)},
                        {{{0x10000000, u"catalog"}}, Ft(2026, 1, 1, 0, 0, 1)},
                        {{{0x10000000, u"LOG"}}, Ft(2026, 1, 1, 0, 0, 2)},
                        {{{0x10000000, u"ÉTÉ"}}, Ft(2026, 1, 1, 0, 0, 3)}});
  struct Case {
    std::u16string text;
    std::uint32_t options, columns;
    int visible;
  };
  const Case cases[] = {
      {u"log", 0, 0x7FFFFFFF, 3},
      {u"log", FILTER_OPT_WORDS, 0x7FFFFFFF, 2},
      {u"LOG", FILTER_OPT_CASE, 0x7FFFFFFF, 1},
      {u"été", 0, 0x7FFFFFFF, 0},  // only ASCII letters are folded
      {u"log", 0, 0x1, 0},         // the time column alone
      {u"2026-01-01 00:00:02", 0, 0x1, 1},
      {u"log", 0, 0, 4},           // no column: no text test
  };
  for (const Case& c : cases) {
    auto log = OpenEvents(path_);
    CLogFilterData f = ShowAll();
    f.m_strText = c.text;
    f.m_nOptions = c.options;
    f.m_nColumnMask = c.columns;
    log->SetFilter(f);  // with a text criterion the caller re-reads the rows
    LoadAll(*log);
    EXPECT_EQ(log->GetVisibleCount(), c.visible) << "loading, case " << &c - cases;
    log->RebuildVisible(true);
    EXPECT_EQ(log->GetVisibleCount(), c.visible) << "re-evaluating, case " << &c - cases;
  }
}

TEST_F(LogRows, FindRecordThroughTheLogWrapsBothWaysAndCancels) {
  std::vector<EventRecord> records;
  for (int i = 0; i < 6; ++i)
    records.push_back({{{0x10000000, i % 3 == 0 ? u"hit" : u"miss"}}, Ft(2026, 1, 1, 0, i, 0)});
  WriteEventLog(path_, records);
  auto log = OpenEvents(path_, LOG_VIEW_RECORD);  // positions in file order: hits at 0 and 3
  LoadAll(*log);
  CLogFilterData find = ShowAll();
  find.m_strText = u"HIT";  // lower-cased by the search's own copy
  struct Case {
    int start;
    bool up;
    int found;
  };
  const Case cases[] = {{-1, false, 0}, {0, false, 3}, {3, false, 0}, {5, false, 0},
                        {-1, true, 3},  {0, true, 3},  {3, true, 0},  {2, true, 0}};
  for (const Case& c : cases)
    EXPECT_EQ(log->FindRecord(find, c.start, c.up), c.found) << c.start << " up " << c.up;
  EXPECT_EQ(find.m_strText, u"HIT") << "the caller's criteria stay as they were";
  find.m_strText = u"none";
  EXPECT_EQ(log->FindRecord(find, -1, false), -1);
  int pumps = 0;
  log->SetFindPump([&] {
    ++pumps;
    log->CancelFind();
  });
  find.m_strText = u"hit";
  EXPECT_EQ(log->FindRecord(find, -1, false), -1) << "stopped before row 0";
  EXPECT_EQ(pumps, 1);
  log->SetFindPump(nullptr);
  EXPECT_EQ(log->FindRecord(find, -1, false), 0) << "a new search clears the stop";
}

TEST_F(LogRows, OpenFailsForMissingFileAndSecondOpenAndCloseEmptiesAll) {
  WriteThree();
  CLog log(&*second_, &*first_);
  EXPECT_FALSE(log.Open(dir_.Path("missing.dat"), 0, kEventsType, kSecondInterface, "warnlog"));
  EXPECT_FALSE(log.IsOpen());
  ASSERT_TRUE(log.Open(path_, 7, kEventsType, kSecondInterface, "warnlog"));
  EXPECT_FALSE(log.Open(path_, 7, kEventsType, kSecondInterface, "warnlog")) << "close first";
  LoadAll(log);
  EXPECT_EQ(log.GetSettingsKey(), "warnlog");
  EXPECT_EQ(log.GetDisplayPath(false), path_);
  EXPECT_FALSE(log.HasChanged());
  log.Close();
  EXPECT_EQ(log.GetColumnCount(), 0);
  EXPECT_EQ(log.GetVisibleCount(), 0);
  EXPECT_EQ(log.GetTotalCount(), 0);
  EXPECT_EQ(log.GetSettingsKey(), "");
  EXPECT_EQ(log.GetRow(0), nullptr);
}

TEST_F(LogRows, FixedRecordShowsThatRecordsRowsOnly) {
  WriteEventLog(path_, {{{{0x10000000, u"A"}}, Ft(2026, 1, 1, 0, 0, 0)},
                        {{{0x10000000, u"B"}, {0x40000000, u"C"}}, Ft(2026, 1, 1, 0, 0, 1)}});
  auto log = OpenEvents(path_, LOG_VIEW_RECORD);
  log->SetFixedRecord(1);
  log->GetCache().Lock().lock();
  log->GetCache().Clear();
  log->GetCache().Lock().unlock();
  log->LoadFixedRecord(log->Rows(), 1);
  log->RebuildVisible(true);
  ASSERT_EQ(log->GetVisibleCount(), 2);
  std::u16string text;
  ASSERT_TRUE(log->GetCellText(1, 0, text));
  EXPECT_EQ(text, u"C");
  EXPECT_EQ(log->Rows()[1].auxiliary, 0u);
}

}  // namespace
}  // namespace korv::test
