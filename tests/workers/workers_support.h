#pragma once
// Worker tests: the stand-in module behind a loader of its own, Events logs written in the
// test, and a notification sink that queues what the workers post.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "logmodel/log.h"
#include "logmodel/log_notify.h"
#include "platform/tz.h"
#include "product/host_services.h"
#include "product/module_manager.h"
#include "standin/logfile.h"
#include "standin/payload.h"

namespace korv::test {

inline constexpr std::int32_t kEventsType = 2;
inline constexpr std::uint32_t kEventsRecord = 0x00010002;
inline constexpr std::uint32_t kSecondInterface = 0x8;

// Generous bound for a worker to react; only a hang ever reaches it.
inline constexpr std::chrono::seconds kPatience{60};

class WorkerTempDir {
 public:
  WorkerTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "korv-workers-XXXXXX").string();
    if (::mkdtemp(pattern.data())) path_ = pattern;
  }
  ~WorkerTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  WorkerTempDir(const WorkerTempDir&) = delete;
  WorkerTempDir& operator=(const WorkerTempDir&) = delete;
  std::string Path(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// What a worker posted, with a snapshot taken at the moment of the post.
struct Posted {
  std::intptr_t lParam;
  double progress;
};

// The window of the tests: keeps every post; `onPost` (if set) runs on the worker thread
// at the post, to take a snapshot.
class QueueSink : public ILogNotifySink {
 public:
  std::function<double()> onPost;

  void PostLogNotify(std::intptr_t lParam) override {
    const double snapshot = onPost ? onPost() : 0.0;
    std::lock_guard<std::mutex> guard(lock_);
    posted_.push_back({lParam, snapshot});
    changed_.notify_all();
  }
  // Waits until `count` posts of lParam have arrived in all; false on a hang.
  bool WaitFor(std::intptr_t lParam, std::size_t count) {
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, kPatience, [&] { return CountLocked(lParam) >= count; });
  }
  std::size_t Count(std::intptr_t lParam) {
    std::lock_guard<std::mutex> guard(lock_);
    return CountLocked(lParam);
  }
  std::vector<Posted> Take() {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<Posted> out;
    out.swap(posted_);
    return out;
  }
  std::size_t Size() {
    std::lock_guard<std::mutex> guard(lock_);
    return posted_.size();
  }

 private:
  std::size_t CountLocked(std::intptr_t lParam) const {
    std::size_t n = 0;
    for (const Posted& p : posted_) n += p.lParam == lParam;
    return n;
  }
  std::mutex lock_;                    // guards posted_
  std::condition_variable changed_;    // a post arrived
  std::vector<Posted> posted_;
};

// An Events record payload with one row: level, module text, message id, user text.
inline std::vector<std::uint8_t> EventPayload(std::uint32_t level, const std::u16string& module) {
  standin::PayloadEncoder e;
  e.begin_row(level);
  e.add_text(module);
  e.add_msg(1);
  e.add_text(u"SYSTEM");
  std::span<const std::uint8_t> out;
  if (e.finish(&out) != standin::PayloadResult::Ok) return {};
  return {out.begin(), out.end()};
}

// Appends `count` Events records to the log at path (created when `create`); record i of
// the call carries the module text "m<first + i>" and a time that grows with it.
inline void AppendEvents(const std::string& path, int first, int count, bool create = false) {
  standin::LogFileWriter w;
  ASSERT_EQ(create ? w.create(path) : w.open(path), platform::FileError::ok);
  for (int i = 0; i < count; ++i) {
    const std::string name = "m" + std::to_string(first + i);
    const std::vector<std::uint8_t> payload =
        EventPayload(0x10000000, std::u16string(name.begin(), name.end()));
    standin::NewRecord rec;
    rec.type = kEventsRecord;
    rec.time = 133000000000000000ull + std::uint64_t(first + i) * 10000000ull;
    rec.payload = std::span<const unsigned char>(payload.data(), payload.size());
    ASSERT_EQ(w.append(rec), platform::FileError::ok);
  }
  ASSERT_EQ(w.flush(), platform::FileError::ok);
  ASSERT_EQ(w.close(), platform::FileError::ok);
}

inline void MarkDeleted(const std::string& path, std::uint32_t recordNumber) {
  standin::LogFileWriter w;
  ASSERT_EQ(w.open(path), platform::FileError::ok);
  ASSERT_EQ(w.mark_deleted(recordNumber), platform::FileError::ok);
  ASSERT_EQ(w.close(), platform::FileError::ok);
}

// Criteria that show every row, deleted ones included.
inline CLogFilterData ShowAll() {
  CLogFilterData f;
  f.m_nTypeMask = 0x7FFFFFFF;
  f.m_nOptions = 0;
  return f;
}

// The stand-in module from the build's bin directory, with both components open.
class WorkerFixture : public ::testing::Test {
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
  // A closed CLog over the stand-in; Open it with OpenEvents.
  std::unique_ptr<CLog> NewLog() { return std::make_unique<CLog>(&*second_, &*first_); }
  std::unique_ptr<CLog> OpenEvents(const std::string& path, int viewMode = LOG_VIEW_LIST) {
    auto log = NewLog();
    log->SetViewMode(viewMode);
    EXPECT_TRUE(log->Open(path, 7, kEventsType, kSecondInterface, "warnlog")) << path;
    log->SetFilter(ShowAll());
    return log;
  }

  // Keeps a log until the fixture goes, after the workers that a derived fixture declares.
  CLog* Keep(std::unique_ptr<CLog> log) {
    m_kept.push_back(std::move(log));
    return m_kept.back().get();
  }

  WorkerTempDir dir_;
  std::optional<ModuleLoader> loader_;
  std::optional<ComponentHolder> second_, first_;
  std::vector<std::unique_ptr<CLog>> m_kept;
};

}  // namespace korv::test
