// Time buckets and the per-bucket severity counts of the timeline strip.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "logmodel/severity.h"
#include "logmodel/time_histogram.h"

namespace korv {
namespace {

// Seconds since 1970 of "YYYY-MM-DD HH:MM" in UTC.
std::int64_t Utc(const char* text) {
  std::tm t{};
  EXPECT_NE(strptime(text, "%Y-%m-%d %H:%M", &t), nullptr) << text;
  return std::int64_t(timegm(&t));
}

std::string UtcText(std::int64_t seconds) {
  const std::time_t t = seconds;
  std::tm tm{};
  gmtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &tm);
  return text;
}

platform::FileTime FileTimeOf(std::int64_t seconds) {
  return platform::FileTime(seconds + 11644473600LL) * platform::kTicksPerSecond;
}

// Central European rules (a one-hour step forward on the last Sunday of March at 01:00 UTC,
// back on the last Sunday of October) for the process while a test runs.
class CentralEuropeanZone : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* tz = std::getenv("TZ")) saved_ = tz, hadTz_ = true;
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
  }
  void TearDown() override {
    if (hadTz_)
      setenv("TZ", saved_.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  std::string saved_;
  bool hadTz_ = false;
};

struct BoundaryCase {
  const char* zone;  // "utc", "+0530" or "cet"
  BucketSize size;
  const char* at;
  const char* start;
  const char* end;
};

std::shared_ptr<const TimeZoneRules> ZoneNamed(const std::string& name) {
  if (name == "utc") return std::make_shared<FixedOffsetZone>(0);
  if (name == "+0530") return std::make_shared<FixedOffsetZone>(5 * 3600 + 1800);
  return std::make_shared<SystemTimeZone>();
}

using TimeBucketBoundaries = CentralEuropeanZone;

TEST_F(TimeBucketBoundaries, StartOnTheLocalClockInEveryZone) {
  const BoundaryCase cases[] = {
      {"utc", BucketSize::kHour, "2026-12-08 10:17", "2026-12-08 10:00", "2026-12-08 11:00"},
      {"utc", BucketSize::kDay, "2026-12-08 23:59", "2026-12-08 00:00", "2026-12-09 00:00"},
      {"utc", BucketSize::kWeek, "2026-12-08 17:00", "2026-12-07 00:00", "2026-12-14 00:00"},
      {"utc", BucketSize::kWeek, "2026-12-07 00:00", "2026-12-07 00:00", "2026-12-14 00:00"},
      {"utc", BucketSize::kFiveMinutes, "1969-12-31 23:58", "1969-12-31 23:55", "1970-01-01 00:00"},
      // Local midnight at +05:30 is 18:30 UTC the day before.
      {"+0530", BucketSize::kDay, "2026-12-08 17:00", "2026-12-07 18:30", "2026-12-08 18:30"},
      {"+0530", BucketSize::kDay, "2026-12-08 18:30", "2026-12-08 18:30", "2026-12-09 18:30"},
      {"+0530", BucketSize::kHour, "2026-12-08 17:10", "2026-12-08 16:30", "2026-12-08 17:30"},
      {"+0530", BucketSize::kFifteenMinutes, "2026-12-08 17:10", "2026-12-08 17:00", "2026-12-08 17:15"},
      {"+0530", BucketSize::kSixHours, "2026-12-08 17:10", "2026-12-08 12:30", "2026-12-08 18:30"},
      // Spring forward (02:00 CET -> 03:00 CEST at 01:00 UTC): the day has 23 hours.
      {"cet", BucketSize::kDay, "2026-03-29 12:00", "2026-03-28 23:00", "2026-03-29 22:00"},
      {"cet", BucketSize::kHour, "2026-03-29 00:30", "2026-03-29 00:00", "2026-03-29 01:00"},
      {"cet", BucketSize::kHour, "2026-03-29 01:30", "2026-03-29 01:00", "2026-03-29 02:00"},
      // 00:00-03:00 local lasts two hours: the clock jumps onto the 03:00 mark.
      {"cet", BucketSize::kThreeHours, "2026-03-29 00:30", "2026-03-28 23:00", "2026-03-29 01:00"},
      {"cet", BucketSize::kThreeHours, "2026-03-29 01:00", "2026-03-29 01:00", "2026-03-29 04:00"},
      // Fall back (03:00 CEST -> 02:00 CET at 01:00 UTC): the day has 25 hours.
      {"cet", BucketSize::kDay, "2026-10-25 12:00", "2026-10-24 22:00", "2026-10-25 23:00"},
      {"cet", BucketSize::kDay, "2026-10-24 21:59", "2026-10-23 22:00", "2026-10-24 22:00"},
      // The repeated 02:00 hour is a bucket of its own, twice.
      {"cet", BucketSize::kHour, "2026-10-25 00:30", "2026-10-25 00:00", "2026-10-25 01:00"},
      {"cet", BucketSize::kHour, "2026-10-25 01:30", "2026-10-25 01:00", "2026-10-25 02:00"},
      {"cet", BucketSize::kFifteenMinutes, "2026-10-25 01:10", "2026-10-25 01:00", "2026-10-25 01:15"},
      // 00:00-03:00 local holds the repeated hour: four hours long.
      {"cet", BucketSize::kThreeHours, "2026-10-25 00:30", "2026-10-24 22:00", "2026-10-25 02:00"},
      {"cet", BucketSize::kThreeHours, "2026-10-25 01:30", "2026-10-24 22:00", "2026-10-25 02:00"},
      {"cet", BucketSize::kWeek, "2026-10-25 12:00", "2026-10-18 22:00", "2026-10-25 23:00"},
  };
  for (const BoundaryCase& c : cases) {
    SCOPED_TRACE(std::string(c.zone) + " " + std::string(BucketSizeName(c.size)) + " at " + c.at);
    const auto zone = ZoneNamed(c.zone);
    const BucketRange range = BucketAt(*zone, c.size, Utc(c.at));
    EXPECT_EQ(UtcText(range.start), c.start);
    EXPECT_EQ(UtcText(range.end), c.end);
  }
}

// Across both change days, for every size: buckets hold the instant they are asked for, and
// each bucket ends where the next one starts (no gap, no overlap).
TEST_F(TimeBucketBoundaries, TileTheChangeDaysWithoutGapsOrOverlaps) {
  const SystemTimeZone zone;
  for (const char* day : {"2026-03-28 12:00", "2026-10-24 12:00"}) {
    for (int s = 0; s < kBucketSizeCount; ++s) {
      const BucketSize size = BucketSize(s);
      SCOPED_TRACE(std::string(day) + " " + std::string(BucketSizeName(size)));
      const std::int64_t from = Utc(day);
      for (std::int64_t t = from; t < from + 2 * 86400; t += 420) {
        const BucketRange range = BucketAt(zone, size, t);
        ASSERT_LE(range.start, t) << UtcText(t);
        ASSERT_GT(range.end, t) << UtcText(t);
        ASSERT_EQ(BucketAt(zone, size, range.end).start, range.end) << UtcText(t);
        ASSERT_EQ(BucketAt(zone, size, range.start - 1).end, range.start) << UtcText(t);
      }
    }
  }
}

TEST(TimeBucketSize, SmallestSizeThatFitsTheColumns) {
  const struct {
    std::int64_t span;
    int columns;
    BucketSize expected;
  } cases[] = {
      {0, 100, BucketSize::kMinute},
      {99 * 60, 100, BucketSize::kMinute},          // 99 lengths touch at most 100 buckets
      {100 * 60, 100, BucketSize::kFiveMinutes},
      {86400, 100, BucketSize::kFifteenMinutes},    // 96 + 1
      {86400, 40, BucketSize::kHour},               // 48 + 1 > 40, 24 + 1 fits
      {7 * 86400, 100, BucketSize::kThreeHours},    // 56 + 1
      {7 * 86400, 30, BucketSize::kSixHours},       // 28 + 1
      {30 * 86400, 100, BucketSize::kTwelveHours},  // 60 + 1
      {30 * 86400, 40, BucketSize::kDay},
      {365 * 86400, 100, BucketSize::kWeek},
      {20LL * 365 * 86400, 100, BucketSize::kWeek},  // nothing fits: the largest
      {60, 0, BucketSize::kFiveMinutes},              // no columns counts as one
      {-5, 10, BucketSize::kMinute},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("span " + std::to_string(c.span) + " in " + std::to_string(c.columns));
    EXPECT_EQ(ChooseBucketSize(c.span, c.columns), c.expected);
  }
}

// Rows over about `days` days with a level cycling through every class; every fifth row's
// time steps back an hour, as after a clock correction.
std::vector<REC_INFO_BASE> MakeRows(int count, std::int64_t from, double days) {
  const std::uint32_t levels[] = {0x01000000u, 0x20000000u, 0x50000000u, 0x90000000u, 0xB0000000u};
  std::vector<REC_INFO_BASE> rows;
  const std::int64_t step = std::int64_t(days * 86400 / count) + 1;
  for (int i = 0; i < count; ++i) {
    REC_INFO_BASE row;
    row.record = i;
    row.level = levels[(i * 7) % 5];
    const std::int64_t t = from + i * step - (i % 5 == 4 ? 3600 : 0);
    row.time = FileTimeOf(t);
    rows.push_back(row);
  }
  return rows;
}

std::vector<std::int32_t> VisibleWhere(const std::vector<REC_INFO_BASE>& rows, std::uint32_t classes) {
  std::vector<std::int32_t> visible;
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (classes & LevelClass(rows[i].level)) visible.push_back(std::int32_t(i));
  return visible;
}

// The counts worked out the plain way: each visible row's bucket asked for on its own.
std::map<std::int64_t, std::vector<std::uint32_t>> CountedOneByOne(const TimeZoneRules& zone, BucketSize size,
                                                                   const std::vector<REC_INFO_BASE>& rows,
                                                                   const std::vector<std::int32_t>& visible) {
  std::map<std::int64_t, std::vector<std::uint32_t>> counts;
  for (std::int32_t i : visible) {
    const BucketRange range = BucketAt(zone, size, UnixSecondsOf(rows[std::size_t(i)].time));
    auto& c = counts[range.start];
    c.resize(kSeverityClassCount);
    ++c[std::size_t(SeverityClassIndex(rows[std::size_t(i)].level))];
  }
  return counts;
}

std::map<std::int64_t, std::vector<std::uint32_t>> CountsOf(const TimeHistogram& histogram) {
  std::map<std::int64_t, std::vector<std::uint32_t>> counts;
  for (const TimeBucket& b : histogram.Buckets()) counts[b.start].assign(b.counts.begin(), b.counts.end());
  return counts;
}

using TimeHistogramCounts = CentralEuropeanZone;

TEST_F(TimeHistogramCounts, AppendsInChunksEqualARecountAndAOneByOneCount) {
  const struct {
    const char* zone;
    double days;
    int columns;
    std::size_t chunk;
  } cases[] = {
      {"utc", 0.05, 100, 7},     // minutes
      {"+0530", 2.0, 60, 50},    // grows through several sizes while rows arrive
      {"cet", 9.0, 120, 333},    // across the spring change
      {"cet", 400.0, 100, 997},  // weeks
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.zone) + " over " + std::to_string(c.days) + " days");
    const auto zone = ZoneNamed(c.zone);
    const std::vector<REC_INFO_BASE> rows = MakeRows(3000, Utc("2026-03-25 10:07"), c.days);
    const std::uint32_t classes = FILTER_TYPE_WARNING | FILTER_TYPE_ERROR | FILTER_TYPE_CRITICAL;

    TimeHistogram incremental(zone, c.columns);
    for (std::size_t n = 0; n < rows.size();) {
      const std::size_t next = std::min(rows.size(), n + c.chunk);
      const std::vector<REC_INFO_BASE> prefix(rows.begin(), rows.begin() + std::ptrdiff_t(next));
      incremental.AddAppended(prefix, VisibleWhere(prefix, classes), n);
      n = next;
    }
    TimeHistogram recounted(zone, c.columns);
    recounted.Recount(rows, VisibleWhere(rows, classes));

    // A newest-first load: older rows arrive in front of the counted ones, in growing batches.
    TimeHistogram fromNewest(zone, c.columns);
    for (std::size_t begin = rows.size(), batch = c.chunk; begin > 0; batch *= 2) {
      const std::size_t from = begin > batch ? begin - batch : 0;
      const std::vector<REC_INFO_BASE> suffix(rows.begin() + std::ptrdiff_t(from), rows.end());
      fromNewest.AddRowRange(suffix, VisibleWhere(suffix, classes), 0, begin - from);
      begin = from;
    }
    EXPECT_EQ(CountsOf(fromNewest), CountsOf(recounted));
    EXPECT_EQ(fromNewest.CountedRows(), VisibleWhere(rows, classes).size());

    EXPECT_EQ(incremental.Size(), recounted.Size());
    EXPECT_EQ(CountsOf(incremental), CountsOf(recounted));
    EXPECT_EQ(CountsOf(incremental), CountedOneByOne(*zone, incremental.Size(), rows, VisibleWhere(rows, classes)));
    EXPECT_EQ(incremental.CountedRows(), VisibleWhere(rows, classes).size());
    EXPECT_LE(incremental.Buckets().size(), std::size_t(c.columns));

    // A filter change recounts: the new counts are those of the rows the new filter shows.
    const std::vector<std::int32_t> diagnostic = VisibleWhere(rows, FILTER_TYPE_DIAGNOSTIC);
    incremental.Recount(rows, diagnostic);
    EXPECT_EQ(CountsOf(incremental), CountedOneByOne(*zone, incremental.Size(), rows, diagnostic));
    for (const TimeBucket& b : incremental.Buckets()) EXPECT_EQ(b.Total(), b.counts[0]);
  }
}

