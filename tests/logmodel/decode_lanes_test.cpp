// Decoding lanes: every lane count gives the rows, order, counters, progress, finds and
// export bytes of one lane, over logs with deleted, corrupted, multi-row and undecodable
// records whose counts do not divide into the lanes' blocks; the ordered pass itself; and
// the in-place text test against the texts the list shows.
#include <gtest/gtest.h>

#include <sched.h>
#include <stdexcept>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <optional>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "block_builder.h"
#include "decode_lanes.h"
#include "log_test_support.h"
#include "logmodel/export_writer.h"
#include "logmodel/filter_match.h"
#include "log_internal.h"
#include "logmodel/record_time.h"
#include "logmodel/severity.h"
#include "row_texts.h"

namespace korv::test {
namespace {

// Sets KORV_DECODE_THREADS for its lifetime, then puts back what was there.
class LaneSetting {
 public:
  // Null: the setting unset.
  explicit LaneSetting(const char* value) {
    if (const char* old = std::getenv("KORV_DECODE_THREADS")) old_ = old;
    if (value != nullptr)
      ::setenv("KORV_DECODE_THREADS", value, 1);
    else
      ::unsetenv("KORV_DECODE_THREADS");
  }
  ~LaneSetting() {
    if (old_)
      ::setenv("KORV_DECODE_THREADS", old_->c_str(), 1);
    else
      ::unsetenv("KORV_DECODE_THREADS");
  }
  LaneSetting(const LaneSetting&) = delete;
  LaneSetting& operator=(const LaneSetting&) = delete;

 private:
  std::optional<std::string> old_;
};

bool SameRow(const REC_INFO_BASE& a, const REC_INFO_BASE& b) {
  return a.record == b.record && a.row == b.row && a.auxiliary == b.auxiliary && a.level == b.level &&
         a.flags == b.flags && a.time == b.time;
}

// Rows compared field by field; the first difference is reported.
void ExpectSameRows(const std::vector<REC_INFO_BASE>& got, const std::vector<REC_INFO_BASE>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i)
    ASSERT_TRUE(SameRow(got[i], want[i])) << "row " << i << ": record " << got[i].record << " row "
                                          << got[i].row << " flags " << std::hex << got[i].flags
                                          << " against record " << std::dec << want[i].record << " row "
                                          << want[i].row << " flags " << std::hex << want[i].flags;
}

CLogFilterData Criteria(std::uint32_t types, std::u16string text = {}, std::uint32_t options = 0,
                        std::uint32_t columns = 0x7FFFFFFF) {
  CLogFilterData f(0);
  f.m_nTypeMask = types;
  f.m_strText = std::move(text);
  f.m_nOptions = options;
  f.m_nColumnMask = columns;
  return f;
}

struct NamedFilter {
  const char* name;
  CLogFilterData filter;
};

std::vector<NamedFilter> Filters() {
  return {
      {"none", Criteria(0x7FFFFFFF)},
      {"deleted hidden", Criteria(31)},
      {"text", Criteria(0x7FFFFFFF, u"needle")},
      {"text, whole words", Criteria(0x7FFFFFFF, u"needle", FILTER_OPT_WORDS)},
      {"text, case-sensitive", Criteria(0x7FFFFFFF, u"Needle", FILTER_OPT_CASE)},
      {"text, pattern", Criteria(0x7FFFFFFF, u"need(le|s)\\b", FILTER_OPT_REGEX)},
      {"text in the time column", Criteria(0x7FFFFFFF, u":07", 0, 0x1)},
      {"text in the user column", Criteria(0x7FFFFFFF, u"corp\\", 0, 0x8)},
      {"text and types", Criteria(FILTER_TYPE_CRITICAL | FILTER_TYPE_ERROR, u"proxy")},
  };
}

// Every 7th record deleted, every 11th corrupted (type 0), 1 to 4 rows a record, and every
// 13th record without rows, which does not decode.
std::vector<EventRecord> MixedRecords(std::uint32_t count) {
  const std::uint32_t levels[] = {0x00000005, 0x10000000, 0x40000002, 0x80000001, 0xA0000000};
  const std::u16string modules[] = {u"Kernel", u"Síť & \"proxy\"", u"Needle in a haystack",
                                    u"needle", u"needles", u"tab\there"};
  std::vector<EventRecord> records;
  for (std::uint32_t n = 0; n < count; ++n) {
    EventRecord r;
    r.time = Ft(2026, 3, 1 + int(n / 400 % 28), int(n / 20 % 24), int(n % 60), int(n % 3) * 7);
    r.deleted = n % 7 == 3;
    r.aux = n;
    if (n % 11 == 5) r.type = 0;
    const std::uint32_t rows = n % 13 == 9 ? 0 : 1 + (n * 7) % 4;
    for (std::uint32_t k = 0; k < rows; ++k)
      r.rows.push_back({levels[(n + k) % 5], modules[(n * 3 + k) % 6] + u" #" + std::u16string(1, char16_t(u'a' + k)),
                        1 + (n + k) % 3, k % 2 ? u"CORP\\admin" : u"SYSTEM"});
    records.push_back(std::move(r));
  }
  return records;
}

// What one call of the opened log gave: rows, progress, counters and the visible list.
struct Loaded {
  std::vector<REC_INFO_BASE> rows;
  std::vector<double> progress;
  std::vector<std::int32_t> visible;
  int deleted = 0, corrupted = 0;
};

class DecodeLanes : public ModuleFixture {
 protected:
  std::string Write(std::uint32_t count) {
    const std::string path = dir_.Path("mixed-" + std::to_string(count) + ".dat");
    WriteEventLog(path, MixedRecords(count));
    return path;
  }

