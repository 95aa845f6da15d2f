#pragma once
// Events logs written by the tests themselves: the payload of Events rows, and records
// appended through the stand-in's log file writer.

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "logmodel/filter_data.h"
#include "platform/file.h"
#include "standin/logfile.h"
#include "standin/payload.h"

namespace korv::test {

// The Events log kind as the log-type table and the stand-in module know it.
inline constexpr std::int32_t kEventsType = 2;
inline constexpr std::uint32_t kEventsRecord = 0x00010002;
inline constexpr std::uint32_t kSecondInterface = 0x8;
inline constexpr std::uint32_t kFirstInterface = 0x2;

// One Events row: a module name, a message id and a user.
struct EventRow {
  std::uint32_t level = 0x10000000;
  std::u16string module;
  std::uint32_t msg = 1;
  std::u16string user = u"SYSTEM";
};

// The payload of an Events record with these rows; empty when the encoder refuses them.
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

// One row of `level` from `module`, message 1, user SYSTEM.
inline std::vector<std::uint8_t> EventPayload(std::uint32_t level, std::u16string_view module) {
  return EventPayload({EventRow{level, std::u16string(module)}});
}

// A record to append: the header fields and the payload it owns.
struct LogRecord {
  std::uint32_t type = kEventsRecord;
  std::uint64_t time = 0;  // FILETIME
  std::uint32_t flags = 0;
  std::uint32_t aux = 0;
  std::vector<std::uint8_t> payload;
};

// Appends `records` to the log at `path`, creating it when `create`.
inline void AppendRecords(const std::string& path, const std::vector<LogRecord>& records, bool create) {
  standin::LogFileWriter w;
  ASSERT_EQ(create ? w.create(path) : w.open(path), platform::FileError::ok);
  for (const LogRecord& r : records) {
    standin::NewRecord rec;
    rec.type = r.type;
    rec.time = r.time;
    rec.flags = r.flags;
    rec.aux = r.aux;
    rec.payload = std::span<const unsigned char>(r.payload.data(), r.payload.size());
    ASSERT_EQ(w.append(rec), platform::FileError::ok);
  }
  ASSERT_EQ(w.flush(), platform::FileError::ok);
  ASSERT_EQ(w.close(), platform::FileError::ok);
}

// Sets the deleted flag of record `recordNumber` of the log at `path`.
inline void MarkDeleted(const std::string& path, std::uint32_t recordNumber) {
  standin::LogFileWriter w;
  ASSERT_EQ(w.open(path), platform::FileError::ok);
  ASSERT_EQ(w.mark_deleted(recordNumber), platform::FileError::ok);
  ASSERT_EQ(w.close(), platform::FileError::ok);
}

// Criteria that show every row, deleted ones included, over the whole log.
inline CLogFilterData ShowAll() {
  CLogFilterData f;
  f.m_nTypeMask = 0x7FFFFFFF;
  f.m_nOptions = 0;
  return f;
}

}  // namespace korv::test