TEST(TimeHistogramRows, UntimedAndOutOfRangeEntriesStayOutOfTheBuckets) {
  std::vector<REC_INFO_BASE> rows(3);
  rows[0].time = FileTimeOf(Utc("2026-12-08 10:00"));
  rows[1].time = 0;  // a row without a time
  rows[2].time = FileTimeOf(Utc("2026-12-08 10:30"));
  rows[2].level = 0xB0000000u;
  TimeHistogram histogram(std::make_shared<FixedOffsetZone>(0), 100);
  histogram.Recount(rows, std::vector<std::int32_t>{0, 1, 2, 7, -1});
  EXPECT_EQ(histogram.CountedRows(), 2u);
  EXPECT_EQ(histogram.UntimedCount(), 1u);
  ASSERT_EQ(histogram.Buckets().size(), 2u);
  EXPECT_EQ(histogram.Buckets()[1].counts[4], 1u);
  EXPECT_EQ(histogram.BucketIndexAt(Utc("2026-12-08 10:30")), 1);
  EXPECT_EQ(histogram.BucketIndexAt(Utc("2026-12-08 10:15")), -1);
  EXPECT_EQ(histogram.MaxTotal(), 1u);
}

TEST(TimeHistogramRows, AFixedSizeIsKeptWhateverTheSpan) {
  const std::vector<REC_INFO_BASE> rows = MakeRows(500, Utc("2026-01-01 00:00"), 30.0);
  TimeHistogram histogram(std::make_shared<FixedOffsetZone>(0), 10);
  histogram.FixSize(BucketSize::kHour);
  std::vector<std::int32_t> all(rows.size());
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = std::int32_t(i);
  histogram.Recount(rows, all);
  EXPECT_EQ(histogram.Size(), BucketSize::kHour);
  for (const TimeBucket& b : histogram.Buckets()) EXPECT_EQ(b.end - b.start, 3600);
  EXPECT_EQ(CountsOf(histogram), CountedOneByOne(histogram.Zone(), BucketSize::kHour, rows, all));
}

