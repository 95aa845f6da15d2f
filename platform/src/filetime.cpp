#include "platform/filetime.h"

#include <ctime>
#include <cstdio>
#include <limits>

namespace korv::platform {

FileTime filetime_now() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return filetime_from_unix(ts.tv_sec, static_cast<std::uint32_t>(ts.tv_nsec));
}

FileTime filetime_from_unix(std::int64_t seconds, std::uint32_t nanoseconds) {
  constexpr auto kMax = std::numeric_limits<FileTime>::max();
  constexpr std::int64_t kEpochSeconds = static_cast<std::int64_t>(kUnixEpochTicks / kTicksPerSecond);
  if (nanoseconds >= 1000000000U) {
    seconds += nanoseconds / 1000000000U;
    nanoseconds %= 1000000000U;
  }
  if (seconds < -kEpochSeconds) return 0;
  // Seconds since 1601, non-negative from here on.
  const auto since1601 = static_cast<std::uint64_t>(seconds + kEpochSeconds);
  if (since1601 > kMax / kTicksPerSecond) return kMax;
  const FileTime whole = since1601 * kTicksPerSecond;
  const FileTime fraction = nanoseconds / 100U;
  return whole > kMax - fraction ? kMax : whole + fraction;
}

UnixTime filetime_to_unix(FileTime time) {
  const auto since1601 = static_cast<std::int64_t>(time / kTicksPerSecond);
  const auto remainder = static_cast<std::uint32_t>(time % kTicksPerSecond);
  constexpr std::int64_t kEpochSeconds = static_cast<std::int64_t>(kUnixEpochTicks / kTicksPerSecond);
  return UnixTime{since1601 - kEpochSeconds, remainder * 100U};
}

std::string filetime_to_utc_text(FileTime time) {
  const time_t seconds = static_cast<time_t>(filetime_to_unix(time).seconds);
  tm parts{};
  if (gmtime_r(&seconds, &parts) == nullptr) return "(invalid time)";
  char text[64];
  std::snprintf(text, sizeof text, "%04lld-%02d-%02d %02d:%02d:%02d",
                static_cast<long long>(parts.tm_year) + 1900, parts.tm_mon + 1, parts.tm_mday,
                parts.tm_hour, parts.tm_min, parts.tm_sec);
  return text;
}

}  // namespace korv::platform
