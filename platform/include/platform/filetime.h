#pragma once
// FILETIME values: 64-bit counts of 100 ns ticks since 1601-01-01 UTC, the
// time unit of the log files and of everything that compares their times.

#include <cstdint>
#include <string>

namespace korv::platform {

using FileTime = std::uint64_t;

// Ticks between 1601-01-01 and 1970-01-01.
inline constexpr FileTime kUnixEpochTicks = 116444736000000000ULL;
inline constexpr FileTime kTicksPerSecond = 10000000ULL;

struct UnixTime {
  std::int64_t seconds = 0;
  std::uint32_t nanoseconds = 0;  // 0 .. 999'999'999, a multiple of 100
};

// The current system time (UTC).
FileTime filetime_now();

// Times before 1601 clamp to 0; times past the FILETIME range clamp to the maximum.
FileTime filetime_from_unix(std::int64_t seconds, std::uint32_t nanoseconds = 0);
UnixTime filetime_to_unix(FileTime time);

// "YYYY-MM-DD HH:MM:SS" in UTC; the 100 ns remainder is dropped.
std::string filetime_to_utc_text(FileTime time);

}  // namespace korv::platform