  Loaded Load(const std::string& path, const CLogFilterData& filter, int view = LOG_VIEW_LIST) {
    auto log = OpenEvents(path, view);
    log->SetFilter(filter);
    Loaded out;
    log->SetProgressObserver([&](double p) { out.progress.push_back(p); });
    log->LoadRecords(log->Rows(), 0, -1);
    log->SetProgressObserver({});
    log->RebuildVisible(false);
    out.rows = log->Rows();
    out.visible = log->Visible();
    out.deleted = log->GetDeletedCount();
    out.corrupted = log->GetCorruptedCount();
    return out;
  }
};

// Counts around the lanes (1, 2, 3, 8) and around the 512-record blocks.
const std::uint32_t kCounts[] = {0, 1, 2, 3, 4, 7, 9, 511, 512, 513, 1031};
const char* const kLanes[] = {"2", "3", "8"};

TEST_F(DecodeLanes, LoadGivesOneLanesRowsProgressAndCounters) {
  for (const std::uint32_t count : kCounts) {
    const std::string path = Write(count);
    for (const NamedFilter& f : Filters()) {
      Loaded one;
      {
        LaneSetting single("1");
        one = Load(path, f.filter);
      }
      if (count > 100) EXPECT_GT(one.rows.size(), count) << "several rows a record";
      for (const char* lanes : kLanes) {
        SCOPED_TRACE(std::to_string(count) + " records, " + f.name + ", " + lanes + " lanes");
        LaneSetting setting(lanes);
        const Loaded many = Load(path, f.filter);
        ExpectSameRows(many.rows, one.rows);
        EXPECT_EQ(many.progress, one.progress);
        EXPECT_EQ(many.visible, one.visible);
        EXPECT_EQ(many.deleted, one.deleted);
        EXPECT_EQ(many.corrupted, one.corrupted);
      }
    }
  }
}

// The updater's calls: a range from a record, a count past the end, a batch of file order.
TEST_F(DecodeLanes, RangesGiveOneLanesRows) {
  const std::string path = Write(1031);
  struct Range {
    std::int32_t first, count;
  };
  const Range ranges[] = {{0, 1}, {0, 512}, {5, 513}, {511, 2}, {700, -1}, {1000, 100}, {1030, 1}, {1031, 5}};
  for (const Range& r : ranges) {
    std::vector<REC_INFO_BASE> want;
    {
      LaneSetting single("1");
      auto log = OpenEvents(path);
      log->SetFilter(Criteria(0x7FFFFFFF, u"needle"));
      log->LoadRecords(want, r.first, r.count);
    }
    for (const char* lanes : kLanes) {
      SCOPED_TRACE(std::to_string(r.first) + "+" + std::to_string(r.count) + ", " + lanes + " lanes");
      LaneSetting setting(lanes);
      auto log = OpenEvents(path);
      log->SetFilter(Criteria(0x7FFFFFFF, u"needle"));
      std::vector<REC_INFO_BASE> got{{1, 2, 3, 4, 5, 6}};  // replaced, not appended to
      log->LoadRecords(got, r.first, r.count);
      ExpectSameRows(got, want);
    }
  }
}

// A text re-filter over loaded rows re-decodes them: lanes give one lane's visible list, and
// the rows a load with that filter marks.
TEST_F(DecodeLanes, RefilterGivesOneLanesVisibleRows) {
  for (const std::uint32_t count : {0u, 3u, 513u, 1031u}) {
    const std::string path = Write(count);
    for (const NamedFilter& f : Filters()) {
      const Loaded loadedWithFilter = [&] {
        LaneSetting single("1");
        return Load(path, f.filter);
      }();
      for (const char* lanes : {"1", "2", "3", "8"}) {
        SCOPED_TRACE(std::to_string(count) + " records, " + f.name + ", " + lanes + " lanes");
        LaneSetting setting(lanes);
        auto log = OpenEvents(path);
        log->LoadRecords(log->Rows(), 0, -1);  // no filter yet: every row visible
        log->SetFilter(f.filter);              // a text filter leaves the re-evaluation to us
        log->RebuildVisible(true);
        ExpectSameRows(log->Rows(), loadedWithFilter.rows);
        EXPECT_EQ(log->Visible(), loadedWithFilter.visible);
        EXPECT_EQ(log->GetDeletedCount(), loadedWithFilter.deleted);
        EXPECT_EQ(log->GetCorruptedCount(), loadedWithFilter.corrupted);
      }
    }
  }
}

// Finds in both directions from several starts, with a wrap past either end, a text found in
// one row only and an absent one: every lane count answers one lane's position and runs the
// pump as often.
TEST_F(DecodeLanes, FindGivesOneLanesPositionAndPumps) {
  std::vector<EventRecord> records = MixedRecords(1031);
  records[40].rows = {{0x10000000, u"the only Unique one", 1, u"SYSTEM"}};
  records[40].type = kEventsRecord;
  records[40].deleted = false;
  const std::string path = dir_.Path("find.dat");
  WriteEventLog(path, records);
  struct Case {
    const char* name;
    CLogFilterData criteria;
  };
  const Case cases[] = {
      {"common text", Criteria(0x7FFFFFFF, u"needles")},
      {"one row (wraps from most starts)", Criteria(0x7FFFFFFF, u"unique")},
      {"absent", Criteria(0x7FFFFFFF, u"no such text")},
      {"types and text", Criteria(FILTER_TYPE_ERROR, u"proxy", FILTER_OPT_WORDS)},
  };
  auto log = OpenEvents(path);
  LoadAll(*log);
  const int count = log->GetVisibleCount();
  ASSERT_GT(count, 2000) << "blocks of 1000 rows on several lanes";
  const int starts[] = {-1, 0, 1, 999, 1000, count / 2, count - 2, count - 1};
  // Outlives every find below, the last one included: the pump counts into it.
  int pumps = 0;
  log->SetFindPump([&] { ++pumps; });
  for (const Case& c : cases) {
    for (const bool upwards : {false, true}) {
      for (const int start : starts) {
        pumps = 0;
        int want;
        {
          LaneSetting single("1");
          want = log->FindRecord(c.criteria, start, upwards);
        }
        const int wantPumps = pumps;
        for (const char* lanes : kLanes) {
          SCOPED_TRACE(std::string(c.name) + (upwards ? ", up" : ", down") + " from " + std::to_string(start) +
                       ", " + lanes + " lanes");
          LaneSetting setting(lanes);
          pumps = 0;
          EXPECT_EQ(log->FindRecord(c.criteria, start, upwards), want);
          EXPECT_EQ(pumps, wantPumps);
        }
      }
    }
  }
  // The one row found from anywhere, whichever way: a found position shows the text.
  LaneSetting setting("2");
  const int unique = log->FindRecord(Criteria(0x7FFFFFFF, u"unique"), count - 1, false);
  ASSERT_GE(unique, 0);
  std::vector<std::u16string> cells;
  ASSERT_TRUE(log->GetRowCells(unique, cells));
  EXPECT_NE(cells.at(1).find(u"Unique"), std::u16string::npos);
  log->SetFindPump({});
}

// The pump's Stop: a cancel from the pump ends the find with -1 after as many pumps as with
// one lane.
TEST_F(DecodeLanes, FindCancelledFromThePumpStopsAsOneLane) {
  const std::string path = Write(1031);
  auto log = OpenEvents(path);
  LoadAll(*log);
  for (const int cancelAt : {1, 2, 3}) {
    for (const char* lanes : {"1", "2", "8"}) {
      SCOPED_TRACE(std::string(lanes) + " lanes, cancel at pump " + std::to_string(cancelAt));
      LaneSetting setting(lanes);
      int pumps = 0;
      log->SetFindPump([&] {
        if (++pumps == cancelAt) log->CancelFind();
      });
      EXPECT_EQ(log->FindRecord(Criteria(0x7FFFFFFF, u"no such text"), -1, false), -1);
      EXPECT_EQ(pumps, cancelAt);
      EXPECT_TRUE(log->IsFindCancelled());
    }
  }
  log->SetFindPump({});
}

// An abort set from the progress observer ends the load before the next record, on lanes too.
TEST_F(DecodeLanes, AbortFromTheObserverStopsBeforeTheNextRecord) {
  const std::string path = Write(1031);
  for (const int abortAt : {1, 3, 512, 700}) {
    std::vector<std::size_t> sizes;
    for (const char* lanes : {"1", "2", "3", "8"}) {
      SCOPED_TRACE(std::string(lanes) + " lanes, abort at record " + std::to_string(abortAt));
      LaneSetting setting(lanes);
      auto log = OpenEvents(path);
      int calls = 0;
      log->SetProgressObserver([&](double p) {
        if (p > 0 && ++calls == abortAt) log->SetAbort(true);
      });
      std::vector<REC_INFO_BASE> rows;
      log->LoadRecords(rows, 0, -1);
      EXPECT_EQ(calls, abortAt);
      EXPECT_LT(log->GetProgress(), 100.0);
      ASSERT_FALSE(rows.empty());
      EXPECT_EQ(rows.back().record, abortAt - 1 - (abortAt - 1 > 0 && (abortAt - 1) % 13 == 9 ? 1 : 0));
      sizes.push_back(rows.size());
    }
    EXPECT_EQ(std::count(sizes.begin(), sizes.end(), sizes.front()), std::ptrdiff_t(sizes.size()));
  }
}

class StringSink : public ExportSink {
 public:
  bool Write(const char* data, std::size_t size) override {
    bytes.append(data, size);
    return true;
  }
  std::string bytes;
};

struct Exported {
  std::string xml, text;
  std::string xmlFormatted;  // the XML of the pass that formats rows on the lanes
  std::int64_t lost = 0;
  std::vector<double> progress;
  std::size_t visits = 0;
};

Exported ExportPass(CLog& log, std::size_t stopAfter = 0) {
  Exported o;
  std::vector<std::u16string> names;
  for (const HDR_INFO& column : log.GetHeader().m_columns) names.push_back(column.name);
  StringSink xml, text;
  XmlExportWriter xmlWriter(names, log.GetViewMode() == LOG_VIEW_LIST, xml);
  TextExportWriter textWriter(text);
  std::u16string date, time, line;
  o.lost = log.ExportPass(
      [&](const REC_INFO_BASE& row, const std::vector<std::u16string>* cells) {
        ++o.visits;
        if (cells == nullptr) {
          xmlWriter.Skip(), textWriter.Skip();
        } else {
          if (xmlWriter.TimeColumn() && !FormatRecordDateTime(row.time, date, time)) date.clear(), time.clear();
          xmlWriter.Row(*cells, date, time);
          line.clear();
          AppendEscapedRow(*cells, line);
          textWriter.Row(line);
        }
        return stopAfter == 0 || o.visits < stopAfter;
      },
      [&](double p) { o.progress.push_back(p); });
  xmlWriter.Finish();
  textWriter.Finish();
  o.xml = xml.bytes, o.text = text.bytes;

  StringSink formatted;
  XmlExportWriter formatWriter(names, log.GetViewMode() == LOG_VIEW_LIST, formatted);
  std::size_t writes = 0;
  log.ExportPassFormatted(
      [&](const REC_INFO_BASE& row, const std::vector<std::u16string>& cells, std::string& bytes) {
        std::u16string rowDate, rowTime;  // this lane's own
        if (formatWriter.TimeColumn() && !FormatRecordDateTime(row.time, rowDate, rowTime))
          rowDate.clear(), rowTime.clear();
        formatWriter.FormatRow(cells, rowDate, rowTime, bytes);
      },
      [&](const REC_INFO_BASE&, const std::string& bytes, bool texts) {
        ++writes;
        if (!texts)
          formatWriter.Skip();
        else
          formatWriter.RowBytes(bytes);
        return stopAfter == 0 || writes < stopAfter;
      },
      {});
  formatWriter.Finish();
  o.xmlFormatted = formatted.bytes;
  return o;
}

TEST_F(DecodeLanes, ExportPassWritesOneLanesBytes) {
  for (const std::uint32_t count : {0u, 1u, 7u, 513u, 1031u}) {
    const std::string path = Write(count);
    for (const int view : {LOG_VIEW_LIST, LOG_VIEW_RECORD}) {
      for (const NamedFilter& f : Filters()) {
        for (const std::size_t stopAfter : {std::size_t(0), std::size_t(5), std::size_t(600)}) {
          Exported want;
          {
            LaneSetting single("1");
            auto log = OpenEvents(path, view);
            log->SetFilter(f.filter);
            want = ExportPass(*log, stopAfter);
          }
          if (count > 100 && stopAfter == 0 && std::string(f.name) == "none") EXPECT_GT(want.visits, count);
          for (const char* lanes : kLanes) {
            SCOPED_TRACE(std::to_string(count) + " records, " + f.name + (view == LOG_VIEW_LIST ? ", newest first" : ", file order") +
                         ", stop after " + std::to_string(stopAfter) + ", " + lanes + " lanes");
            LaneSetting setting(lanes);
            auto log = OpenEvents(path, view);
            log->SetFilter(f.filter);
            const Exported got = ExportPass(*log, stopAfter);
            EXPECT_EQ(got.xml, want.xml);
            EXPECT_EQ(got.xmlFormatted, want.xml);
            EXPECT_EQ(got.text, want.text);
            EXPECT_EQ(got.lost, want.lost);
            EXPECT_EQ(got.visits, want.visits);
            EXPECT_EQ(got.progress, want.progress);
          }
        }
      }
    }
  }
}

// --- the ordered pass and the lane count ---------------------------------------------------

TEST(DecodeLaneCount, FromTheSettingOrTheCoresOrOneForAShortPass) {
  cpu_set_t set;
  CPU_ZERO(&set);
  ASSERT_EQ(sched_getaffinity(0, sizeof set, &set), 0);
  const int byCores = std::min(CPU_COUNT(&set), 8);
  struct Case {
    const char* value;
    int lanes;       // for a long pass
    int shortLanes;  // for a pass below kLanePassMinimum
  };
  const Case cases[] = {{"1", 1, 1}, {"2", 2, 2}, {"3", 3, 3}, {"8", 8, 8}, {"9", 8, 8}, {"64", 8, 8},
                        {"0", byCores, 1}, {"-2", byCores, 1}, {"", byCores, 1}, {"two", byCores, 1},
                        {"2x", byCores, 1}, {nullptr, byCores, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("KORV_DECODE_THREADS=") + (c.value ? c.value : "(unset)"));
    LaneSetting setting(c.value);
    EXPECT_EQ(korv::DecodeLaneCount(), c.lanes);
    EXPECT_EQ(korv::DecodeLaneCount(korv::kLanePassMinimum), c.lanes);
    EXPECT_EQ(korv::DecodeLaneCount(korv::kLanePassMinimum - 1), c.shortLanes);
    EXPECT_EQ(korv::DecodeLaneCount(0), c.shortLanes);
  }
}

// A step that throws, on a lane or on the calling thread, ends the pass with the failure said:
// nothing unwinds out of a lane, the lanes are joined (the test would hang otherwise), and no
// block after the failing one is consumed.
TEST(OrderedPass, AThrowingStepEndsThePassWithItsFailure) {
  enum Step { kRead, kWork, kConsume };
  struct Case {
    int lanes;
    std::size_t blocks;
    Step step;
    std::size_t at;  // the block whose step throws
  };
  const Case cases[] = {
      {1, 10, kRead, 3}, {1, 10, kWork, 0}, {1, 10, kConsume, 9},
      {2, 50, kRead, 7}, {2, 50, kWork, 20}, {2, 50, kConsume, 0}, {2, 50, kConsume, 49},
      {4, 200, kRead, 0}, {4, 200, kWork, 199}, {4, 200, kConsume, 100}, {8, 64, kWork, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.lanes) + " lanes, step " + std::to_string(int(c.step)) + " throws at block " +
                 std::to_string(c.at));
    std::vector<std::size_t> consumed;
    OrderedPass pass;
    auto maybeThrow = [&](Step step, std::size_t k) {
      if (step == c.step && k == c.at) throw std::runtime_error("block " + std::to_string(k) + " failed");
    };
    pass.read = [&](int, std::size_t k, std::size_t) {
      maybeThrow(kRead, k);
      return true;
    };
    pass.work = [&](int, std::size_t k, std::size_t) { maybeThrow(kWork, k); };
    pass.consume = [&](std::size_t k, std::size_t) {
      maybeThrow(kConsume, k);
      consumed.push_back(k);
      return true;
    };
    const korv::PassResult result = RunOrderedPass(c.lanes, c.blocks, pass);
    EXPECT_FALSE(result.whole);
    EXPECT_EQ(result.failure, "block " + std::to_string(c.at) + " failed");
    ASSERT_LE(consumed.size(), c.at);
    for (std::size_t i = 0; i < consumed.size(); ++i) EXPECT_EQ(consumed[i], i);
    // On the calling thread alone, every block before the failing one is consumed.
    if (c.lanes == 1 || c.step == kConsume) EXPECT_EQ(consumed.size(), c.at);
  }
}

