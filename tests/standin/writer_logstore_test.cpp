// What the log store makes of the writer's changes: appends are seen as
// appends, deletions as rewrites, and the demo's damaged log is repairable.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "logstore/disklog.h"

namespace {

namespace fs = std::filesystem;

class WriterAndLogStore : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("korvlog-write-store-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  int run(const std::string& args) {
    const std::string cmd = std::string(KORV_BIN_DIR) + "/korvlog-write " + args + " >/dev/null 2>&1";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  fs::path dir_;
};

TEST_F(WriterAndLogStore, AppendIsAnAppendAndDeleteARewrite) {
  const std::string path = (dir_ / "warnlog.dat").string();
  ASSERT_EQ(run("append " + path + " --kind warnlog --count 10"), 0);
  DiskLogHandle log = DiskLogOpen(path, DISKLOG_OPEN_INDEX | DISKLOG_OPEN_DELETED);
  ASSERT_TRUE(log);
  EXPECT_EQ(DiskLogRecordCount(log.get()), 10);

  struct Step {
    std::string args;
    bool rewritten;
    int count;
  };
  const Step steps[] = {
      {"append " + path + " --kind warnlog --count 5", false, 15},
      {"delete " + path + " 3", true, 15},
      {"append " + path + " --kind warnlog --count 1 --deleted-every 1", false, 16},
      {"gap " + path + " 15", true, 15},  // the walk now ends at the gap
  };
  for (const Step& s : steps) {
    ASSERT_EQ(run(s.args), 0) << s.args;
    bool rewritten = !s.rewritten;
    {
      DiskLogLockGuard lock(log.get());
      EXPECT_TRUE(DiskLogHasChanged(log.get(), &rewritten)) << s.args;
    }
    EXPECT_EQ(rewritten, s.rewritten) << s.args;
    EXPECT_EQ(DiskLogRefresh(log.get()), s.rewritten) << s.args;
    EXPECT_EQ(static_cast<int>(DiskLogIndexCount(log.get())), s.count) << s.args;
  }
}

TEST_F(WriterAndLogStore, DemoDamagedLogFailsToOpenAndIsRepaired) {
  ASSERT_EQ(run("demo " + (dir_ / "demo").string() + " --count 40"), 0);
  const std::string path = (dir_ / "demo" / "damaged" / "warnlog.dat").string();
  EXPECT_FALSE(DiskLogOpen(path, DISKLOG_OPEN_INDEX));
  {
    DiskLogHandle w = DiskLogOpen(path, DISKLOG_OPEN_WRITE);
    ASSERT_TRUE(w);
    EXPECT_TRUE(DiskLogRepair(w.get()));
  }
  DiskLogHandle log = DiskLogOpen(path, DISKLOG_OPEN_INDEX | DISKLOG_OPEN_DELETED);
  ASSERT_TRUE(log);
  // 40 records, two of them one zero gap, which became one placeholder.
  EXPECT_EQ(DiskLogRecordCount(log.get()), 39);
  EXPECT_EQ(DiskLogHeader(log.get()).gap_counter, 1u);

  // Every ordinary log of the tree opens with its index.
  for (const auto& entry : fs::recursive_directory_iterator(dir_ / "demo" / "AppData")) {
    if (entry.is_regular_file()) {
      EXPECT_TRUE(DiskLogOpen(entry.path().string(), DISKLOG_OPEN_INDEX)) << entry.path();
    }
  }
}

}  // namespace