// Whether the list shows a date for `time` at `offsetEast` seconds: worked out with the
// calendar, not with the histogram's own bounds.
bool ShownAt(platform::FileTime time, std::int64_t offsetEast) {
  if (time == 0 || time >= (platform::FileTime(1) << 63)) return false;
  const std::int64_t local = UnixSecondsOf(time) + offsetEast;
  const std::chrono::year_month_day day{std::chrono::sys_days{std::chrono::days{
      local >= 0 ? local / 86400 : (local - 86399) / 86400}}};
  return int(day.year()) >= 1601 && int(day.year()) <= 9999;
}

TEST(TimeHistogramRows, EveryRowIsCountedOnceWhateverItsTimeAndOrder) {
  // Times 0, before 1970, the last second of 9999 and just past it in either zone, 2^63 and
  // the largest FILETIME, among ordinary ones; shuffled, so batches come in any order, and
  // enough of them that a recount sorts them by radix in several blocks, over a span of 2^38
  // seconds.
  constexpr platform::FileTime kMax = ~platform::FileTime(0);
  const platform::FileTime edges[] = {
      0, 1, FileTimeOf(-86400LL * 365 * 200), FileTimeOf(-1), FileTimeOf(0), FileTimeOf(253402300799LL),
      FileTimeOf(253402300800LL - 14 * 3600), FileTimeOf(253402300800LL), FileTimeOf(253402300800LL + 12 * 3600),
      platform::FileTime(1) << 63, kMax, FileTimeOf(Utc("2026-12-08 10:00")),
  };
  std::vector<REC_INFO_BASE> rows;
  std::uint32_t seed = 7;
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  for (int i = 0; i < 140000; ++i) {
    REC_INFO_BASE row;
    row.record = i;
    row.level = next();
    // Mostly distinct weeks over four centuries, the hostile layout for inserts in the middle.
    row.time = i % 10 == 0 ? edges[std::size_t(i / 10) % std::size(edges)]
                           : FileTimeOf(std::int64_t(next() % 20000) * 604800 - 11644473600LL + 86400);
    rows.push_back(row);
  }
  std::vector<std::int32_t> all(rows.size());
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = std::int32_t(i);
  for (const std::int32_t offset : {0, 14 * 3600, -12 * 3600}) {
    SCOPED_TRACE(offset);
    const auto zone = std::make_shared<FixedOffsetZone>(offset);
    TimeHistogram recounted(zone, 200);
    recounted.Recount(rows, all);
    // The same rows in chunks of one to a few hundred, in list order.
    TimeHistogram chunked(zone, 200);
    for (std::size_t n = 0, chunk = 1; n < rows.size(); n += chunk, chunk = chunk * 3 % 500 + 1) {
      const std::size_t end = std::min(rows.size(), n + chunk);
      chunked.AddRowRange(rows, all, n, end);
    }
    std::vector<std::int32_t> shown;
    for (std::int32_t i : all)
      if (ShownAt(rows[std::size_t(i)].time, offset)) shown.push_back(i);
    EXPECT_EQ(recounted.CountedRows(), shown.size());
    EXPECT_EQ(recounted.CountedRows() + recounted.UntimedCount(), rows.size());
    EXPECT_EQ(CountsOf(recounted), CountedOneByOne(*zone, recounted.Size(), rows, shown));
    EXPECT_EQ(chunked.Size(), recounted.Size());
    EXPECT_EQ(CountsOf(chunked), CountsOf(recounted));
    EXPECT_EQ(chunked.UntimedCounts(), recounted.UntimedCounts());
    std::uint64_t inBuckets = 0;
    for (const TimeBucket& b : recounted.Buckets()) inBuckets += b.Total();
    EXPECT_EQ(inBuckets, recounted.CountedRows());
  }
}