// Blocks are read in order, consumed in order, never share a slot while in flight, and a
// read or a consume answering false ends the pass where one lane would.
TEST(OrderedPass, ReadsAndConsumesInBlockOrderWithSlotsOfTheirOwn) {
  struct Case {
    int lanes;
    std::size_t blocks, readStopsAt, consumeStopsAt;  // ~0: never
    std::size_t consumed;                             // blocks consumed
  };
  const std::size_t never = ~std::size_t(0);
  const Case cases[] = {
      {1, 0, never, never, 0},  {1, 5, never, never, 5},  {2, 1, never, never, 1},
      {2, 37, never, never, 37}, {3, 38, never, never, 38}, {8, 100, never, never, 100},
      {2, 37, 10, never, 11},    {8, 100, 0, never, 1},      {3, 37, never, 20, 21},
      {8, 100, 50, 30, 31},      {1, 9, 4, never, 5},        {1, 9, never, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.lanes) + " lanes, " + std::to_string(c.blocks) + " blocks");
    const std::size_t slots = OrderedPassSlots(c.lanes);
    std::vector<std::atomic<long long>> owner(slots);
    for (auto& o : owner) o = -1;
    std::vector<std::size_t> value(slots);
    std::atomic<std::size_t> nextRead{0};
    std::atomic<int> misordered{0}, shared{0};
    std::vector<std::size_t> consumed;
    OrderedPass pass;
    pass.read = [&](int lane, std::size_t k, std::size_t slot) {
      if (lane < 0 || lane >= c.lanes || slot >= slots) ++misordered;
      if (nextRead.exchange(k + 1) != k) ++misordered;
      long long none = -1;
      if (!owner[slot].compare_exchange_strong(none, (long long)k)) ++shared;
      return k != c.readStopsAt;
    };
    pass.work = [&](int, std::size_t k, std::size_t slot) { value[slot] = k * 3 + 1; };
    pass.consume = [&](std::size_t k, std::size_t slot) {
      if (owner[slot].load() != (long long)k || value[slot] != k * 3 + 1) ++shared;
      owner[slot] = -1;
      consumed.push_back(k);
      return k != c.consumeStopsAt;
    };
    RunOrderedPass(c.lanes, c.blocks, pass);
    ASSERT_EQ(consumed.size(), c.consumed);
    for (std::size_t i = 0; i < consumed.size(); ++i) EXPECT_EQ(consumed[i], i);
    EXPECT_EQ(misordered.load(), 0);
    EXPECT_EQ(shared.load(), 0);
    // Nothing is read past a read that ended the pass, nor more than the slots ahead of a stop.
    std::size_t mostRead = c.blocks;
    if (c.readStopsAt != never) mostRead = std::min(mostRead, c.readStopsAt + 1);
    if (c.consumeStopsAt != never) mostRead = std::min(mostRead, c.consumeStopsAt + 1 + slots);
    EXPECT_LE(nextRead.load(), mostRead);
  }
}

