#include "logmodel/time_buckets.h"

#include <array>

namespace korv {
namespace {

constexpr std::array<std::int64_t, kBucketSizeCount> kSeconds = {
    60, 300, 900, 1800, 3600, 10800, 21600, 43200, 86400, 604800};
constexpr std::array<std::string_view, kBucketSizeCount> kNames = {
    "minute", "5 minutes", "15 minutes", "30 minutes", "hour",
    "3 hours", "6 hours", "12 hours", "day", "week"};
// 1970-01-05, the first Monday of the epoch: weeks start on Mondays.
constexpr std::int64_t kFirstMonday = 4 * 86400;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  const std::int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// The latest mark (bucket start on the local clock) at or before local time `local`.
std::int64_t FloorMark(BucketSize size, std::int64_t local) {
  const std::int64_t s = BucketSeconds(size);
  const std::int64_t origin = size == BucketSize::kWeek ? kFirstMonday : 0;
  return FloorDiv(local - origin, s) * s + origin;
}

// Whether the instant `change`, where the offset goes from `before` to `after`, starts a
// bucket: the local clock lands on a mark there, or jumps forward over one.
bool ChangeStartsBucket(BucketSize size, std::int64_t change, std::int32_t before, std::int32_t after) {
  const std::int64_t mark = FloorMark(size, change + after);
  return mark == change + after || mark > change + before;
}

// Latest bucket start at or before `utc`.
std::int64_t StartAt(const TimeZoneRules& zone, BucketSize size, std::int64_t utc) {
  for (;;) {
    const std::int32_t offset = zone.OffsetAt(utc);
    const std::int64_t start = FloorMark(size, utc + offset) - offset;
    std::int64_t change;
    if (!FindOffsetChange(zone, start, utc, change)) return start;
    // The mark lies before the offset of `utc` took effect: the bucket starts at the change
    // or, failing that, in the stretch before it.
    if (ChangeStartsBucket(size, change, zone.OffsetAt(change - 1), offset)) return change;
    utc = change - 1;
  }
}

// Earliest bucket start after `utc`.
std::int64_t EndAt(const TimeZoneRules& zone, BucketSize size, std::int64_t utc) {
  for (;;) {
    const std::int32_t offset = zone.OffsetAt(utc);
    const std::int64_t end = FloorMark(size, utc + offset) + BucketSeconds(size) - offset;
    std::int64_t change;
    if (!FindOffsetChange(zone, utc, end, change)) return end;
    if (ChangeStartsBucket(size, change, offset, zone.OffsetAt(change))) return change;
    utc = change;
  }
}

}  // namespace

std::int64_t BucketSeconds(BucketSize size) { return kSeconds[std::size_t(size)]; }

std::string_view BucketSizeName(BucketSize size) { return kNames[std::size_t(size)]; }

std::optional<BucketSize> ParseBucketSize(std::string_view word) {
  if (word == "minute") return BucketSize::kMinute;
  if (word == "hour") return BucketSize::kHour;
  if (word == "day") return BucketSize::kDay;
  return std::nullopt;
}

BucketSize ChooseBucketSize(std::int64_t spanSeconds, int columns) {
  if (columns < 1) columns = 1;
  if (spanSeconds < 0) spanSeconds = 0;
  for (int i = 0; i < kBucketSizeCount; ++i) {
    // A span of n bucket lengths touches up to n + 1 buckets when it starts off a mark.
    if (spanSeconds / kSeconds[std::size_t(i)] + 1 <= columns) return BucketSize(i);
  }
  return BucketSize::kWeek;
}

BucketRange BucketAt(const TimeZoneRules& zone, BucketSize size, std::int64_t utc) {
  return {StartAt(zone, size, utc), EndAt(zone, size, utc)};
}

std::int64_t AxisStep(std::int64_t minSeconds) {
  constexpr std::int64_t kSteps[] = {60,   120,   300,   600,   900,   1800,  3600,
                                     7200, 10800, 21600, 43200, 86400, 604800};
  for (std::int64_t step : kSteps)
    if (step >= minSeconds) return step;
  // Doubled weeks for spans of years (or centuries: a log may hold a 1601 time).
  std::int64_t step = 604800;
  while (step < minSeconds && step < (std::int64_t(1) << 50)) step *= 2;
  return step;
}

std::vector<AxisTick> AxisTicks(const TimeZoneRules& zone, std::int64_t from, std::int64_t to, std::int64_t step,
                                std::size_t limit) {
  std::vector<AxisTick> ticks;
  if (step <= 0 || to < from) return ticks;
  // Weeks and their doublings start on a Monday; every shorter step divides a day.
  const std::int64_t origin = step >= 604800 ? kFirstMonday : 0;
  std::int64_t local = from + zone.OffsetAt(from);
  std::int64_t mark = FloorDiv(local - origin, step) * step + origin;
  if (mark < local) mark += step;
  std::int64_t lastDay = 0;
  for (; ticks.size() < limit; mark += step) {
    const std::int64_t utc = mark - zone.OffsetAt(mark - zone.OffsetAt(mark));
    if (utc > to) break;
    if (utc < from) continue;
    const std::int64_t day = FloorDiv(mark, 86400);
    ticks.push_back({utc, ticks.empty() || day != lastDay});
    lastDay = day;
  }
  return ticks;
}

}  // namespace korv