TEST(TimeAxis, TicksFallOnRoundStepsOfTheShownZoneWithTheDateWhereADayStarts) {
  const struct {
    std::int32_t offset;
    const char* from;
    const char* to;
    std::int64_t minStep;
    std::int64_t step;
    std::vector<std::string> ticks;  // local "YYYY-MM-DD HH:MM", '*' where a date is shown
  } cases[] = {
      // UTC+3: 3-hour ticks on the local clock (00, 03, ...), not 15 hours apart.
      {3 * 3600, "2026-11-29 17:10", "2026-11-30 05:00", 9000, 10800,
       {"*2026-11-29 18:00", "2026-11-29 21:00", "*2026-11-30 00:00", "2026-11-30 03:00"}},
      {0, "2026-11-29 22:00", "2026-11-30 04:00", 3000, 3600,
       {"*2026-11-29 22:00", "2026-11-29 23:00", "*2026-11-30 00:00", "2026-11-30 01:00", "2026-11-30 02:00",
        "2026-11-30 03:00", "2026-11-30 04:00"}},
      // Days at local midnight, weeks on Mondays, in a zone west of UTC and before 1970.
      {-5 * 3600, "1969-12-29 12:00", "1970-01-02 12:00", 50000, 86400,
       {"*1969-12-30 00:00", "*1969-12-31 00:00", "*1970-01-01 00:00", "*1970-01-02 00:00"}},
      {0, "2026-11-01 00:00", "2026-11-20 00:00", 500000, 604800,
       {"*2026-11-02 00:00", "*2026-11-09 00:00", "*2026-11-16 00:00"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.from);
    const FixedOffsetZone zone(c.offset);
    const std::int64_t step = AxisStep(c.minStep);
    EXPECT_EQ(step, c.step);
    const std::int64_t from = Utc(c.from) - c.offset, to = Utc(c.to) - c.offset;
    std::vector<std::string> ticks;
    for (const AxisTick& t : AxisTicks(zone, from, to, step)) ticks.push_back((t.startsDay ? "*" : "") + UtcText(t.utc + c.offset));
    EXPECT_EQ(ticks, c.ticks);
  }
  // Centuries of span still give a bounded number of ticks.
  const std::int64_t wide = AxisStep((253402300799LL + 11644473600LL) / 10);
  EXPECT_LE(AxisTicks(FixedOffsetZone(0), -11644473600LL, 253402300799LL, wide).size(), 20u);
}

}  // namespace
}  // namespace korv
