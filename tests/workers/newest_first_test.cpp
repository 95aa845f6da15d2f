// Loading newest first, checked by the load oracle after every hand-over: what the log shows
// is, at every step, the newest records of a plain load of the file (or rows marked
// provisional), and once the updater is done exactly the plain load, whatever the tail of the
// file holds; every Apply says truly what it did to the rows.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <tuple>
#include <cstring>
#include <fstream>
#include <thread>

#include "logmodel/log_updater_thread.h"
#include "logmodel/severity.h"
#include "standin/logfile.h"
#include "test_support/load_oracle.h"
#include "test_support/log_bytes.h"
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

// A newest record of `size` bytes whose payload ends with `forged` records chained up to the
// data end, numbered as the newest records would be. With its header before the megabyte
// the tail scan reads, the scan can only take the forged records for the newest ones.
void ForgedChainInABigNewestRecord(const std::string& path, int forged, std::uint32_t size) {
  const auto before = Locations(path);
  ASSERT_FALSE(before.empty());
  const std::uint32_t newest = before.back().header.record_number + 1;  // the big record's number
  std::vector<std::vector<unsigned char>> tails;
  std::size_t tailBytes = 0;
  for (int i = 0; i < forged; ++i) {
    const std::vector<std::uint8_t> payload = EventPayload(0x40000000, u"forged");
    std::vector<unsigned char> rec(36 + payload.size());
    _DISKLOG_RECORD_HEADER h;
    h.magic = kDiskLogRecordMagic;
    h.record_size = std::uint32_t(rec.size());
    h.payload_offset = 36;
    h.record_type = kEventsRecord;
    h.record_number = newest - std::uint32_t(forged - 1 - i);
    h.record_time = 134000000000000000ull + std::uint64_t(i) * 10000000ull;
    encode_record_header(h, rec.data());
    std::memcpy(rec.data() + 36, payload.data(), payload.size());
    tailBytes += rec.size();
    tails.push_back(std::move(rec));
  }
  LogRecord big;
  big.time = 133900000000000000ull;
  big.payload.assign(size - 36 - tailBytes, 0);
  for (const auto& t : tails) big.payload.insert(big.payload.end(), t.begin(), t.end());
  AppendRecords(path, {big}, false);
}
void ForgedOneBehindTheScannedMegabyte(const std::string& path) {
  ForgedChainInABigNewestRecord(path, 1, (1u << 20) + 64);
}
void ForgedThreeInANewestRecordOverAMegabyte(const std::string& path) {
  ForgedChainInABigNewestRecord(path, 3, (3u << 20) / 2);
}
// The page differs from the walk's records and the header's rewrite time is 0.
void ForgedWithRewriteTimeZero(const std::string& path) {
  ForgedOneBehindTheScannedMegabyte(path);
  PatchLogHeader(path, [](_DISKLOG_HEADER& h) { h.rewrite_time = 0; });
}