// --- the in-place text test -------------------------------------------------------------

// A block whose row 0 has cell 1 at an odd byte offset, cell 2 pointing outside the block,
// and cell 3 without a NUL before the block's end.
std::vector<std::uint8_t> AwkwardBlock() {
  std::vector<std::uint8_t> b = BuildBlock({{0x10000000, {u"first", u"x", u"y", u"z"}}, {0x40000002, {u"Needle", u"Second"}}}, 4);
  const std::uint32_t rowAt = 16 + 4 * 2;
  b.push_back(0);  // now odd
  const std::u16string odd = u"odd Needle";
  const std::size_t at = b.size();
  b.resize(at + 2 * (odd.size() + 1), 0);
  std::memcpy(b.data() + at, odd.data(), 2 * odd.size());
  PutU32(b, rowAt + 4 + 4 * 1, std::uint32_t(at - rowAt));
  PutU32(b, rowAt + 4 + 4 * 2, 0x7FFFFFF0);
  const std::size_t tail = b.size();
  b.push_back('n'), b.push_back(0), b.push_back('o'), b.push_back(0);  // no NUL follows
  PutU32(b, rowAt + 4 + 4 * 3, std::uint32_t(tail - rowAt));
  PutU32(b, 0, std::uint32_t(b.size()));
  return b;
}

