// A directory log whose entries are not all readable logs (a FIFO, a dangling link, an
// unreadable file, text, an empty file), and files that come and go while it is listed.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <future>
#include <thread>

#include "logmodel/log_updater_thread.h"
#include "workers_support.h"

namespace korv::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class DirectoryFaultTest : public WorkerFixture {
 protected:
  void SetUp() override {
    WorkerFixture::SetUp();
    scans_ = dir_.Path("scans");
    fs::create_directory(scans_);
  }
  CLog* OpenDirectory() {
    auto log = NewLog();
    EXPECT_TRUE(log->Open(scans_, 1, kEventsType, kSecondInterface | 0x4, "escan\\dir"));
    log->SetFilter(ShowAll());
    return Keep(std::move(log));
  }
  // The listing, bounded: a listing that hangs fails the test.
  static std::vector<std::u16string> List(CLog& log) {
    auto listing = std::async(std::launch::async, [&] {
      std::vector<REC_INFO_DIR> rows;
      log.LoadDirectory(rows, {});
      std::vector<std::u16string> names;
      for (const REC_INFO_DIR& r : rows) names.push_back(r.fileName);
      std::sort(names.begin(), names.end());
      return names;
    });
    if (listing.wait_for(kPatience) != std::future_status::ready) {
      ADD_FAILURE() << "the listing hangs";
      std::quick_exit(1);  // the worker cannot be taken back; end the run rather than hang it
    }
    return listing.get();
  }
  std::string scans_;
};

TEST_F(DirectoryFaultTest, EntriesThatAreNoReadableLogGetNoRow) {
  AppendEvents(scans_ + "/good1.dat", 0, 2, true);
  AppendEvents(scans_ + "/good2.dat", 10, 1, true);
  ASSERT_EQ(::mkfifo((scans_ + "/fifo.dat").c_str(), 0644), 0);  // opening it must not wait for a writer
  fs::create_symlink(scans_ + "/nowhere.dat", scans_ + "/dangling.dat");
  fs::create_directory(scans_ + "/folder.dat");
  std::ofstream(scans_ + "/text.dat") << "not a log";
  std::ofstream(scans_ + "/empty.dat");
  AppendEvents(scans_ + "/headeronly.dat", 0, 0, true);
  const bool root = ::geteuid() == 0;  // root reads whatever the mode says
  if (!root) {
    AppendEvents(scans_ + "/locked.dat", 0, 1, true);
    fs::permissions(scans_ + "/locked.dat", fs::perms::none);
  }
  CLog* log = OpenDirectory();
  EXPECT_EQ(List(*log), (std::vector<std::u16string>{u"good1.dat", u"good2.dat"}));
}

TEST_F(DirectoryFaultTest, FilesThatVanishDuringTheListing) {
  for (int i = 0; i < 5; ++i) AppendEvents(scans_ + "/stay" + std::to_string(i) + ".dat", i, 1, true);
  CLog* log = OpenDirectory();
  QueueSink sink;
  CLogUpdaterThread updater;
  updater.SetWindow(&sink);
  updater.SetLog(log);
  ASSERT_TRUE(updater.Start());

  // One thread makes and removes logs as fast as it can while the updater lists.
  std::atomic<bool> done{false};
  std::thread churn([&] {
    for (int i = 0; !done; ++i) {
      const std::string path = scans_ + "/come" + std::to_string(i % 7) + ".dat";
      AppendEvents(path, 100 + i, 1, true);
      fs::remove(path);
    }
  });
  for (int pass = 0; pass < 40; ++pass) {
    const std::size_t ends = sink.Count(LOG_NOTIFY_PASS_END);
    updater.RequestUpdate();
    ASSERT_TRUE(sink.WaitFor(LOG_NOTIFY_PASS_END, ends + 1)) << "the updater hangs";
    for (const Posted& p : sink.Take())
      if (p.lParam == LOG_NOTIFY_RESULTS) updater.Apply();
    // Every row shown is one of the files that stay or one that came and went.
    for (int p = 0; p < log->GetVisibleCount(); ++p) {
      const std::u16string name = log->GetDirectoryRowFile(p);
      EXPECT_TRUE(name.rfind(u"stay", 0) == 0 || name.rfind(u"come", 0) == 0);
      std::u16string text;
      log->GetCellText(p, 1, text);  // the file may be gone by now: an empty cell
    }
  }
  done = true;
  churn.join();
  for (int i = 0; i < 7; ++i) fs::remove(scans_ + "/come" + std::to_string(i) + ".dat");

  const std::size_t ends = sink.Count(LOG_NOTIFY_PASS_END);
  updater.RequestUpdate();
  ASSERT_TRUE(sink.WaitFor(LOG_NOTIFY_PASS_END, ends + 1));
  for (const Posted& p : sink.Take())
    if (p.lParam == LOG_NOTIFY_RESULTS) updater.Apply();
  updater.Stop();
  EXPECT_EQ(log->GetVisibleCount(), 5) << "only the files that stayed";
  EXPECT_EQ(List(*log).size(), 5u);
}

}  // namespace
}  // namespace korv::test
