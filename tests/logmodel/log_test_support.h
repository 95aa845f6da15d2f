#pragma once
// Opened-log tests: the stand-in module behind its own loader and holders, and Events logs
// written record by record, each with several rows.

#include <gtest/gtest.h>

#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "logmodel/log.h"
#include "platform/filetime.h"
#include "test_support/event_log_writer.h"
#include "test_support/module_fixture.h"

namespace korv::test {

struct EventRecord {
  std::vector<EventRow> rows;
  std::uint64_t time = 0;  // FILETIME
  bool deleted = false;
  std::uint32_t type = kEventsRecord;  // 0 writes an undecodable placeholder
  std::uint32_t aux = 0;
};

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
  std::vector<LogRecord> out;
  for (const EventRecord& r : records)
    out.push_back({r.type, r.time, r.deleted ? kDiskLogRecordDeleted : 0, r.aux,
                   r.type == 0 ? std::vector<std::uint8_t>(8, 0) : EventPayload(r.rows)});
  AppendRecords(path, out, true);
}

class ModuleFixture : public StandinModuleTest {
 protected:
  ModuleFixture() : StandinModuleTest("korv-log") {}
  void TearDown() override { CloseComponents(); }
  // A CLog over the stand-in, opened on `path` as an Events log.
  std::unique_ptr<CLog> OpenEvents(const std::string& path, int viewMode = LOG_VIEW_LIST,
                                   std::uint32_t flags = kSecondInterface) {
    return OpenEventsLog(path, viewMode, flags);
  }
};

}  // namespace korv::test
