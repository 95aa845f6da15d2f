// The updater thread against real logs: incremental passes, reloads, batches with
// progress, the pause handshake, held-back results and merged requests.

#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "logmodel/log_updater_thread.h"
#include "logmodel/severity.h"
#include "standin/logfile.h"
#include "workers_support.h"

namespace korv::test {
namespace {

using namespace std::chrono_literals;

class UpdaterTest : public WorkerFixture {
 protected:
  // Attaches `log` the way the window does and starts the worker.
  void Attach(CLog& log) {
    updater_.SetWindow(&sink_);
    updater_.SetLog(&log);
    ASSERT_TRUE(updater_.Start());
  }
  // One pass as the window sees it: ask, wait for its end, then Apply. Returns the
  // lParams the pass posted.
  std::vector<std::intptr_t> Pass(CLog& log) {
    sink_.Take();
    updater_.RequestUpdate();
    EXPECT_TRUE(sink_.WaitFor(LOG_NOTIFY_PASS_END, 1)) << "no end of pass";
    std::vector<std::intptr_t> posted;
    bool results = false;
    for (const Posted& p : sink_.Take()) {
      posted.push_back(p.lParam);
      results |= p.lParam == LOG_NOTIFY_RESULTS;
    }
    if (results) {
      EXPECT_TRUE(updater_.Apply());
    }
    return posted;
  }
  static std::vector<std::int32_t> RecordsOf(const CLog& log) {
    std::vector<std::int32_t> out;
    for (const REC_INFO_BASE& row : log.Rows()) out.push_back(row.record);
    return out;
  }
  static std::vector<std::int32_t> Iota(int n) {
    std::vector<std::int32_t> out(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) out[std::size_t(i)] = i;
    return out;
  }
  static bool Cached(CLog& log, std::int32_t key) {
    std::lock_guard<std::mutex> guard(log.GetCache().Lock());
    return log.GetCache().Find(key) != nullptr;
  }