class NewestFirstTest : public WorkerFixture {
 protected:
  std::unique_ptr<CLog> OpenLater(const std::string& path) {
    path_ = path;
    auto log = NewLog();
    log->SetViewMode(LOG_VIEW_LIST);
    log->SetIndexLater(true, 0);
    EXPECT_TRUE(log->Open(path, 7, kEventsType, kSecondInterface, "warnlog")) << path;
    log->SetFilter(ShowAll());
    return log;
  }
  void Attach(CLog& log, std::chrono::milliseconds grace = std::chrono::milliseconds(0)) {
    follower_.emplace(log);
    // The phase at each post, on the worker (it alone changes it): hand-overs may be applied
    // together, so the applies alone do not tell whether a page came first.
    if (!sink_.onPost) {
      sink_.onPost = [this, &log] {
        phases_.push_back(log.LoadState().GetPhase());
        return 0.0;
      };
    }
    updater_.SetPageGrace(grace);
    updater_.SetWindow(&sink_);
    updater_.SetLog(&log);
    ASSERT_TRUE(updater_.Start());
  }
  ::testing::AssertionResult Oracle(CLog& log, LoadScope scope) {
    return MatchesFreshLoad(log, OpenEventsLog(path_), scope);
  }
  // Applies what is pending as the window does, then asks the oracle.
  void ApplyAndCheck(CLog& log) {
    const LogApplyResult change = updater_.ApplyResults();
    EXPECT_TRUE(follower_->Follow(change));
    if (!change.applied || !checkEachApply_) return;
    ++applies_;
    EXPECT_TRUE(Oracle(log, LoadScope::kNewestRecords)) << "after hand-over " << applies_;
  }
  // One pass, every hand-over applied and checked as it comes; true when it handed any over.
  bool Pass(CLog& log) {
    sink_.Take();
    updater_.RequestUpdate();
    bool results = false;
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    for (bool ended = false; !ended;) {
      const std::vector<Posted> posted = sink_.Take();
      if (posted.empty()) {
        if (std::chrono::steady_clock::now() > deadline) {
          ADD_FAILURE() << "the pass never ended";
          return results;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        continue;
      }
      for (const Posted& p : posted) {
        if (p.lParam == LOG_NOTIFY_RESULTS) {
          results = true;
          ApplyAndCheck(log);
        }
        ended |= p.lParam == LOG_NOTIFY_PASS_END;
      }
    }
    return results;
  }
  // Passes until one hands nothing over and the log asks for none; then the whole file.
  void RunUntilQuiet(CLog& log) {
    for (int pass = 0; pass < 50; ++pass) {
      if (!Pass(log) && !log.HasChanged()) {
        EXPECT_TRUE(Oracle(log, LoadScope::kWhole));
        EXPECT_EQ(log.LoadState().GetPhase(), CLogLoadState::Phase::kAppending);
        return;
      }
    }
    FAIL() << "the updater never settled";
  }
  // A pause as for a filter, zone or language change: pending rows applied, the filter set.
  void PauseForAFilter(CLog& log, const CLogFilterData& filter) {
    updater_.Pause();
    ApplyAndCheck(log);
    log.SetFilter(filter);
    updater_.ReevaluatePending();
    follower_.emplace(log);
  }

  std::string path_;
  std::optional<ApplyFollower> follower_;
  int applies_ = 0;
  bool checkEachApply_ = true;  // a file no plain open can load has nothing to compare with
  std::vector<CLogLoadState::Phase> phases_;
  QueueSink sink_;
  CLogUpdaterThread updater_;  // declared last: stopped before the sink goes
};

struct LoadCase {
  const char* name;
  int records;
  std::function<void(const std::string&)> damage;
  bool pageFirst;  // with no grace, the first hand-over is the provisional newest page
};

// Each case with the page shown before the walk (no grace) and as a window loads (the page
// only when the walk takes longer than the grace).
class NewestFirstCases : public NewestFirstTest,
                         public ::testing::WithParamInterface<std::tuple<LoadCase, bool>> {};

TEST_P(NewestFirstCases, EveryHandOverIsTheNewestRecordsAndTheEndIsThePlainLoad) {
  const LoadCase& c = std::get<0>(GetParam());
  const bool windowGrace = std::get<1>(GetParam());
  const std::string path = dir_.Path("events.dat");
  AppendRecords(path, MixedRecords(0, c.records), true);
  if (c.damage) c.damage(path);
  CLog* log = Keep(OpenLater(path));
  Attach(*log, windowGrace ? CLogUpdaterThread::kPageGrace : std::chrono::milliseconds(0));
  RunUntilQuiet(*log);
  ASSERT_FALSE(phases_.empty());
  if (!windowGrace) EXPECT_EQ(phases_.front() == CLogLoadState::Phase::kProvisionalPage, c.pageFirst);
}

INSTANTIATE_TEST_SUITE_P(
    Logs, NewestFirstCases,
    ::testing::Combine(
        ::testing::Values(LoadCase{"Small", 12, nullptr, true},
                          LoadCase{"SeveralFillSteps", 45000, nullptr, true},
                          LoadCase{"ForgedHeaderInTheNewestRecord", 3001, ForgeInNewestPayload, false},
                          LoadCase{"ForgedBehindTheScannedMegabyte", 3000, ForgedOneBehindTheScannedMegabyte, true},
                          LoadCase{"ForgedChainInANewestRecordOverAMegabyte", 3000,
                                   ForgedThreeInANewestRecordOverAMegabyte, true},
                          LoadCase{"RefusedPageWithRewriteTimeZero", 3000, ForgedWithRewriteTimeZero, true},
                          // The numbers after a repaired gap are not index positions: no page.
                          LoadCase{"RepairedGapThenAppends", 3000, RepairedGapThenAppends, false}),
        ::testing::Bool()),
    [](const ::testing::TestParamInfo<std::tuple<LoadCase, bool>>& info) {
      return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "WithGrace" : "PageFirst");
    });

