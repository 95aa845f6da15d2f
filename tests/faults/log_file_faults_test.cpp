// A followed log file that is truncated, shrunk, overwritten, replaced or deleted under the
// updater, and a header that claims far more records than the file holds. The updater keeps
// running, the rows show what can still be read, and once the file is a valid log again the
// rows are those of a fresh load.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "logmodel/log_updater_thread.h"
#include "logstore/disklog_format.h"
#include "test_support/log_bytes.h"
#include "workers_support.h"

namespace korv::test {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Writes `bytes` over the file in place: the same inode, as a copy over it leaves it.
void WriteInPlace(const std::string& path, const std::string& bytes) {
  std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
}

class FollowedFileTest : public WorkerFixture {
 protected:
  // Opens path as the window does and runs the first pass.
  CLog* Follow(const std::string& path) {
    CLog* log = Keep(OpenEvents(path));
    updater_.SetWindow(&sink_);
    updater_.SetLog(log);
    EXPECT_TRUE(updater_.Start());
    Pass();
    return log;
  }
  // One timer tick that asks for a pass, and the window's Apply of what it posts.
  void Pass() {
    const std::size_t ends = sink_.Count(LOG_NOTIFY_PASS_END);
    updater_.RequestUpdate();
    ASSERT_TRUE(sink_.WaitFor(LOG_NOTIFY_PASS_END, ends + 1)) << "the updater hangs";
    for (const Posted& p : sink_.Take())
      if (p.lParam == LOG_NOTIFY_RESULTS) updater_.Apply();
  }
  // The Module cell of every visible row, newest first.
  static std::vector<std::u16string> Modules(CLog& log) {
    std::vector<std::u16string> out;
    for (int p = 0; p < log.GetVisibleCount(); ++p) {
      std::u16string text;
      log.GetCellText(p, 1, text);
      out.push_back(text);
    }
    return out;
  }
  static std::vector<std::u16string> Expected(int first, int count) {
    std::vector<std::u16string> out;
    for (int i = first + count - 1; i >= first; --i) {
      const std::string name = "m" + std::to_string(i);
      out.emplace_back(name.begin(), name.end());
    }
    return out;
  }
  // The followed rows equal those of a fresh load of the file.
  void ExpectFreshLoad(CLog& log, const std::string& path) {
    auto fresh = OpenEvents(path);
    fresh->LoadRecords(fresh->Rows(), 0, -1);
    fresh->RebuildVisible(true);
    ASSERT_EQ(log.GetVisibleCount(), fresh->GetVisibleCount());
    EXPECT_EQ(Modules(log), Modules(*fresh));
  }

