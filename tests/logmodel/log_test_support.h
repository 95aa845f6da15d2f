#pragma once
// Opened-log tests: a temporary directory, the stand-in module behind its own loader and
// holders, and logs written record by record.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "logmodel/log.h"
#include "platform/tz.h"
#include "product/host_services.h"
#include "product/module_manager.h"
#include "standin/logfile.h"
#include "standin/payload.h"

namespace korv::test {

inline constexpr std::int32_t kEventsType = 2;
inline constexpr std::uint32_t kEventsRecord = 0x00010002;
inline constexpr std::uint32_t kSecondInterface = 0x8;
inline constexpr std::uint32_t kFirstInterface = 0x2;

class LogTempDir {
 public:
  LogTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "korv-log-XXXXXX").string();
    if (::mkdtemp(pattern.data())) path_ = pattern;
  }
  ~LogTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  LogTempDir(const LogTempDir&) = delete;
  LogTempDir& operator=(const LogTempDir&) = delete;
  std::string Path(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& Root() const { return path_; }

 private:
  std::filesystem::path path_;
};

// One Events row: a module name, a message id and a user.
struct EventRow {
  std::uint32_t level;
  std::u16string module;
  std::uint32_t msg = 1;
  std::u16string user = u"SYSTEM";
};

struct EventRecord {
  std::vector<EventRow> rows;
  std::uint64_t time = 0;  // FILETIME
  bool deleted = false;
  std::uint32_t type = kEventsRecord;
  std::uint32_t aux = 0;
};

inline std::vector<std::uint8_t> EventPayload(const std::vector<EventRow>& rows) {
  standin::PayloadEncoder e;
  for (const EventRow& r : rows) {
    e.begin_row(r.level);
    e.add_text(r.module);
    e.add_msg(r.msg);
    e.add_text(r.user);
  }
  std::span<const std::uint8_t> out;
  if (e.finish(&out) != standin::PayloadResult::Ok) return {};
  return {out.begin(), out.end()};
}

// FILETIME of a UTC calendar time.
inline std::uint64_t Ft(int y, int mo, int d, int h, int mi, int s) {
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  return platform::filetime_from_unix(std::int64_t(::timegm(&tm)));
}

inline void WriteEventLog(const std::string& path, const std::vector<EventRecord>& records) {
  standin::LogFileWriter w;
  ASSERT_EQ(w.create(path), platform::FileError::ok);
  for (const EventRecord& r : records) {
    const std::vector<std::uint8_t> payload =
        r.type == 0 ? std::vector<std::uint8_t>(8, 0) : EventPayload(r.rows);
    standin::NewRecord rec;
    rec.type = r.type;
    rec.time = r.time;
    rec.flags = r.deleted ? kDiskLogRecordDeleted : 0;
    rec.aux = r.aux;
    rec.payload = std::span<const unsigned char>(payload.data(), payload.size());
    ASSERT_EQ(w.append(rec), platform::FileError::ok);
  }
  ASSERT_EQ(w.flush(), platform::FileError::ok);
  ASSERT_EQ(w.close(), platform::FileError::ok);
}

// The stand-in module from the build's bin directory, with both components open.
class ModuleFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::set_process_utc_offset(0);
    SetHostLanguage(1033);
    loader_.emplace(&HostServices, std::string(KORV_BIN_DIR) + "/");
    ASSERT_TRUE(loader_->StartModule()) << "lvmod_32.so in " << KORV_BIN_DIR;
    second_.emplace(*loader_, kComponentSecond);
    first_.emplace(*loader_, kComponentFirst);
    ASSERT_EQ(second_->OpenComponent(), kResultOk);
    ASSERT_EQ(first_->OpenComponent(), kResultOk);
  }
  void TearDown() override {
    second_.reset();
    first_.reset();
  }
  // A CLog over the stand-in, opened on `path` as an Events log.
  std::unique_ptr<CLog> OpenEvents(const std::string& path, int viewMode = LOG_VIEW_LIST,
                                   std::uint32_t flags = kSecondInterface) {
    auto log = std::make_unique<CLog>(&*second_, &*first_);
    log->SetViewMode(viewMode);
    EXPECT_TRUE(log->Open(path, 7, kEventsType, flags, "warnlog"));
    return log;
  }
  // Loads every row as the window does first, without a filter but the start-up one.
  static void LoadAll(CLog& log) {
    log.LoadRecords(log.Rows(), 0, -1);
    log.RebuildVisible(true);
  }

  LogTempDir dir_;
  std::optional<ModuleLoader> loader_;
  std::optional<ComponentHolder> second_, first_;
};

// Criteria that show everything, deleted rows included, over the whole log.
inline CLogFilterData ShowAll() {
  CLogFilterData f;
  f.m_nTypeMask = 0x7FFFFFFF;
  f.m_nOptions = 0;
  return f;
}

}  // namespace korv::test
