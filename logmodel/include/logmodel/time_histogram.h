#pragma once
// Row counts per time bucket and severity class: the severity timeline's data. Only the rows'
// levels and times are read, never a record. Counts grow as rows are added (an append grows
// the newest bucket or starts new ones) and are recounted from the rows only when the filter
// or the time zone changes. When the rows' span outgrows the columns, the buckets are merged
// into the next size that fits: every size divides the next, so no row is looked at again.
//
// Every row counted is counted once: in a bucket when its time is one the list shows (not 0,
// and on the zone's clock within the years 1601 to 9999), else on the "no time" count.
// Rows come in batches that are sorted and then bucketed, so a batch costs n log n whatever
// order its times are in (a hostile log's times in random weeks would otherwise make every
// bucket an insert in the middle of the list).

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "logmodel/rec_info.h"
#include "logmodel/time_buckets.h"

namespace korv {

// Severity classes in the order of the level bits: diagnostic, information, warning, error,
// critical.
inline constexpr int kSeverityClassCount = 5;
// The class index (0 .. 4) of a level.
int SeverityClassIndex(std::uint32_t level);

// Seconds since 1970 UTC of a record time (whole seconds, rounded down).
std::int64_t UnixSecondsOf(platform::FileTime time);

// The level and time of one row, as a batch hands them over.
struct TimedLevel {
  platform::FileTime time = 0;
  std::uint32_t level = 0;
};

struct TimeBucket {
  std::int64_t start = 0;  // UTC seconds, inclusive
  std::int64_t end = 0;    // UTC seconds, exclusive
  std::array<std::uint32_t, kSeverityClassCount> counts{};
  std::uint64_t Total() const;
};

class TimeHistogram {
 public:
  // `zone` lays the buckets out (must not be null); `columns` is how many buckets the span
  // should fit in when the size is chosen.
  TimeHistogram(std::shared_ptr<const TimeZoneRules> zone, int columns);

  // A new zone or width empties the histogram: recount afterwards.
  void SetZone(std::shared_ptr<const TimeZoneRules> zone);
  void SetColumns(int columns);
  // Keeps one size whatever the span (korvlog's --bucket); nothing returns to choosing.
  void FixSize(std::optional<BucketSize> size);

  void Clear();
  // Counts one row. A row without a shown time is counted apart, in no bucket.
  void Add(platform::FileTime time, std::uint32_t level);
  // Counts every row of `rows`, in any order.
  void AddAll(std::span<const TimedLevel> rows);
  // Clear, then every row of `rows` listed in `visible` (indices into `rows`, as CLog keeps
  // its visible list). An index outside `rows` is skipped.
  void Recount(std::span<const REC_INFO_BASE> rows, std::span<const std::int32_t> visible);
  // After rows were appended at `firstNewRow` and the visible list rebuilt: counts the
  // visible entries from that row on (the visible list is in row order).
  void AddAppended(std::span<const REC_INFO_BASE> rows, std::span<const std::int32_t> visible,
                   std::size_t firstNewRow);
  // Counts the visible entries whose row index lies in [beginRow, endRow): rows inserted in
  // front (older records) or appended at the end.
  void AddRowRange(std::span<const REC_INFO_BASE> rows, std::span<const std::int32_t> visible,
                   std::size_t beginRow, std::size_t endRow);

  // Buckets holding at least one row, oldest first.
  const std::vector<TimeBucket>& Buckets() const { return m_buckets; }
  BucketSize Size() const { return m_size; }
  const TimeZoneRules& Zone() const { return *m_zone; }
  // Index of the bucket holding `utc`; -1 when no counted row falls in such a bucket.
  int BucketIndexAt(std::int64_t utc) const;
  // The largest bucket total (for scaling bars), 0 when empty.
  std::uint64_t MaxTotal() const;
  // Rows without a shown time (0, or outside the years 1601 to 9999 on the zone's clock),
  // in all and per severity class.
  std::uint64_t UntimedCount() const;
  const std::array<std::uint64_t, kSeverityClassCount>& UntimedCounts() const { return m_untimed; }
  // Rows in the buckets; CountedRows() + UntimedCount() is every row added.
  std::uint64_t CountedRows() const { return m_counted; }
  // Whether `time` goes into a bucket (see UntimedCount).
  bool HasShownTime(platform::FileTime time) const;
  // Latest minus earliest counted time, 0 when fewer than two rows were counted.
  std::int64_t SpanSeconds() const { return m_latest - m_first; }

 private:
  // Merges the buckets into `size` (larger than the current size).
  void Regroup(BucketSize size);
  // Grows the size when the span no longer fits the columns.
  void FitSpan();
  std::size_t InsertBucket(std::int64_t utc);
  struct Stamp {
    std::int64_t utc;
    std::uint32_t severity;  // class index
  };
  // Counts stamps sorted by time: their buckets are made in one walk and merged with the
  // buckets there are.
  void AddSorted(std::span<const Stamp> stamps);
  // Counts the rows `forEach` hands to its argument (time, level), called twice: sorted by
  // time first unless they come in time order.
  template <typename ForEach>
  void AddEach(ForEach forEach);

  std::shared_ptr<const TimeZoneRules> m_zone;
  int m_nColumns;
  std::optional<BucketSize> m_fixed;
  BucketSize m_size = BucketSize::kMinute;
  std::vector<TimeBucket> m_buckets;
  std::size_t m_last = 0;  // bucket of the last row added: appends mostly land there again
  std::int64_t m_first = 0, m_latest = 0;  // earliest and latest counted time
  std::uint64_t m_counted = 0;
  std::array<std::uint64_t, kSeverityClassCount> m_untimed{};
};

}  // namespace korv
