#pragma once
// Time buckets of the severity timeline: their sizes, the size that makes a span fit a number
// of columns, and where the bucket holding an instant starts and ends in a shown time zone.
//
// Buckets are aligned on the local clock: an hour bucket starts on the local hour, a day
// bucket at local midnight, a week bucket at Monday 00:00. Where the offset changes, a bucket
// runs from one instant the local clock reaches a mark to the next: a day is 23 or 25 hours
// long on a daylight-saving change; a clock moved forward over a mark starts a bucket at the
// change; a repeated hour is a bucket of its own when the clock falls back onto a mark, and
// otherwise lengthens the bucket it falls in. Every size divides the next, so a bucket of one
// size lies within one bucket of every larger size.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "logmodel/time_zone_rules.h"

namespace korv {

enum class BucketSize : std::uint8_t {
  kMinute,
  kFiveMinutes,
  kFifteenMinutes,
  kThirtyMinutes,
  kHour,
  kThreeHours,
  kSixHours,
  kTwelveHours,
  kDay,
  kWeek,
};
inline constexpr int kBucketSizeCount = 10;

// Nominal length in seconds (the local-clock length; a bucket across an offset change differs).
std::int64_t BucketSeconds(BucketSize size);
// "minute", "5 minutes", ..., "week".
std::string_view BucketSizeName(BucketSize size);
// "minute", "hour" and "day", the sizes korvlog's --bucket takes; nothing for another word.
std::optional<BucketSize> ParseBucketSize(std::string_view word);

// The smallest size whose buckets cover `spanSeconds` (last minus first time) in at most
// `columns` buckets, counting the one an unaligned start adds; week when none does. Fewer
// than one column counts as one.
BucketSize ChooseBucketSize(std::int64_t spanSeconds, int columns);

// UTC start (inclusive) and end (exclusive) of the bucket holding `utc`, in seconds since 1970.
struct BucketRange {
  std::int64_t start = 0;
  std::int64_t end = 0;
};
BucketRange BucketAt(const TimeZoneRules& zone, BucketSize size, std::int64_t utc);

// The time axis: ticks at round steps of the shown zone's clock (1, 2, 5, 10, 15 and 30
// minutes; 1, 2, 3, 6 and 12 hours; a day; a week and its doublings), whatever the buckets.
// The smallest step of at least `minSeconds`.
std::int64_t AxisStep(std::int64_t minSeconds);
struct AxisTick {
  std::int64_t utc = 0;
  bool startsDay = false;  // the first tick, or the first of its local day: labelled with the date
};
// The ticks in [from, to] for `step` (from AxisStep): local multiples of the step, a week
// step's ticks on Mondays. At most `limit` ticks.
std::vector<AxisTick> AxisTicks(const TimeZoneRules& zone, std::int64_t from, std::int64_t to, std::int64_t step,
                                std::size_t limit = 4096);

}  // namespace korv