  QueueSink sink_;
  CLogUpdaterThread updater_;  // after the kept logs: stopped before they go
};

TEST_F(FollowedFileTest, InvalidThenValidAgain) {
  // How the followed file is spoiled, and how it becomes a valid log again.
  enum class Spoil { truncate_to_20, truncate_to_0, zero_header, text_over_it };
  enum class Mend { new_log, former_bytes };
  struct Case {
    const char* name;
    Spoil spoil;
    Mend mend;
  };
  const Case cases[] = {
      {"cut inside the header, written anew", Spoil::truncate_to_20, Mend::new_log},
      {"emptied, then its former bytes back", Spoil::truncate_to_0, Mend::former_bytes},
      {"header zeroed, then its former bytes back", Spoil::zero_header, Mend::former_bytes},
      {"text written over it, written anew", Spoil::text_over_it, Mend::new_log},
      {"text written over it, then its former bytes back", Spoil::text_over_it, Mend::former_bytes},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir_.Path(std::string("spoil-") + std::to_string(&c - cases) + ".dat");
    AppendEvents(path, 0, 50, true);
    CLog* log = Follow(path);
    ASSERT_EQ(Modules(*log), Expected(0, 50));
    const std::string former = ReadBytes(path);

    switch (c.spoil) {
      case Spoil::truncate_to_20: fs::resize_file(path, 20); break;
      case Spoil::truncate_to_0: fs::resize_file(path, 0); break;
      case Spoil::zero_header: WriteInPlace(path, std::string(kDiskLogHeaderSize, '\0') + former.substr(kDiskLogHeaderSize)); break;
      case Spoil::text_over_it: WriteInPlace(path, std::string(4096, 'x')); break;
    }
    EXPECT_TRUE(log->HasChanged());
    Pass();
    EXPECT_EQ(log->GetVisibleCount(), 0) << "nothing of the spoiled file is a record";
    std::u16string text;
    EXPECT_FALSE(log->GetCellText(0, 1, text));

    if (c.mend == Mend::new_log) {
      AppendEvents(path, 100, 30, true);
      Pass();
      EXPECT_EQ(Modules(*log), Expected(100, 30));
    } else {
      WriteInPlace(path, former);
      Pass();
      EXPECT_EQ(Modules(*log), Expected(0, 50)) << "the former log is shown again";
    }
    ExpectFreshLoad(*log, path);
    // And it is followed as before.
    AppendEvents(path, 200, 5);
    Pass();
    ExpectFreshLoad(*log, path);
  }
}

TEST_F(FollowedFileTest, ShrunkUnderAnUnchangedHeaderShowsTheRecordsLeft) {
  const std::string path = dir_.Path("shrunk.dat");
  AppendEvents(path, 0, 100, true);
  CLog* log = Follow(path);
  _DISKLOG_INDEX_RECORD cut;
  ASSERT_TRUE(DiskLogIndexEntry(log->GetFile(), 60, cut));
  fs::resize_file(path, cut.file_offset);  // records 60..99 are gone, the header still counts them

  Pass();
  ASSERT_EQ(log->GetVisibleCount(), 100) << "an unchanged header means nothing to reload";
  std::vector<std::u16string> expected(40, u"");
  const std::vector<std::u16string> kept = Expected(0, 60);
  expected.insert(expected.end(), kept.begin(), kept.end());
  EXPECT_EQ(Modules(*log), expected) << "the rows of the records left keep their cells";

  // The product writes the log anew: the rewrite time changes and everything reloads.
  AppendEvents(path, 0, 40, true);
  Pass();
  EXPECT_EQ(Modules(*log), Expected(0, 40));
  ExpectFreshLoad(*log, path);
}

TEST_F(FollowedFileTest, ReplacedByRenameOrDeletedKeepsTheFileItOpened) {
  const std::string path = dir_.Path("renamed.dat");
  AppendEvents(path, 0, 30, true);
  CLog* log = Follow(path);
  AppendEvents(path + ".new", 500, 10, true);
  fs::rename(path + ".new", path);
  Pass();
  EXPECT_EQ(Modules(*log), Expected(0, 30)) << "the open handle still reads the file it opened";

  ASSERT_TRUE(fs::remove(path));
  EXPECT_FALSE(log->HasChanged());
  Pass();
  EXPECT_EQ(Modules(*log), Expected(0, 30)) << "a deleted file's rows stay readable";
}

TEST_F(FollowedFileTest, AFailedIncrementalWalkReloadsFromTheStart) {
  // The file is written anew under the same rewrite time (a writer that breaks the rule, or a
  // copy over it): to the reader that is "only appended", but the record chain no longer runs
  // through the point where the last walk ended, so the index is built anew, with fewer
  // records than rows were loaded. The rows must be reloaded, not continued.
  const std::string path = dir_.Path("rewritten-quietly.dat");
  AppendEvents(path, 0, 50, true);
  CLog* log = Follow(path);
  ASSERT_EQ(Modules(*log), Expected(0, 50));
  const _DISKLOG_HEADER before = DiskLogHeader(log->GetFile());
  const std::uint64_t resume = DiskLogScanPosition(log->GetFile());

  const std::string other = dir_.Path("other.dat");
  std::vector<LogRecord> records;
  std::vector<std::u16string> names;
  for (int i = 0; i < 20; ++i) {
    const std::string name = "n" + std::to_string(i) + std::string(200, 'x');
    names.emplace(names.begin(), name.begin(), name.end());  // newest first, as Modules
    records.push_back({kEventsRecord, 133000000000000000ull + std::uint64_t(i) * 10000000ull, 0,
                       std::uint32_t(i + 1), EventPayload(0x10000000, names.front())});
  }
  AppendRecords(other, records, true);
  {
    DiskLogHandle check = DiskLogOpen(other, DISKLOG_OPEN_INDEX);
    ASSERT_TRUE(check);
    ASSERT_GT(DiskLogHeader(check.get()).data_end, resume) << "the walk must resume inside a record";
    for (std::size_t i = 0; i < DiskLogIndexCount(check.get()); ++i) {
      _DISKLOG_INDEX_RECORD e;
      ASSERT_TRUE(DiskLogIndexEntry(check.get(), i, e));
      ASSERT_NE(e.file_offset, resume) << "the walk must resume inside a record";
    }
  }
  WriteInPlace(path, ReadBytes(other));
  PatchLogHeader(path, [&](_DISKLOG_HEADER& h) {
    h.rewrite_time = before.rewrite_time;
    h.modification_time = before.modification_time + 1;
  });

  Pass();
  EXPECT_EQ(Modules(*log), names);
  ExpectFreshLoad(*log, path);
}

TEST_F(FollowedFileTest, HeaderClaimingFarMoreRecords) {
  struct Case {
    const char* name;
    std::uint32_t count;   // the header's record count
    std::uint64_t dataEnd; // the header's data end; 0: the true one
    bool opens;
  };
  const Case cases[] = {
      {"count near 2^32", 0xFFFFFFF0u, 0, true},
      {"count near 2^32, data end past the file", 0xFFFFFFF0u, std::uint64_t(1) << 40, false},
      {"data end near 2^64", 10, ~std::uint64_t(0) - 8, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir_.Path(std::string("claims-") + std::to_string(&c - cases) + ".dat");
    AppendEvents(path, 0, 10, true);
    PatchLogHeader(path, [&](_DISKLOG_HEADER& h) {
      h.next_record_number = c.count;
      if (c.dataEnd) h.data_end = c.dataEnd;
    });
    auto log = NewLog();
    log->SetViewMode(LOG_VIEW_LIST);
    ASSERT_EQ(log->Open(path, 7, kEventsType, kSecondInterface, "warnlog"), c.opens);
    if (!c.opens) continue;
    log->SetFilter(ShowAll());
    log->LoadRecords(log->Rows(), 0, -1);
    log->RebuildVisible(true);
    EXPECT_EQ(Modules(*log), Expected(0, 10));
    EXPECT_LE(DiskLogIndexCount(log->GetFile()), 10u);
  }

  // A followed log whose header starts to claim more than it holds.
  const std::string path = dir_.Path("followed-claims.dat");
  AppendEvents(path, 0, 10, true);
  CLog* log = Follow(path);
  PatchLogHeader(path, [](_DISKLOG_HEADER& h) {
    h.next_record_number = 0xFFFFFFF0u;
    h.modification_time += 1;
  });
  ASSERT_TRUE(log->HasChanged());
  Pass();
  EXPECT_EQ(Modules(*log), Expected(0, 10));
}

TEST_F(FollowedFileTest, AGapMendedWhileFollowedIsLoadedWithTheNextAppend) {
  const std::string path = dir_.Path("gap.dat");
  const std::string bin = KORV_BIN_DIR;
  AppendEvents(path, 0, 40, true);
  CLog* log = Follow(path);
  // A cut-short write leaves record 25 as zeros: the walk stops there.
  ASSERT_EQ(std::system((bin + "/korvlog-write gap " + path + " 25 >/dev/null").c_str()), 0);
  ASSERT_TRUE(log->HasChanged());
  Pass();
  EXPECT_EQ(Modules(*log), Expected(0, 25)) << "the records before the gap";

  // The repair keeps the header times; the next append makes the log change.
  ASSERT_EQ(std::system((bin + "/korvlog repair --yes " + path + " >/dev/null 2>&1").c_str()), 0);
  AppendEvents(path, 40, 3);
  ASSERT_TRUE(log->HasChanged());
  Pass();
  EXPECT_EQ(log->GetCorruptedCount(), 1) << "the placeholder of the gap";
  EXPECT_EQ(DiskLogIndexCount(log->GetFile()), 43u) << "every record once, the placeholder in place of record 25";
  ExpectFreshLoad(*log, path);
}

}  // namespace
}  // namespace korv::test