TEST(BlockRowMatcher, AnswersAsTheTextsTheListShows) {
  const std::vector<std::uint8_t> block = AwkwardBlock();
  const platform::FileTime time = Ft(2026, 5, 4, 3, 2, 1);
  struct Case {
    const char* name;
    CLogFilterData filter;
  };
  const Case cases[] = {
      {"odd offset, folded", Criteria(0x7FFFFFFF, u"needle")},
      {"odd offset, case", Criteria(0x7FFFFFFF, u"Needle", FILTER_OPT_CASE)},
      {"odd offset, words", Criteria(0x7FFFFFFF, u"needle", FILTER_OPT_WORDS)},
      {"pattern", Criteria(0x7FFFFFFF, u"^odd", FILTER_OPT_REGEX)},
      {"a cell outside the block", Criteria(0x7FFFFFFF, u"y")},
      {"a cell without its NUL", Criteria(0x7FFFFFFF, u"no")},
      {"first cell only", Criteria(0x7FFFFFFF, u"first", 0, 0x2)},
      {"first cell not selected", Criteria(0x7FFFFFFF, u"first", 0, 0x4)},
      {"time column", Criteria(0x7FFFFFFF, u"02:01", 0, 0x1)},
      {"time column not selected", Criteria(0x7FFFFFFF, u"02:01", 0, 0x6)},
      {"beyond the cells", Criteria(0x7FFFFFFF, u"first", 0, 0x7FFFFFC0)},
  };
  for (const int view : {LOG_VIEW_LIST, LOG_VIEW_RECORD}) {
    for (std::size_t columns : {std::size_t(0), std::size_t(3), std::size_t(5), std::size_t(40)}) {
      for (const Case& c : cases) {
        for (std::uint32_t row : {0u, 1u, 2u}) {
          SCOPED_TRACE(std::string(c.name) + ", view " + std::to_string(view) + ", " + std::to_string(columns) +
                       " columns, row " + std::to_string(row));
          CLogFilterData filter = c.filter;
          PrepareText(filter);
          std::vector<std::u16string> texts;
          MakeRowTexts(block, row, view, columns, time, texts);
          BlockRowMatcher matcher;
          EXPECT_EQ(matcher.Matches(filter, block, row, view, columns, time), MatchTexts(filter, texts));
        }
      }
    }
  }
  // The cases do test something: the odd cell is found, the missing ones are not.
  CLogFilterData needle = Criteria(0x7FFFFFFF, u"odd needle");
  PrepareText(needle);
  BlockRowMatcher matcher;
  EXPECT_TRUE(matcher.Matches(needle, block, 0, LOG_VIEW_RECORD, 4, time));
  CLogFilterData outside = Criteria(0x7FFFFFFF, u"y");
  PrepareText(outside);
  EXPECT_FALSE(matcher.Matches(outside, block, 0, LOG_VIEW_RECORD, 4, time));
}