  QueueSink sink_;
  CLogUpdaterThread updater_;  // declared last: stopped before the sink goes
};

TEST_F(UpdaterTest, FirstPassLoadsEveryRecordAndEndsWithOneEndOfPass) {
  const std::string path = dir_.Path("events.dat");
  AppendEvents(path, 0, 10, true);
  CLog* log = Keep(OpenEvents(path));
  Attach(*log);
  const std::vector<std::intptr_t> posted = Pass(*log);
  EXPECT_EQ(posted, (std::vector<std::intptr_t>{LOG_NOTIFY_RESULTS, LOG_NOTIFY_PASS_END}));
  EXPECT_EQ(RecordsOf(*log), Iota(10));
  EXPECT_EQ(log->GetVisibleCount(), 10);
  EXPECT_EQ(log->LoadState().Next(), 10);
}

TEST_F(UpdaterTest, FiveAppendedRecordsGiveOnePassOfExactlyThoseFive) {
  const std::string path = dir_.Path("events.dat");
  AppendEvents(path, 0, 10, true);
  CLog* log = Keep(OpenEvents(path));
  Attach(*log);
  Pass(*log);
  std::u16string text;
  ASSERT_TRUE(log->GetCellText(0, 1, text));  // puts the newest record into the cache
  ASSERT_TRUE(Cached(*log, 9));

  AppendEvents(path, 10, 5);
  ASSERT_TRUE(log->HasChanged());  // what the window's timer asks
  const std::vector<std::intptr_t> posted = Pass(*log);
  EXPECT_EQ(posted, (std::vector<std::intptr_t>{LOG_NOTIFY_RESULTS, LOG_NOTIFY_PASS_END}));
  EXPECT_EQ(RecordsOf(*log), Iota(15));
  EXPECT_EQ(log->GetVisibleCount(), 15);
  EXPECT_TRUE(Cached(*log, 9)) << "an append must not empty the cache";
  ASSERT_TRUE(log->GetCellText(0, 1, text));
  EXPECT_EQ(text, u"m14");

  // Nothing changed: a pass loads nothing and posts only its end.
  EXPECT_EQ(Pass(*log), (std::vector<std::intptr_t>{LOG_NOTIFY_PASS_END}));
  EXPECT_EQ(RecordsOf(*log), Iota(15));
}

TEST_F(UpdaterTest, ARewriteReloadsFromRecordZeroAndEmptiesTheCache) {
  const std::string path = dir_.Path("events.dat");
  AppendEvents(path, 0, 10, true);
  CLog* log = Keep(OpenEvents(path));
  Attach(*log);
  Pass(*log);
  std::u16string text;
  ASSERT_TRUE(log->GetCellText(0, 1, text));
  ASSERT_TRUE(Cached(*log, 9));

  MarkDeleted(path, 3);  // moves the rewrite time
  AppendEvents(path, 10, 2);
  const std::vector<std::intptr_t> posted = Pass(*log);
  EXPECT_EQ(posted, (std::vector<std::intptr_t>{LOG_NOTIFY_RESULTS, LOG_NOTIFY_PASS_END}));
  EXPECT_EQ(RecordsOf(*log), Iota(12)) << "replaced, not appended";
  for (const REC_INFO_BASE& row : log->Rows()) {
    EXPECT_EQ((row.flags & ROW_FLAG_DELETED) != 0, row.record == 3) << row.record;
    EXPECT_EQ(row.flags & ROW_FLAG_REPLACE, 0u) << "the marker never reaches the log";
  }
  EXPECT_FALSE(Cached(*log, 9));
  EXPECT_EQ(log->GetDeletedCount(), 1);
}

TEST_F(UpdaterTest, ALogThatBecomesEmptyEmptiesTheRows) {
  const std::string path = dir_.Path("events.dat");
  AppendEvents(path, 0, 10, true);
  CLog* log = Keep(OpenEvents(path));
  Attach(*log);
  Pass(*log);
  ASSERT_EQ(log->GetTotalCount(), 10);
  {
    standin::LogFileWriter w;
    ASSERT_EQ(w.create(path), platform::FileError::ok);
    ASSERT_EQ(w.close(), platform::FileError::ok);
  }
  const std::vector<std::intptr_t> posted = Pass(*log);
  EXPECT_EQ(posted, (std::vector<std::intptr_t>{LOG_NOTIFY_RESULTS, LOG_NOTIFY_PASS_END}));
  EXPECT_EQ(log->GetTotalCount(), 0);
  EXPECT_EQ(log->GetVisibleCount(), 0);
  EXPECT_EQ(log->LoadState().Next(), 0);
  EXPECT_EQ(log->LoadState().GetPhase(), CLogLoadState::Phase::kNeverLoaded);

  // Records written afterwards load from the start.
  AppendEvents(path, 0, 3);
  Pass(*log);
  EXPECT_EQ(RecordsOf(*log), Iota(3));
}

TEST_F(UpdaterTest, RecordViewLoadsInBatchesOf2000WithProgress) {
  const std::string path = dir_.Path("scan.dat");
  AppendEvents(path, 0, 4500, true);
  CLog* log = Keep(OpenEvents(path, LOG_VIEW_RECORD));
  CLog* raw = log;
  sink_.onPost = [raw] { return raw->GetProgress(); };
  Attach(*log);
  updater_.RequestUpdate();
  ASSERT_TRUE(sink_.WaitFor(LOG_NOTIFY_PASS_END, 1));
  const std::vector<Posted> posted = sink_.Take();
  ASSERT_EQ(posted.size(), 4u);
  const double expected[] = {2000.0 * 100 / 4500, 4000.0 * 100 / 4500, 100.0};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(posted[std::size_t(i)].lParam, LOG_NOTIFY_RESULTS) << i;
    EXPECT_NEAR(posted[std::size_t(i)].progress, expected[i], 0.05) << i;
  }
  EXPECT_EQ(posted[3].lParam, LOG_NOTIFY_PASS_END);
  EXPECT_DOUBLE_EQ(log->GetProgress(), 100.0);
  ASSERT_TRUE(updater_.Apply());
  EXPECT_EQ(RecordsOf(*log), Iota(4500));
  EXPECT_FALSE(updater_.Apply()) << "three notifications, one hand-over";
}

TEST_F(UpdaterTest, OpeningAnotherLogDuringAPassPausesItSilently) {
  const std::string big = dir_.Path("big.dat");
  const std::string small = dir_.Path("small.dat");
  AppendEvents(big, 0, 150000, true);
  AppendEvents(small, 0, 4, true);
  CLog* first = Keep(OpenEvents(big));
  CLog* second = Keep(OpenEvents(small));
  Attach(*first);
  updater_.RequestUpdate();
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!updater_.IsBusy() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(updater_.IsBusy());

  updater_.SetLog(second);
  EXPECT_FALSE(updater_.IsBusy());
  const std::vector<Posted> before = sink_.Take();
  for (const Posted& p : before) EXPECT_NE(p.lParam, LOG_NOTIFY_PASS_END) << "the pass was cut";
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(sink_.Size(), 0u) << "a message of the paused pass arrived";
  EXPECT_FALSE(updater_.Apply()) << "results of the old log are gone";
  EXPECT_FALSE(first->IsAborted()) << "the pause clears the abort flag again";

  Pass(*second);
  EXPECT_EQ(RecordsOf(*second), Iota(4));
  EXPECT_TRUE(first->Rows().empty());
}

TEST_F(UpdaterTest, ResultsDuringAnExportWaitForTheNextNotification) {
  const std::string path = dir_.Path("events.dat");
  AppendEvents(path, 0, 10, true);
  CLog* log = Keep(OpenEvents(path));
  Attach(*log);
  Pass(*log);

  log->SetExporting(true);
  AppendEvents(path, 10, 3);
  updater_.RequestUpdate();
  ASSERT_TRUE(sink_.WaitFor(LOG_NOTIFY_PASS_END, 1));
  EXPECT_EQ(sink_.Count(LOG_NOTIFY_RESULTS), 1u);
  EXPECT_FALSE(updater_.Apply());
  EXPECT_EQ(RecordsOf(*log), Iota(10)) << "rows changed under the export";

  log->SetExporting(false);
  AppendEvents(path, 13, 2);
  Pass(*log);
  EXPECT_EQ(RecordsOf(*log), Iota(15));
}

TEST_F(UpdaterTest, TwoRequestsBeforeTheWorkerWakesGiveOnePass) {
  const std::string path = dir_.Path("events.dat");
  AppendEvents(path, 0, 10, true);
  CLog* log = Keep(OpenEvents(path));
  updater_.SetWindow(&sink_);
  updater_.SetLog(log);
  updater_.RequestUpdate();
  updater_.RequestUpdate();
  ASSERT_TRUE(updater_.Start());
  ASSERT_TRUE(sink_.WaitFor(LOG_NOTIFY_PASS_END, 1));
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(sink_.Count(LOG_NOTIFY_PASS_END), 1u);
  EXPECT_EQ(sink_.Count(LOG_NOTIFY_RESULTS), 1u);
}

TEST_F(UpdaterTest, RescanWithATextFilterReloadsAndMatchesAgain) {
  const std::string path = dir_.Path("events.dat");
  AppendEvents(path, 0, 10, true);
  CLog* log = Keep(OpenEvents(path));
  Attach(*log);
  Pass(*log);
  ASSERT_EQ(log->GetVisibleCount(), 10);

  updater_.Pause();
  CLogFilterData filter = ShowAll();
  filter.m_strText = u"m7";
  log->SetFilter(filter);
  sink_.Take();
  updater_.Rescan();
  ASSERT_TRUE(sink_.WaitFor(LOG_NOTIFY_PASS_END, 1));
  ASSERT_TRUE(updater_.Apply());
  EXPECT_EQ(RecordsOf(*log), Iota(10));
  ASSERT_EQ(log->GetVisibleCount(), 1);
  EXPECT_EQ(log->GetRow(0)->record, 7);
}

TEST_F(UpdaterTest, LifecycleWithoutLogOrWorker) {
  // Nothing to pause or ask for: none of these may block or post.
  updater_.Pause();
  updater_.RequestUpdate();
  EXPECT_FALSE(updater_.Apply());
  updater_.Stop();
  EXPECT_FALSE(updater_.IsRunning());

  ASSERT_TRUE(updater_.Start());
  ASSERT_TRUE(updater_.Start()) << "a second Start keeps the running worker";
  updater_.SetWindow(&sink_);
  updater_.RequestUpdate();  // no log: ignored
  updater_.Stop();
  EXPECT_FALSE(updater_.IsRunning());
  EXPECT_EQ(sink_.Size(), 0u);

  // A stopped updater starts again and works.
  const std::string path = dir_.Path("events.dat");
  AppendEvents(path, 0, 2, true);
  CLog* log = Keep(OpenEvents(path));
  Attach(*log);
  Pass(*log);
  EXPECT_EQ(RecordsOf(*log), Iota(2));
  updater_.Stop();
  EXPECT_EQ(updater_.GetLog(), nullptr);
}

// Rows handed over under one filter and applied after another was set get the
// visibility of the new one, as a fresh load under it would; and the count of
// passes tells the end of a pass over the log now set from one over the log before.
TEST_F(UpdaterTest, PendingRowsFollowAFilterSetBeforeTheyAreApplied) {
  const std::string path = dir_.Path("events.dat");
  AppendEvents(path, 0, 6, true);
  CLog* log = Keep(OpenEvents(path));
  Attach(*log);
  Pass(*log);
  EXPECT_EQ(updater_.PassesCompleted(), 1);
  AppendEvents(path, 6, 4);
  sink_.Take();
  updater_.RequestUpdate();
  ASSERT_TRUE(sink_.WaitFor(LOG_NOTIFY_PASS_END, 1));
  EXPECT_EQ(updater_.PassesCompleted(), 2);

  // The pending rows were loaded while every row showed; now hide Information (all of them).
  updater_.Pause();
  CLogFilterData hide = ShowAll();
  hide.m_nTypeMask = 0x7FFFFFFF & ~FILTER_TYPE_INFORMATION;
  log->SetFilter(hide);
  updater_.ReevaluatePending();
  ASSERT_TRUE(updater_.Apply());
  EXPECT_EQ(log->GetVisibleCount(), 0);
  log->SetFilter(ShowAll());
  EXPECT_EQ(log->GetVisibleCount(), 10);
  EXPECT_EQ(RecordsOf(*log), Iota(10));

  CLog* other = Keep(OpenEvents(path));
  updater_.SetLog(other);
  EXPECT_EQ(updater_.PassesCompleted(), 0) << "passes over the previous log do not count";
}

}  // namespace
}  // namespace korv::test
