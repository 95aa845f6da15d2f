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

std::string time_zone_text_for_offset(int hours_east) {
  // Widen first: negating INT_MIN would overflow.
  const long long east = hours_east;
  return east <= 0 ? "UTC+" + std::to_string(-east) : "UTC-" + std::to_string(east);
}

bool set_process_time_zone(const std::string& tz) {
  std::call_once(g_offset_once, [] {});  // a later first use must not overwrite this zone
  if (setenv("TZ", tz.c_str(), 1) != 0) return false;
  TakeOffset();
  return true;
}

bool set_process_utc_offset(int hours_east) { return set_process_time_zone(time_zone_text_for_offset(hours_east)); }

long process_time_zone_offset() {
  std::call_once(g_offset_once, TakeOffset);
  return g_offset_west.load(std::memory_order_relaxed);
}

}  // namespace korv::platform
