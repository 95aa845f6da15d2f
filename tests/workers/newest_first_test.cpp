// Loading newest first: the first hand-over is the newest page, found without the index,
// and once the updater is done the rows, their order and the counters are exactly those of
// a plain load of the file as it is then, whatever the tail of the file holds.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <thread>

#include "logmodel/log_updater_thread.h"
#include "logmodel/severity.h"
#include "standin/logfile.h"
#include "workers_support.h"

namespace korv::test {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}
void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Record i: three rows when i % 3 == 0, deleted when i % 7 == 0, a type-0 record (shown as
// corrupted) when i % 11 == 5; times grow with i.
std::vector<LogRecord> MixedRecords(int first, int count) {
  std::vector<LogRecord> out;
  for (int i = first; i < first + count; ++i) {
    LogRecord r;
    r.time = 133000000000000000ull + std::uint64_t(i) * 10000000ull;
    r.aux = std::uint32_t(i * 3);
    r.flags = i % 7 == 0 ? kDiskLogRecordDeleted : 0;
    const std::u16string name = u"m" + std::u16string(1, char16_t(u'a' + i % 26));
    std::vector<EventRow> rows{EventRow{0x10000000, name}};
    if (i % 3 == 0) {
      rows.push_back(EventRow{0x20000000, name + u"2", 2});
      rows.push_back(EventRow{0x40000000, name + u"3", 3});
    }
    if (i % 11 == 5) {
      r.type = 0;
      r.payload.assign(8, 0);
    } else {
      r.payload = EventPayload(rows);
    }
    out.push_back(std::move(r));
  }
  return out;
}

// The offsets of the records of the log at path, in file order.
std::vector<standin::RecordLocation> Locations(const std::string& path) {
  standin::LogFileWriter w;
  std::vector<standin::RecordLocation> all;
  EXPECT_EQ(w.open(path), platform::FileError::ok);
  EXPECT_EQ(w.records(all), platform::FileError::ok);
  EXPECT_EQ(w.close(), platform::FileError::ok);
  return all;
}

// A record header written into the bytes of the newest record's payload whose size reaches
// exactly the data end and whose number is the newest: only the walk can tell it apart.
void ForgeInNewestPayload(const std::string& path) {
  const auto records = Locations(path);
  ASSERT_FALSE(records.empty());
  const auto& last = records.back();
  ASSERT_GE(last.header.record_size, 36u + 8u + 36u);
  const std::uint64_t at = last.offset + 36 + 8;
  _DISKLOG_RECORD_HEADER h = last.header;
  h.record_size = std::uint32_t(last.offset + last.header.record_size - at);
  h.payload_offset = 36;
  Bytes bytes = ReadFile(path);
  korv::encode_record_header(h, bytes.data() + at);
  WriteFile(path, bytes);
}

// Zeroes one record in the middle and mends the gap with a placeholder numbered after the
// newest record: the numbers of the records appended afterwards no longer give their index
// positions, so the newest page the tail scan finds is placed one record too far.
void RepairedGapThenAppends(const std::string& path) {
  const auto records = Locations(path);
  ASSERT_GT(records.size(), 10u);
  const auto& lost = records[records.size() / 2];
  Bytes bytes = ReadFile(path);
  std::memset(bytes.data() + lost.offset, 0, lost.header.record_size);
  WriteFile(path, bytes);
  DiskLogHandle file = DiskLogOpen(path, DISKLOG_OPEN_WRITE);
  ASSERT_NE(file, nullptr);
  ASSERT_TRUE(DiskLogRepair(file.get()));
  DiskLogClose(file);
  AppendRecords(path, MixedRecords(10000, 40), false);
}

struct Snapshot {
  bool provisional = false;
  std::int32_t first = -1;
  std::int32_t next = -1;
};

class NewestFirstTest : public WorkerFixture {
 protected:
  std::unique_ptr<CLog> OpenLater(const std::string& path) {
    auto log = NewLog();
    log->SetViewMode(LOG_VIEW_LIST);
    log->SetIndexLater(true, 0);
    EXPECT_TRUE(log->Open(path, 7, kEventsType, kSecondInterface, "warnlog")) << path;
    log->SetFilter(ShowAll());
    return log;
  }
  // The rows of a plain load of the file as it is now.
  void ExpectSameAsPlainLoad(const std::string& path, CLog& log) {
    auto plain = OpenEvents(path);
    LoadAll(*plain);
    ASSERT_EQ(log.Rows().size(), plain->Rows().size());
    for (std::size_t i = 0; i < plain->Rows().size(); ++i) {
      const REC_INFO_BASE& a = log.Rows()[i];
      const REC_INFO_BASE& b = plain->Rows()[i];
      ASSERT_TRUE(a.record == b.record && a.row == b.row && a.auxiliary == b.auxiliary && a.level == b.level &&
                  a.flags == b.flags && a.time == b.time)
          << "row " << i << ": record " << a.record << " vs " << b.record;
    }
    EXPECT_EQ(log.GetVisibleCount(), plain->GetVisibleCount());
    EXPECT_EQ(log.GetDeletedCount(), plain->GetDeletedCount());
    EXPECT_EQ(log.GetCorruptedCount(), plain->GetCorruptedCount());
    EXPECT_FALSE(log.RowsFromTail());
    // The newest cell reads the newest record of the file.
    std::u16string got, want;
    if (plain->GetVisibleCount() > 0) {
      EXPECT_TRUE(log.GetCellText(0, 2, got));
      EXPECT_TRUE(plain->GetCellText(0, 2, want));
      EXPECT_EQ(got, want);
    }
  }
  // Runs passes until one loads nothing more, applying every hand-over.
  void RunUntilQuiet(CLog& log) {
    for (int pass = 0; pass < 50; ++pass) {
      sink_.Take();
      updater_.RequestUpdate();
      ASSERT_TRUE(sink_.WaitFor(LOG_NOTIFY_PASS_END, 1));
      bool results = false;
      for (const Posted& p : sink_.Take()) results |= p.lParam == LOG_NOTIFY_RESULTS;
      if (results) updater_.Apply();
      if (!results && !log.HasChanged()) return;
    }
    FAIL() << "the updater never settled";
  }
  void Attach(CLog& log) {
    // At the first hand-over: what the worker said it handed (it alone writes that).
    sink_.onPost = [this, &log] {
      if (!first_.has_value()) {
        const CLog::UpdaterBookkeeping& saved = log.Bookkeeping();
        first_ = Snapshot{saved.provisional, saved.firstRecord, saved.nextRecord};
      }
      return 0.0;
    };
    updater_.SetWindow(&sink_);
    updater_.SetLog(&log);
    ASSERT_TRUE(updater_.Start());
  }

  std::optional<Snapshot> first_;
  QueueSink sink_;
  CLogUpdaterThread updater_;  // declared last: stopped before the sink goes
};

struct LoadCase {
  const char* name;
  int records;
  std::function<void(const std::string&)> damage;
  bool pageFirst;  // the first hand-over is the provisional newest page
};

class NewestFirstCases : public NewestFirstTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(NewestFirstCases, FirstTheNewestPageThenExactlyThePlainLoad) {
  const LoadCase& c = GetParam();
  const std::string path = dir_.Path("events.dat");
  AppendRecords(path, MixedRecords(0, c.records), true);
  if (c.damage) c.damage(path);
  CLog* log = Keep(OpenLater(path));
  Attach(*log);
  RunUntilQuiet(*log);
  ASSERT_TRUE(first_.has_value());
  EXPECT_EQ(first_->provisional, c.pageFirst);
  if (c.pageFirst) {
    // The page is the newest records, a few hundred at most, ending with the newest.
    const std::int32_t newest = std::int32_t(Locations(path).back().header.record_number);
    EXPECT_EQ(first_->next, newest + 1);
    EXPECT_GT(first_->first, newest - 300);
    EXPECT_LT(first_->first, first_->next);
  }
  ExpectSameAsPlainLoad(path, *log);
}

INSTANTIATE_TEST_SUITE_P(
    Logs, NewestFirstCases,
    ::testing::Values(LoadCase{"Small", 12, nullptr, true},
                      LoadCase{"SeveralFillSteps", 45000, nullptr, true},
                      LoadCase{"ForgedHeaderInTheNewestRecord", 3001, ForgeInNewestPayload, false},
                      LoadCase{"PageThatTheWalkMoves", 3000, RepairedGapThenAppends, true}),
    [](const ::testing::TestParamInfo<LoadCase>& info) { return info.param.name; });

TEST_F(NewestFirstTest, AWriterAppendingDuringTheLoadEndsWithTheRowsOfAFreshLoad) {
  const std::string path = dir_.Path("events.dat");
  AppendRecords(path, MixedRecords(0, 30000), true);
  CLog* log = Keep(OpenLater(path));
  Attach(*log);
  std::atomic<bool> writing{true};
  std::thread writer([&] {
    for (int batch = 0; batch < 40; ++batch) AppendRecords(path, MixedRecords(30000 + batch * 25, 25), false);
    writing = false;
  });
  // Passes while the writer runs, each applied as the window would.
  while (writing) {
    sink_.Take();
    updater_.RequestUpdate();
    ASSERT_TRUE(sink_.WaitFor(LOG_NOTIFY_PASS_END, 1));
    updater_.Apply();
  }
  writer.join();
  RunUntilQuiet(*log);
  ExpectSameAsPlainLoad(path, *log);
  EXPECT_EQ(log->Rows().back().record, 30000 + 40 * 25 - 1);
}

TEST_F(NewestFirstTest, AFilterSetDuringTheFillAppliesToEveryRow) {
  const std::string path = dir_.Path("events.dat");
  AppendRecords(path, MixedRecords(0, 45000), true);
  CLog* log = Keep(OpenLater(path));
  Attach(*log);
  sink_.Take();
  updater_.RequestUpdate();
  ASSERT_TRUE(sink_.WaitFor(LOG_NOTIFY_RESULTS, 1));
  // What the window does for a severity filter: pause, filter, re-evaluate, go on.
  updater_.Pause();
  updater_.Apply();
  CLogFilterData onlyErrors = ShowAll();
  onlyErrors.m_nTypeMask = FILTER_TYPE_WARNING | FILTER_SHOW_DELETED;
  log->SetFilter(onlyErrors);
  updater_.ReevaluatePending();
  RunUntilQuiet(*log);

  auto plain = OpenEvents(path);
  plain->SetFilter(onlyErrors);
  LoadAll(*plain);
  ASSERT_EQ(log->Rows().size(), plain->Rows().size());
  EXPECT_EQ(log->Visible(), plain->Visible());
  EXPECT_GT(log->GetVisibleCount(), 0);
  EXPECT_LT(log->GetVisibleCount(), int(log->Rows().size()));
}

TEST_F(NewestFirstTest, ABrokenChainIsReportedAndShowsNoRows) {
  const std::string path = dir_.Path("events.dat");
  AppendRecords(path, MixedRecords(0, 100), true);
  const auto records = Locations(path);
  Bytes bytes = ReadFile(path);
  bytes[records[40].offset] ^= 0xFF;  // a wrong magic in the middle of the chain
  WriteFile(path, bytes);
  EXPECT_EQ(DiskLogOpen(path, DISKLOG_OPEN_INDEX), nullptr) << "an ordinary open fails here";

  CLog* log = Keep(OpenLater(path));
  Attach(*log);
  RunUntilQuiet(*log);
  EXPECT_TRUE(log->IsChainBroken());
  EXPECT_TRUE(log->Rows().empty());
  EXPECT_EQ(log->GetVisibleCount(), 0);
}

}  // namespace
}  // namespace korv::test
