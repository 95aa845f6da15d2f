// Directory logs: one row per *.dat file, reuse of unchanged files, progress and the change
// notification.

#include <sys/stat.h>

#include <fstream>

#include "log_test_support.h"

namespace korv::test {
namespace {

namespace fs = std::filesystem;
using DirRows = std::vector<REC_INFO_DIR>;

class LogDirectory : public ModuleFixture {
 protected:
  void SetUp() override {
    ModuleFixture::SetUp();
    scans_ = dir_.Path("escan");
    fs::create_directory(scans_);
  }
  void WriteScan(const std::string& name, std::uint32_t level, const std::u16string& module) {
    WriteEventLog(scans_ + "/" + name, {{{{level, module}}, Ft(2026, 5, 1, 0, 0, 0)}});
  }
  std::unique_ptr<CLog> OpenDir() {
    auto log = std::make_unique<CLog>(&*second_, &*first_);
    EXPECT_TRUE(log->Open(scans_, 1, kEventsType, kSecondInterface | 0x4, "escan\\dir"));
    return log;
  }
  // Sets the file's modification time `seconds` into the past (or future).
  void Age(const std::string& name, int seconds) {
    const fs::path p = scans_ + "/" + name;
    fs::last_write_time(p, fs::last_write_time(p) + std::chrono::seconds(seconds));
  }
  std::string scans_;
};

TEST_F(LogDirectory, FourLogFilesAndASubdirectoryGiveFourRows) {
  for (int i = 0; i < 4; ++i) WriteScan("ndl0000" + std::to_string(i) + ".dat", 0x10000000u * i, u"m");
  fs::create_directory(scans_ + "/sub.dat");
  std::ofstream(scans_ + "/notes.txt") << "not a log";
  auto log = OpenDir();
  EXPECT_TRUE(log->IsDirectory());
  EXPECT_EQ(log->GetDisplayPath(false), scans_ + "/");
  log->LoadDirectory(log->DirectoryRows(), {});
  log->RebuildVisible(false);
  EXPECT_EQ(log->GetTotalCount(), 4);
  EXPECT_EQ(log->GetVisibleCount(), 4);
  std::vector<std::u16string> names;
  for (int p = 0; p < 4; ++p) names.push_back(log->GetDirectoryRowFile(p));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::u16string>{u"ndl00000.dat", u"ndl00001.dat", u"ndl00002.dat",
                                                 u"ndl00003.dat"}));
  std::u16string text;
  ASSERT_TRUE(log->GetCellText(0, 1, text));
  EXPECT_EQ(text, u"m") << "cells of a directory row come from its file's first record";
  std::vector<std::u16string> cells;
  EXPECT_TRUE(log->GetRowCells(0, cells));
  EXPECT_EQ(cells.size(), 4u);
}

TEST_F(LogDirectory, OnlyTheChangedFileIsOpenedAgain) {
  for (int i = 0; i < 4; ++i) WriteScan("s" + std::to_string(i) + ".dat", 0x10000000, u"old");
  for (int i = 0; i < 4; ++i) Age("s" + std::to_string(i) + ".dat", -100);
  auto log = OpenDir();
  DirRows first;
  log->LoadDirectory(first, {});
  ASSERT_EQ(first.size(), 4u);

  // s1 changes (newer); s2 is ruined but keeps its time, so only a re-open would notice.
  WriteScan("s1.dat", 0x80000000, u"new");
  const fs::path s2 = scans_ + "/s2.dat";
  const auto kept = fs::last_write_time(s2);
  std::ofstream(s2, std::ios::trunc) << "garbage";
  fs::last_write_time(s2, kept);

  DirRows second;
  log->LoadDirectory(second, first);
  ASSERT_EQ(second.size(), 4u) << "the unchanged file was not opened again";
  for (const REC_INFO_DIR& row : second) {
    if (row.fileName == u"s1.dat") EXPECT_EQ(row.level, 0x80000000u) << "the changed file was";
    else EXPECT_EQ(row.level, 0x10000000u);
  }
  // A text search needs the cells, so every file is read again: the ruined one drops out.
  CLogFilterData f = ShowAll();
  f.m_strText = u"old";
  log->SetFilter(f);
  DirRows third;
  log->LoadDirectory(third, second);
  EXPECT_EQ(third.size(), 3u);
  int visible = 0;
  for (const REC_INFO_DIR& row : third) visible += (row.flags & ROW_FLAG_VISIBLE) ? 1 : 0;
  EXPECT_EQ(visible, 2) << "s0 and s3 say old";
}

TEST_F(LogDirectory, ProgressRunsFromTenToOneHundredPerFile) {
  for (int i = 0; i < 4; ++i) WriteScan("p" + std::to_string(i) + ".dat", 0, u"x");
  std::ofstream(scans_ + "/broken.dat") << "no log";  // counted, gets no row
  auto log = OpenDir();
  std::vector<double> seen;
  log->SetProgressObserver([&](double p) { seen.push_back(p); });
  DirRows rows;
  log->LoadDirectory(rows, {});
  EXPECT_EQ(rows.size(), 4u);
  const std::vector<double> expect = {10.0, 28.0, 46.0, 64.0, 82.0, 100.0, 100.0};
  ASSERT_EQ(seen.size(), expect.size());
  for (std::size_t i = 0; i < expect.size(); ++i) EXPECT_NEAR(seen[i], expect[i], 1e-9) << i;
}

TEST_F(LogDirectory, ChangeNotificationFiresOnceAndRearms) {
  WriteScan("a.dat", 0, u"x");
  auto log = OpenDir();
  EXPECT_FALSE(log->HasChanged());
  WriteScan("b.dat", 0, u"y");
  EXPECT_TRUE(log->HasChanged());
  EXPECT_FALSE(log->HasChanged()) << "consumed";
  fs::remove(scans_ + "/a.dat");
  EXPECT_TRUE(log->HasChanged());
  CLog closed(&*second_, &*first_);
  EXPECT_FALSE(closed.HasChanged());
}

TEST_F(LogDirectory, AbortStopsBeforeTheNextFile) {
  for (int i = 0; i < 5; ++i) WriteScan("q" + std::to_string(i) + ".dat", 0, u"x");
  auto log = OpenDir();
  log->SetProgressObserver([&](double p) {
    if (p > 10.0) log->SetAbort(true);
  });
  DirRows rows;
  log->LoadDirectory(rows, {});
  EXPECT_EQ(rows.size(), 1u);
}

}  // namespace
}  // namespace korv::test
