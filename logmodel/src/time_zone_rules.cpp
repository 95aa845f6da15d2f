#include "logmodel/time_zone_rules.h"

#include <ctime>

namespace korv {

std::int32_t SystemTimeZone::OffsetAt(std::int64_t utc) const {
  const std::time_t t = static_cast<std::time_t>(utc);
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) return 0;  // outside the C library's range: as UTC
  return static_cast<std::int32_t>(local.tm_gmtoff);
}

bool FindOffsetChange(const TimeZoneRules& zone, std::int64_t after, std::int64_t upTo,
                      std::int64_t& change) {
  change = -1;
  if (zone.IsFixed() || upTo <= after) return false;
  const std::int32_t before = zone.OffsetAt(after);
  if (zone.OffsetAt(upTo) == before) return false;
  // Invariant: OffsetAt(lo) == before, OffsetAt(hi) != before.
  std::int64_t lo = after, hi = upTo;
  while (hi - lo > 1) {
    const std::int64_t mid = lo + (hi - lo) / 2;
    if (zone.OffsetAt(mid) == before)
      lo = mid;
    else
      hi = mid;
  }
  change = hi;
  return true;
}

}  // namespace korv