// The time text kept per second: the next second, and a time before it, are formatted anew.
TEST(RecordTimeText, FollowsTheSecondAskedFor) {
  RecordTimeText cache;
  const platform::FileTime base = Ft(2026, 5, 4, 3, 2, 1);
  const platform::FileTime times[] = {base, base + 1, base + platform::kTicksPerSecond - 1,
                                      base + platform::kTicksPerSecond, base, base - 1,
                                      Ft(1999, 12, 31, 23, 59, 59), 0, ~platform::FileTime(0)};
  for (const platform::FileTime t : times) {
    SCOPED_TRACE(t);
    EXPECT_EQ(std::u16string(cache.Of(t)), FormatRecordTime(t));
  }
}

// A visit that throws (a full disk's writer, no memory) ends the pass with its failure, on one
// lane and on several: the process lives on and the caller is told.
TEST_F(DecodeLanes, AThrowingVisitEndsTheExportPassWithItsFailure) {
  const std::string path = Write(1031);
  for (const char* lanes : {"1", "2", "4"}) {
    SCOPED_TRACE(std::string(lanes) + " lanes");
    LaneSetting setting(lanes);
    auto log = OpenEvents(path, LOG_VIEW_LIST);
    std::size_t visits = 0;
    std::string failure;
    const std::int64_t lost = log->ExportPass(
        [&](const REC_INFO_BASE&, const std::vector<std::u16string>*) {
          if (++visits == 700) throw std::runtime_error("no room left");
          return true;
        },
        {}, &failure);
    EXPECT_EQ(lost, -2);
    EXPECT_EQ(failure, "no room left");
    EXPECT_EQ(visits, 700u) << "nothing visited after the failure";
    // The log is still usable: a whole pass afterwards visits every row.
    visits = 0;
    EXPECT_GE(log->ExportPass([&](const REC_INFO_BASE&, const std::vector<std::u16string>*) { return ++visits > 0; }, {}),
              0);
    EXPECT_GT(visits, 1031u);
  }
}

}  // namespace
}  // namespace korv::test
