#include "platform/filetime.h"

#include <gtest/gtest.h>

#include <limits>

namespace korv::platform {
namespace {

struct UnixCase {
  std::int64_t seconds;
  std::uint32_t nanoseconds;
  FileTime expected;
};

TEST(FileTime, FromUnixConvertsAndClamps) {
  const UnixCase cases[] = {
      {0, 0, kUnixEpochTicks},
      {1, 0, kUnixEpochTicks + 10000000},
      {0, 100, kUnixEpochTicks + 1},
      {0, 199, kUnixEpochTicks + 1},         // below one tick is dropped
      {0, 1500000000, kUnixEpochTicks + 15000000},  // nanoseconds carry into seconds
      {-11644473600LL, 0, 0},                // 1601-01-01 itself
      {-11644473601LL, 0, 0},                // before 1601 clamps
      {std::numeric_limits<std::int64_t>::min(), 0, 0},
      {std::numeric_limits<std::int64_t>::max() / 2, 0, std::numeric_limits<FileTime>::max()},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(filetime_from_unix(c.seconds, c.nanoseconds), c.expected)
        << c.seconds << "s " << c.nanoseconds << "ns";
  }
}

TEST(FileTime, ToUnixRoundTrips) {
  for (FileTime t : {FileTime{0}, FileTime{kUnixEpochTicks}, FileTime{kUnixEpochTicks + 12345678901ULL}}) {
    const UnixTime u = filetime_to_unix(t);
    EXPECT_EQ(filetime_from_unix(u.seconds, u.nanoseconds), t);
  }
  EXPECT_EQ(filetime_to_unix(0).seconds, -11644473600LL);
}

TEST(FileTime, UtcText) {
  const struct {
    FileTime time;
    const char* text;
  } cases[] = {
      {kUnixEpochTicks, "1970-01-01 00:00:00"},
      {0, "1601-01-01 00:00:00"},
      {filetime_from_unix(1796738585, 999999999), "2026-12-08 14:03:05"},
      {filetime_from_unix(951782400), "2000-02-29 00:00:00"},
  };
  for (const auto& c : cases) EXPECT_EQ(filetime_to_utc_text(c.time), c.text);
}

TEST(FileTime, NowIsAfter2020) {
  EXPECT_GT(filetime_now(), filetime_from_unix(1577836800));
}

}  // namespace
}  // namespace korv::platform