TEST_F(NewestFirstTest, AWriterAppendingBetweenPassesIsFollowedExactly) {
  const std::string path = dir_.Path("events.dat");
  AppendRecords(path, MixedRecords(0, 30000), true);
  CLog* log = Keep(OpenLater(path));
  Attach(*log);
  for (int batch = 0; batch < 6; ++batch) {
    Pass(*log);
    if (!log->RowsProvisional() && !log->LoadState().FillPending())
      EXPECT_TRUE(Oracle(*log, LoadScope::kWhole)) << "after batch " << batch;
    AppendRecords(path, MixedRecords(30000 + batch * 25, 25), false);
  }
  RunUntilQuiet(*log);
}

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
  // Passes while the writer runs, each applied as the window would; the file moves under
  // them, so only what each Apply said is checked until the writer is done.
  while (writing) {
    sink_.Take();
    updater_.RequestUpdate();
    ASSERT_TRUE(sink_.WaitFor(LOG_NOTIFY_PASS_END, 1));
    EXPECT_TRUE(follower_->Follow(updater_.ApplyResults()));
  }
  writer.join();
  RunUntilQuiet(*log);
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
  CLogFilterData onlyWarnings = ShowAll();
  onlyWarnings.m_nTypeMask = FILTER_TYPE_WARNING | FILTER_SHOW_DELETED;
  PauseForAFilter(*log, onlyWarnings);
  RunUntilQuiet(*log);
  EXPECT_GT(log->GetVisibleCount(), 0);
  EXPECT_LT(log->GetVisibleCount(), int(log->Rows().size()));
}

// Older rows the window has not applied yet, as while it is busy: the newest rows are applied,
// then `older` hand-overs of older rows are left waiting. The first is joined to the log's rows
// on the worker (nothing else waited), later ones wait in front of it. Each post carries the
// first record the rows then cover. OpenAndLeave answers whether the pass's end came among
// the posts it took.

