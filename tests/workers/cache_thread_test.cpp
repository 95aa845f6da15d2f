// The cache thread: the job list rules, restarts, Stop and Cancel, against real logs.

#include <gtest/gtest.h>

#include <thread>

#include "logmodel/log_cache_thread.h"
#include "workers_support.h"

namespace korv::test {
namespace {

using namespace std::chrono_literals;

class CacheThreadTest : public WorkerFixture {
 protected:
  // An Events log of n records with every row loaded and visible.
  CLog* Loaded(const std::string& name, int n) {
    const std::string path = dir_.Path(name);
    AppendEvents(path, 0, n, true);
    auto log = OpenEvents(path, LOG_VIEW_RECORD);  // position p is record p
    log->LoadRecords(log->Rows(), 0, -1);
    log->RebuildVisible(true);
    EXPECT_EQ(log->GetVisibleCount(), n);
    return Keep(std::move(log));
  }
  static bool Cached(CLog& log, std::int32_t key) {
    std::lock_guard<std::mutex> guard(log.GetCache().Lock());
    return log.GetCache().Find(key) != nullptr;
  }
  static int NextSlot(CLog& log) {
    std::lock_guard<std::mutex> guard(log.GetCache().Lock());
    return log.GetCache().NextSlot();
  }
  static void WaitUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!done() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
  }

