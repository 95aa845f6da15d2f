// The updater follows a log that the stand-in writer appends to at a few thousand records a
// second, with deletions in between; at the end its rows are those of a fresh load.
// KORV_SOAK_SECONDS bounds the run (default 6).

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "logmodel/log_updater_thread.h"
#include "test_support/shell.h"
#include "workers_support.h"

namespace korv::test {
namespace {

using namespace std::chrono_literals;

std::string Writer() { return std::string(KORV_BIN_DIR) + "/korvlog-write"; }

class SoakTest : public WorkerFixture {
 protected:
  // What the window does between ticks: apply whatever was posted.
  void Drain() {
    for (const Posted& p : sink_.Take())
      if (p.lParam == LOG_NOTIFY_RESULTS) updater_.Apply();
  }
  QueueSink sink_;
  CLogUpdaterThread updater_;
};

TEST_F(SoakTest, RowsEqualAFreshLoadAfterAppendsAndDeletions) {
  const char* env = std::getenv("KORV_SOAK_SECONDS");
  const int seconds = env ? std::max(1, std::atoi(env)) : 6;
  const std::string path = dir_.Path("soak.dat");
  ASSERT_EQ(Shell(Writer() + " append " + path + " --kind warnlog --count 100 --seed 1"), 0);

  CLog* log = Keep(OpenEvents(path));
  updater_.SetWindow(&sink_);
  updater_.SetLog(log);
  ASSERT_TRUE(updater_.Start());
  updater_.RequestUpdate();

  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int round = 0;
  while (std::chrono::steady_clock::now() < end) {
    // The writer holds the writers' lock while it appends, so deletions go in between.
    std::atomic<bool> written{false};
    std::thread writer([&] {
      EXPECT_EQ(Shell(Writer() + " append " + path + " --kind warnlog --count 1500 --rate 3000"), 0);
      written = true;
    });
    while (!written) {
      std::this_thread::sleep_for(20ms);  // a fast timer: more passes, more interleavings
      Drain();
      if (log->HasChanged()) updater_.RequestUpdate();
    }
    writer.join();
    Drain();
    const int victim = 100 + round * 1500 + (round * 7919) % 1500;
    EXPECT_EQ(Shell(Writer() + " delete " + path + " " + std::to_string(victim) + " >/dev/null"), 0);
    ++round;
  }

  // Let the updater catch up: passes until one loads nothing.
  for (int i = 0; i < 3; ++i) {
    const std::size_t ends = sink_.Count(LOG_NOTIFY_PASS_END);
    updater_.RequestUpdate();
    ASSERT_TRUE(sink_.WaitFor(LOG_NOTIFY_PASS_END, ends + 1));
    Drain();
  }

  CLog* fresh = Keep(OpenEvents(path));
  fresh->LoadRecords(fresh->Rows(), 0, -1);
  const std::vector<REC_INFO_BASE>& a = log->Rows();
  const std::vector<REC_INFO_BASE>& b = fresh->Rows();
  EXPECT_GT(round, 0);
  EXPECT_EQ(b.size(), std::size_t(100 + round * 1500));
  ASSERT_EQ(a.size(), b.size()) << "rows lost or doubled";
  for (std::size_t i = 0; i < a.size(); ++i) {
    ASSERT_EQ(a[i].record, b[i].record) << i;
    ASSERT_EQ(a[i].row, b[i].row) << i;
    ASSERT_EQ(a[i].flags, b[i].flags) << i;
    ASSERT_EQ(a[i].level, b[i].level) << i;
    ASSERT_EQ(a[i].time, b[i].time) << i;
  }
  EXPECT_EQ(log->GetDeletedCount(), round);
}

}  // namespace
}  // namespace korv::test