class OlderRowsWaitingTest : public NewestFirstTest {
 protected:
  static constexpr int kRecords = 45000;
  bool OpenAndLeave(std::size_t older) {
    const std::string path = dir_.Path("events.dat");
    AppendRecords(path, MixedRecords(0, kRecords), true);
    log_ = Keep(OpenLater(path));
    sink_.onPost = [this] { return double(log_->LoadState().First()); };
    Attach(*log_, CLogUpdaterThread::kPageGrace);
    sink_.Take();
    updater_.RequestUpdate();
    bool ended = false;
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    for (std::size_t waiting = 0; waiting < older && std::chrono::steady_clock::now() < deadline;) {
      for (const Posted& p : sink_.Take()) {
        ended |= p.lParam == LOG_NOTIFY_PASS_END;
        if (p.lParam != LOG_NOTIFY_RESULTS) continue;
        if (std::int32_t(p.progress) == kRecords - 256) ApplyAndCheck(*log_);  // the newest rows
        else ++waiting;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return ended;
  }
  CLog* log_ = nullptr;
};

TEST_F(OlderRowsWaitingTest, SeveralHandOversWaitingGoInFrontInRecordOrder) {
  ASSERT_TRUE(OpenAndLeave(2) || sink_.WaitFor(LOG_NOTIFY_PASS_END, 1));
  ApplyAndCheck(*log_);
  EXPECT_EQ(log_->Rows().front().record, 0);
  RunUntilQuiet(*log_);
}

TEST_F(OlderRowsWaitingTest, AFilterSetWhileOlderRowsWaitAppliesToThemAndTheRows) {
  OpenAndLeave(1);
  updater_.Pause();
  CLogFilterData onlyWarnings = ShowAll();
  onlyWarnings.m_nTypeMask = FILTER_TYPE_WARNING | FILTER_SHOW_DELETED;
  log_->SetFilter(onlyWarnings);
  updater_.ReevaluatePending();
  follower_.emplace(*log_);
  // The rows joined on the worker carry the bits of the old filter: they must not come back.
  ApplyAndCheck(*log_);
  EXPECT_LT(log_->Rows().front().record, kRecords - 256);
  RunUntilQuiet(*log_);
}

TEST_F(NewestFirstTest, ARewriteWithAnEarlierTimeAfterAPauseReloadsAndFills) {
  const std::string path = dir_.Path("events.dat");
  AppendRecords(path, MixedRecords(0, 45000), true);
  CLog* log = Keep(OpenLater(path));
  Attach(*log);
  sink_.Take();
  updater_.RequestUpdate();
  ASSERT_TRUE(sink_.WaitFor(LOG_NOTIFY_RESULTS, 2));
  PauseForAFilter(*log, ShowAll());
  // A record deleted in place while the clock was set back: the rewrite time goes down.
  std::uint64_t rewrite = 0;
  PatchLogHeader(path, [&](_DISKLOG_HEADER& h) { rewrite = h.rewrite_time; });
  MarkDeleted(path, 44990);
  PatchLogHeader(path, [&](_DISKLOG_HEADER& h) { h.rewrite_time = rewrite - 10000000ull; });
  RunUntilQuiet(*log);
  bool deletedShown = false;
  for (const REC_INFO_BASE& row : log->Rows())
    if (row.record == 44990) deletedShown = (row.flags & ROW_FLAG_DELETED) != 0;
  EXPECT_TRUE(deletedShown);
}

TEST_F(NewestFirstTest, ARecordThatCannotBeReadLeavesNoHoleBehindTheRows) {
  const std::string path = dir_.Path("events.dat");
  AppendRecords(path, MixedRecords(0, 45000), true);
  const auto records = Locations(path);
  const std::size_t bad = 45000 - 256 - 5000;  // inside the first step behind the page
  const Bytes original = ReadFile(path);
  // The intact file, for the oracle: the damaged one no plain open can load.
  const std::string intact = dir_.Path("intact.dat");
  WriteFile(intact, original);
  CLog* log = Keep(OpenLater(path));
  // At the page's confirmation (the second hand-over), before the fill reads: the record's
  // magic goes, as if the disk failed to read it.
  int posts = 0;
  sink_.onPost = [&] {
    if (++posts == 2) {
      Bytes broken = original;
      broken[records[bad].offset] ^= 0xFF;
      WriteFile(path, broken);
    }
    return 0.0;
  };
  Attach(*log);
  sink_.Take();
  updater_.RequestUpdate();
  ASSERT_TRUE(sink_.WaitFor(LOG_NOTIFY_PASS_END, 1));
  EXPECT_TRUE(follower_->Follow(updater_.ApplyResults()));
  // Whatever the fill could read behind the page joined it as one run of records up to it:
  // none of those between the unreadable record and the rows was skipped.
  ASSERT_FALSE(log->Rows().empty());
  EXPECT_GT(log->Rows().front().record, std::int32_t(bad));
  EXPECT_TRUE(MatchesFreshLoad(*log, OpenEventsLog(intact), LoadScope::kNewestRecords));
  // The fill is not done: the window's poll asks for the pass that goes on with it.
  EXPECT_TRUE(log->LoadState().FillPending());
  EXPECT_TRUE(log->HasChanged());
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
  checkEachApply_ = false;
  Attach(*log);
  Pass(*log);
  Pass(*log);
  EXPECT_TRUE(log->IsChainBroken());
  EXPECT_TRUE(log->Rows().empty());
  EXPECT_EQ(log->GetVisibleCount(), 0);
  EXPECT_FALSE(log->RowsProvisional());
}

// Find and a text filter over the provisional page read the page's records, on lanes too,
// and leave the walk to the updater: the index is not built on the window's thread.
TEST_F(NewestFirstTest, FindOnLanesOverTheProvisionalPageReadsThePageWithoutTheIndex) {
  const std::string path = dir_.Path("events.dat");
  AppendRecords(path, MixedRecords(0, 3000), true);
  ForgedOneBehindTheScannedMegabyte(path);
  CLog* log = Keep(OpenLater(path));
  DiskLogFile* file = log->GetFile();
  ASSERT_TRUE(DiskLogIndexPending(file));
  const auto page = DiskLogScanTail(file, 256);
  ASSERT_FALSE(page.empty());
  log->SetTailPage(std::int32_t(page.front().header.record_number), page);
  std::vector<REC_INFO_BASE> rows;
  log->LoadTailPage(rows);
  ASSERT_FALSE(rows.empty());
  log->Rows() = rows;
  log->SetRowsProvisional(true);
  log->RebuildVisible(false);

  const char* saved = std::getenv("KORV_DECODE_THREADS");
  const std::string restore = saved ? saved : "";
  setenv("KORV_DECODE_THREADS", "2", 1);
  CLogFilterData find = ShowAll();
  find.m_nColumnMask = 0xFFFF;
  find.m_strText = u"forged";
  const int found = log->FindRecord(find, -1, false);
  log->SetFilter(find);
  log->RebuildVisible(true);  // a text filter re-evaluates the rows on lanes
  if (saved)
    setenv("KORV_DECODE_THREADS", restore.c_str(), 1);
  else
    unsetenv("KORV_DECODE_THREADS");
  EXPECT_EQ(found, 0);
  EXPECT_EQ(log->GetVisibleCount(), int(rows.size()));
  EXPECT_TRUE(DiskLogIndexPending(file));
}

}  // namespace
}  // namespace korv::test
