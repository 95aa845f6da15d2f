#pragma once
// Worker tests: the stand-in module behind a loader of its own, Events logs written in the
// test, and a notification sink that queues what the workers post.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "logmodel/log.h"
#include "logmodel/log_notify.h"
// By path: the fault tests include this header without linking korv_test_support.
#include "../support/include/test_support/event_log_writer.h"
#include "../support/include/test_support/module_fixture.h"

namespace korv::test {

// Generous bound for a worker to react; only a hang ever reaches it.
inline constexpr std::chrono::seconds kPatience{60};

class WorkerTempDir : public TempDir {
 public:
  WorkerTempDir() : TempDir("korv-workers") {}
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

// Appends `count` Events records to the log at path (created when `create`); record i of
// the call carries the module text "m<first + i>" and a time that grows with it.
inline void AppendEvents(const std::string& path, int first, int count, bool create = false) {
  std::vector<LogRecord> records;
  for (int i = 0; i < count; ++i) {
    const std::string name = "m" + std::to_string(first + i);
    LogRecord rec;
    rec.time = 133000000000000000ull + std::uint64_t(first + i) * 10000000ull;
    rec.payload = EventPayload(0x10000000, std::u16string(name.begin(), name.end()));
    records.push_back(std::move(rec));
  }
  AppendRecords(path, records, create);
}

// The stand-in module from the build's bin directory, with both components open. Without
// a TearDown: the logs it keeps go before the components, after a derived fixture's workers.
class WorkerFixture : public StandinModuleTest {
 protected:
  WorkerFixture() : StandinModuleTest("korv-workers") {}
  // An Events log over the stand-in that shows every row.
  std::unique_ptr<CLog> OpenEvents(const std::string& path, int viewMode = LOG_VIEW_LIST) {
    auto log = OpenEventsLog(path, viewMode);
    log->SetFilter(ShowAll());
    return log;
  }

  // Keeps a log until the fixture goes, after the workers that a derived fixture declares.
  CLog* Keep(std::unique_ptr<CLog> log) {
    m_kept.push_back(std::move(log));
    return m_kept.back().get();
  }

  std::vector<std::unique_ptr<CLog>> m_kept;
};

}  // namespace korv::test
