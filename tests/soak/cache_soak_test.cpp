// The stand-in writer appends, deletes and punches zero gaps (each mended by korvlog repair)
// while the updater follows the log and the cache thread decodes the pages a list would
// show. At the end the rows equal a fresh load. KORV_SOAK_SECONDS bounds the run (default
// 10 s); at most kMaxRounds rounds run whatever it says.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <atomic>
#include <cstdlib>
#include <random>
#include <thread>

#include "logmodel/log_cache_thread.h"
#include "logmodel/log_updater_thread.h"
#include "workers_support.h"

namespace korv::test {
namespace {

using namespace std::chrono_literals;

constexpr int kMaxRounds = 200;
constexpr int kStart = 200;   // records before the first round
constexpr int kAppend = 600;  // records each round appends
constexpr int kPage = 40;     // rows of one page of the list

int Shell(const std::string& command) {
  const int raw = std::system(command.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

std::string Bin(const std::string& program) { return std::string(KORV_BIN_DIR) + "/" + program; }

class CacheSoakTest : public WorkerFixture {
 protected:
  // What the window does on each tick: apply the updater's results, ask for a pass when the
  // log changed, and have the page around a random position decoded, reading a few of its
  // cells on this thread as the list's paint does.
  void Tick(CLog& log) {
    for (const Posted& p : sink_.Take())
      if (p.lParam == LOG_NOTIFY_RESULTS) updater_.Apply();
    if (log.HasChanged()) updater_.RequestUpdate();
    const int visible = log.GetVisibleCount();
    if (visible == 0) return;
    const int first = int(random_() % unsigned(visible));
    const int last = std::min(visible - 1, first + kPage - 1);
    cache_.Queue(&log, &list_, first, last);
    std::u16string text;
    for (int p = first; p <= last; p += 7) log.GetCellText(p, 1, text);
    list_.Take();  // the list would redraw here
  }
  // Passes until one loads nothing new.
  void CatchUp(CLog& log) {
    for (int i = 0; i < 3; ++i) {
      const std::size_t ends = sink_.Count(LOG_NOTIFY_PASS_END);
      updater_.RequestUpdate();
      ASSERT_TRUE(sink_.WaitFor(LOG_NOTIFY_PASS_END, ends + 1));
      for (const Posted& p : sink_.Take())
        if (p.lParam == LOG_NOTIFY_RESULTS) updater_.Apply();
    }
    log.HasChanged();
  }

  std::mt19937 random_{20261208};
  QueueSink sink_;   // the viewer window
  QueueSink list_;   // the list control
  CLogUpdaterThread updater_;
  CLogCacheThread cache_;  // declared last: stopped first, before the sinks and the logs go
};

TEST_F(CacheSoakTest, RowsEqualAFreshLoadAfterAppendsDeletionsAndMendedGaps) {
  const char* env = std::getenv("KORV_SOAK_SECONDS");
  const int seconds = env ? std::max(1, std::atoi(env)) : 10;
  const std::string path = dir_.Path("soak.dat");
  const std::string writer = Bin("korvlog-write");
  ASSERT_EQ(Shell(writer + " append " + path + " --kind warnlog --count " + std::to_string(kStart) + " --seed 1"), 0);

  CLog* log = Keep(OpenEvents(path));
  updater_.SetWindow(&sink_);
  updater_.SetLog(log);
  ASSERT_TRUE(updater_.Start());
  ASSERT_TRUE(cache_.Start());
  updater_.RequestUpdate();

  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int round = 0, deleted = 0, gaps = 0;
  while (round < kMaxRounds && std::chrono::steady_clock::now() < end) {
    std::atomic<bool> written{false};
    std::thread append([&] {
      EXPECT_EQ(Shell(writer + " append " + path + " --kind warnlog --count " + std::to_string(kAppend) +
                      " --rate 6000"), 0);
      written = true;
    });
    while (!written) {
      std::this_thread::sleep_for(15ms);
      Tick(*log);
    }
    append.join();

    // The writer holds the writers' lock while it appends, so these go in between.
    const int base = kStart + round * kAppend;
    const int victim = base + int(random_() % kAppend);
    EXPECT_EQ(Shell(writer + " delete " + path + " " + std::to_string(victim) + " >/dev/null"), 0);
    ++deleted;
    if (round % 2 == 0) {
      int hole = base + int(random_() % kAppend);
      if (hole == victim) hole = victim == base ? base + 1 : victim - 1;
      EXPECT_EQ(Shell(writer + " gap " + path + " " + std::to_string(hole) + " >/dev/null"), 0);
      ++gaps;
      // A few ticks see the broken chain before the user's repair mends it.
      for (int i = 0; i < 5; ++i) {
        std::this_thread::sleep_for(15ms);
        Tick(*log);
      }
      EXPECT_EQ(Shell(Bin("korvlog") + " repair --yes " + path + " >/dev/null 2>&1"), 0);
    }
    Tick(*log);
    ++round;
  }
  // The repair keeps the header times; the product's next record makes the mended part seen.
  ASSERT_EQ(Shell(writer + " append " + path + " --kind warnlog --count 10"), 0);
  CatchUp(*log);

  auto fresh = OpenEvents(path);
  fresh->LoadRecords(fresh->Rows(), 0, -1);
  fresh->RebuildVisible(true);
  const std::vector<REC_INFO_BASE>& a = log->Rows();
  const std::vector<REC_INFO_BASE>& b = fresh->Rows();
  EXPECT_GT(round, 0);
  EXPECT_EQ(b.size(), std::size_t(kStart + round * kAppend + 10)) << "a mended gap is one placeholder row";
  ASSERT_EQ(a.size(), b.size()) << "rows lost or doubled";
  for (std::size_t i = 0; i < a.size(); ++i) {
    ASSERT_EQ(a[i].record, b[i].record) << i;
    ASSERT_EQ(a[i].row, b[i].row) << i;
    ASSERT_EQ(a[i].flags, b[i].flags) << i;
    ASSERT_EQ(a[i].level, b[i].level) << i;
    ASSERT_EQ(a[i].time, b[i].time) << i;
  }
  EXPECT_EQ(log->GetDeletedCount(), fresh->GetDeletedCount());
  EXPECT_EQ(log->GetCorruptedCount(), gaps);
  EXPECT_GE(log->GetDeletedCount(), deleted);  // a placeholder counts as deleted too

  // The cells the cache holds for the followed log are those of the fresh load.
  cache_.Cancel(log);
  for (int p = 0; p < log->GetVisibleCount(); p += 97) {
    std::u16string x, y;
    log->GetCellText(p, 1, x);
    fresh->GetCellText(p, 1, y);
    ASSERT_EQ(x, y) << p;
  }
}

}  // namespace
}  // namespace korv::test
