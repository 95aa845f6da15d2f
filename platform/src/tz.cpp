#include "platform/tz.h"

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <mutex>

namespace korv::platform {
namespace {

// Copy of the C library's `timezone` after the last tzset done here; worker threads read
// this instead of the C library's global, which tzset rewrites.
std::atomic<long> g_offset_west{0};
std::once_flag g_offset_once;

void TakeOffset() {
  tzset();
  g_offset_west.store(timezone, std::memory_order_relaxed);
}

}  // namespace

std::string TimeZoneTextForOffset(int hoursEast) {
  // Widen first: negating INT_MIN would overflow.
  const long long east = hoursEast;
  return east <= 0 ? "UTC+" + std::to_string(-east) : "UTC-" + std::to_string(east);
}

bool SetProcessTimeZone(const std::string& tz) {
  std::call_once(g_offset_once, [] {});  // a later first use must not overwrite this zone
  if (setenv("TZ", tz.c_str(), 1) != 0) return false;
  TakeOffset();
  return true;
}

bool SetProcessUtcOffset(int hoursEast) { return SetProcessTimeZone(TimeZoneTextForOffset(hoursEast)); }

long ProcessTimeZoneOffset() {
  std::call_once(g_offset_once, TakeOffset);
  return g_offset_west.load(std::memory_order_relaxed);
}

}  // namespace korv::platform