  QueueSink sink_;
  CLogCacheThread thread_;  // declared last: stopped before the logs and the sink go
};

TEST_F(CacheThreadTest, ARangeIsDecodedIntoTheCacheAndPosted) {
  CLog* log = Loaded("a.dat", 50);
  ASSERT_TRUE(thread_.Start());
  thread_.Queue(log, &sink_, 10, 19);
  ASSERT_TRUE(sink_.WaitFor(LOG_NOTIFY_CACHED, 1));
  for (int r = 10; r <= 19; ++r) EXPECT_TRUE(Cached(*log, r)) << r;
  EXPECT_FALSE(Cached(*log, 9));
  EXPECT_FALSE(Cached(*log, 20));
  WaitUntil([&] { return thread_.Jobs().empty(); });
  EXPECT_TRUE(thread_.Jobs().empty()) << "a finished job leaves the list";

  // The cells are now answered from the cache.
  std::u16string text;
  ASSERT_TRUE(log->GetCellText(12, 0, text));
  EXPECT_EQ(text, u"m12");
}

TEST_F(CacheThreadTest, AJobWhollyInTheCachePostsWithoutDecoding) {
  CLog* log = Loaded("a.dat", 20);
  std::u16string text;
  for (int p = 0; p < 5; ++p) ASSERT_TRUE(log->GetCellText(p, 0, text));
  const int next = NextSlot(*log);
  ASSERT_TRUE(thread_.Start());
  thread_.Queue(log, &sink_, 0, 4);
  ASSERT_TRUE(sink_.WaitFor(LOG_NOTIFY_CACHED, 1));
  EXPECT_EQ(NextSlot(*log), next) << "no slot was claimed";
}

TEST_F(CacheThreadTest, JobListRules) {
  CLog* a = Loaded("a.dat", 300);
  CLog* b = Loaded("b.dat", 300);
  QueueSink other;
  // No worker runs: the list alone is seen.
  thread_.Queue(a, &sink_, 100, 130);
  thread_.Queue(b, &sink_, 0, 9);
  ASSERT_EQ(thread_.Jobs().size(), 2u) << "two logs keep two jobs";

  thread_.Queue(a, &sink_, 100, 130);
  std::vector<CLogCacheThread::CACHE_JOB> jobs = thread_.Jobs();
  ASSERT_EQ(jobs.size(), 2u) << "an identical range adds nothing";
  EXPECT_EQ(jobs[0].log, a);
  EXPECT_EQ(jobs[0].first, 100);
  EXPECT_EQ(jobs[0].last, 130);

  thread_.Queue(a, &other, 140, 170);
  jobs = thread_.Jobs();
  ASSERT_EQ(jobs.size(), 2u) << "a changed range overwrites the log's job in place";
  EXPECT_EQ(jobs[0].log, a);
  EXPECT_EQ(jobs[0].window, &other);
  EXPECT_EQ(jobs[0].first, 140);
  EXPECT_EQ(jobs[0].last, 170);
  EXPECT_EQ(jobs[1].log, b);

  {
    std::lock_guard<std::mutex> guard(a->GetCache().Lock());
    EXPECT_GE(a->GetCache().SlotCount(), 31) << "the cache holds the whole range";
  }

  ASSERT_TRUE(thread_.Start());
  ASSERT_TRUE(other.WaitFor(LOG_NOTIFY_CACHED, 1));
  ASSERT_TRUE(sink_.WaitFor(LOG_NOTIFY_CACHED, 1));
  EXPECT_TRUE(Cached(*a, 140));
  EXPECT_TRUE(Cached(*a, 170));
  EXPECT_FALSE(Cached(*a, 100)) << "the overwritten range is not decoded";
  EXPECT_TRUE(Cached(*b, 9));
}

TEST_F(CacheThreadTest, ARangeOfTheSlotCountFillsTheRingInOrder) {
  CLog* log = Loaded("a.dat", 100);
  {
    std::lock_guard<std::mutex> guard(log->GetCache().Lock());
    log->GetCache().Resize(31);
    for (int i = 0; i < 7; ++i) log->GetCache().ClaimNext();  // next slot 7
  }
  ASSERT_TRUE(thread_.Start());
  thread_.Queue(log, &sink_, 40, 70);
  ASSERT_TRUE(sink_.WaitFor(LOG_NOTIFY_CACHED, 1));
  std::lock_guard<std::mutex> guard(log->GetCache().Lock());
  EXPECT_EQ(log->GetCache().NextSlot(), 7) << "31 claims go round once";
  for (int i = 0; i < 31; ++i) {
    const CLogCache::CACHE_REC* slot = log->GetCache().Find(40 + i);
    ASSERT_NE(slot, nullptr) << 40 + i;
  }
}

TEST_F(CacheThreadTest, ChangingTheRunningJobRestartsItAtTheNewRange) {
  CLog* log = Loaded("a.dat", 20000);
  ASSERT_TRUE(thread_.Start());
  thread_.Queue(log, &sink_, 0, 19999);
  WaitUntil([&] { return thread_.IsBusy(); });
  thread_.Queue(log, &sink_, 19990, 19999);
  ASSERT_TRUE(sink_.WaitFor(LOG_NOTIFY_CACHED, 1));
  for (int r = 19990; r <= 19999; ++r) EXPECT_TRUE(Cached(*log, r)) << r;
  WaitUntil([&] { return thread_.Jobs().empty(); });
  EXPECT_TRUE(thread_.Jobs().empty());
}

TEST_F(CacheThreadTest, StopWhileBusyReturnsAfterTheWorkerLeft) {
  CLog* log = Loaded("a.dat", 20000);
  ASSERT_TRUE(thread_.Start());
  thread_.Queue(log, &sink_, 0, 19999);
  WaitUntil([&] { return thread_.IsBusy(); });
  ASSERT_TRUE(thread_.IsBusy());
  thread_.Stop();
  EXPECT_FALSE(thread_.IsRunning());
  EXPECT_FALSE(thread_.IsBusy());
  EXPECT_TRUE(thread_.Jobs().empty()) << "pending jobs are dropped";
  const std::size_t posted = sink_.Size();
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(sink_.Size(), posted);
  EXPECT_EQ(posted, 0u) << "an abandoned range is not reported";

  // Starts again and works.
  ASSERT_TRUE(thread_.Start());
  thread_.Queue(log, &sink_, 5, 6);
  ASSERT_TRUE(sink_.WaitFor(LOG_NOTIFY_CACHED, 1));
}

TEST_F(CacheThreadTest, CancelReturnsOnceTheWorkerLeftTheLog) {
  CLog* a = Loaded("a.dat", 20000);
  CLog* b = Loaded("b.dat", 10);
  QueueSink other;
  ASSERT_TRUE(thread_.Start());
  thread_.Queue(a, &sink_, 0, 19999);
  thread_.Queue(b, &other, 0, 9);
  WaitUntil([&] { return thread_.IsBusy(); });
  thread_.Cancel(a);
  const std::vector<CLogCacheThread::CACHE_JOB> jobs = thread_.Jobs();
  for (const auto& job : jobs) EXPECT_NE(job.log, a);
  const std::size_t posted = sink_.Size();
  a->Close();  // safe now: the worker no longer touches it
  ASSERT_TRUE(other.WaitFor(LOG_NOTIFY_CACHED, 1)) << "the other log's job still runs";
  EXPECT_EQ(sink_.Size(), posted);
}

TEST_F(CacheThreadTest, TheProcessWideInstanceLivesWhileItHasUsers) {
  EXPECT_EQ(CLogCacheThread::Instance(), nullptr);
  {
    CLogCacheThread::User first;
    CLogCacheThread* shared = CLogCacheThread::Instance();
    ASSERT_NE(shared, nullptr);
    EXPECT_TRUE(shared->IsRunning());
    {
      CLogCacheThread::User second;
      EXPECT_EQ(&second.Thread(), shared);
    }
    EXPECT_EQ(CLogCacheThread::Instance(), shared) << "still one user";
    CLog* log = Loaded("a.dat", 10);
    first.Thread().Queue(log, &sink_, 0, 9);
    ASSERT_TRUE(sink_.WaitFor(LOG_NOTIFY_CACHED, 1));
    first.Thread().Cancel(log);
  }
  EXPECT_EQ(CLogCacheThread::Instance(), nullptr);
}

}  // namespace
}  // namespace korv::test
