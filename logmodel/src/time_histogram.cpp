#include "logmodel/time_histogram.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstdint>
#include <utility>

#include "logmodel/severity.h"

namespace korv {
namespace {

// Local seconds since 1970 of 1601-01-01 00:00:00 and of 10000-01-01 00:00:00: a shown time
// lies in between on the zone's clock.
constexpr std::int64_t kFirstShownLocal = -11644473600LL;
constexpr std::int64_t kEndShownLocal = 253402300800LL;

// Sorts stamps by time, `other` the scratch of its passes. A filter or zone change recounts
// every visible row on the window's thread: a radix sort on the time less the earliest takes
// a few passes over a block, 11 bits a pass (a year of seconds takes three), rather than some
// twenty comparisons a stamp.
template <typename Stamp>
void SortByTime(std::vector<Stamp>& stamps, std::vector<Stamp>& other) {
  constexpr std::size_t kRadixFrom = 1024;
  if (stamps.size() < kRadixFrom) {
    std::sort(stamps.begin(), stamps.end(), [](const Stamp& a, const Stamp& b) { return a.utc < b.utc; });
    return;
  }
  const auto [lo, hi] = std::minmax_element(stamps.begin(), stamps.end(),
                                            [](const Stamp& a, const Stamp& b) { return a.utc < b.utc; });
  const std::uint64_t base = std::uint64_t(lo->utc);
  const int bits = std::bit_width(std::uint64_t(hi->utc) - base);  // modulo 2^64: exact
  constexpr int kBits = 11;
  constexpr std::size_t kDigits = std::size_t(1) << kBits;
  other.resize(stamps.size());
  for (int shift = 0; shift < bits; shift += kBits) {
    auto digit = [&](const Stamp& s) { return std::size_t(((std::uint64_t(s.utc) - base) >> shift) & (kDigits - 1)); };
    std::array<std::size_t, kDigits> start{};
    for (const Stamp& s : stamps) ++start[digit(s)];
    std::size_t sum = 0;
    for (std::size_t& n : start) sum += std::exchange(n, sum);
    for (const Stamp& s : stamps) other[start[digit(s)]++] = s;
    stamps.swap(other);
  }
}

}  // namespace

int SeverityClassIndex(std::uint32_t level) {
  switch (LevelClass(level)) {
    case FILTER_TYPE_DIAGNOSTIC: return 0;
    case FILTER_TYPE_INFORMATION: return 1;
    case FILTER_TYPE_WARNING: return 2;
    case FILTER_TYPE_ERROR: return 3;
    default: return 4;
  }
}

std::int64_t UnixSecondsOf(platform::FileTime time) {
  // Unsigned division first: the quotient is far below 2^63, so the subtraction is safe.
  return std::int64_t(time / platform::kTicksPerSecond) - std::int64_t(platform::kUnixEpochTicks / platform::kTicksPerSecond);
}

std::uint64_t TimeBucket::Total() const {
  std::uint64_t total = 0;
  for (std::uint32_t c : counts) total += c;
  return total;
}

TimeHistogram::TimeHistogram(std::shared_ptr<const TimeZoneRules> zone, int columns)
    : m_zone(std::move(zone)), m_nColumns(std::max(columns, 1)) {}

void TimeHistogram::SetZone(std::shared_ptr<const TimeZoneRules> zone) {
  m_zone = std::move(zone);
  Clear();
}

void TimeHistogram::SetColumns(int columns) {
  m_nColumns = std::max(columns, 1);
  Clear();
}

void TimeHistogram::FixSize(std::optional<BucketSize> size) {
  m_fixed = size;
  Clear();
}

void TimeHistogram::Clear() {
  m_buckets.clear();
  m_last = 0;
  m_first = m_latest = 0;
  m_counted = 0;
  m_untimed = {};
  m_size = m_fixed.value_or(BucketSize::kMinute);
}

bool TimeHistogram::HasShownTime(platform::FileTime time) const {
  if (time == 0) return false;  // the format's "no time"
  const std::int64_t t = UnixSecondsOf(time);
  const std::int64_t local = t + m_zone->OffsetAt(t);
  return local >= kFirstShownLocal && local < kEndShownLocal;
}

void TimeHistogram::Add(platform::FileTime time, std::uint32_t level) {
  if (!HasShownTime(time)) {
    ++m_untimed[std::size_t(SeverityClassIndex(level))];
    return;
  }
  const std::int64_t t = UnixSecondsOf(time);
  if (m_counted == 0) {
    m_first = m_latest = t;
    FitSpan();
  } else if (t < m_first || t > m_latest) {
    // Only a wider span can need larger buckets.
    m_first = std::min(m_first, t);
    m_latest = std::max(m_latest, t);
    FitSpan();
  }
  ++m_counted;
  std::size_t i = m_last;
  if (i >= m_buckets.size() || t < m_buckets[i].start || t >= m_buckets[i].end) {
    const int found = BucketIndexAt(t);
    i = found >= 0 ? std::size_t(found) : InsertBucket(t);
  }
  m_last = i;
  ++m_buckets[i].counts[std::size_t(SeverityClassIndex(level))];
}

template <typename ForEach>
void TimeHistogram::AddEach(ForEach forEach) {
  // One walk, a block of stamps at a time, each block sorted before it is bucketed: a log in
  // time order sorts nothing, and one that is not (a clock set back, merged writers) sorts
  // blocks that stay in the cache, never a copy of every row.
  constexpr std::size_t kBlock = std::size_t(1) << 16;
  std::vector<Stamp> stamps;
  std::vector<Stamp> spare;
  stamps.reserve(kBlock);
  bool sorted = true;
  auto flush = [&] {
    if (!sorted) SortByTime(stamps, spare);
    AddSorted(stamps);
    stamps.clear();
    sorted = true;
  };
  forEach([&](platform::FileTime time, std::uint32_t level) {
    if (!HasShownTime(time)) {
      ++m_untimed[std::size_t(SeverityClassIndex(level))];
      return;
    }
    const std::int64_t t = UnixSecondsOf(time);
    if (!stamps.empty() && t < stamps.back().utc) sorted = false;
    stamps.push_back({t, std::uint32_t(SeverityClassIndex(level))});
    if (stamps.size() == kBlock) flush();
  });
  flush();
}

void TimeHistogram::AddAll(std::span<const TimedLevel> rows) {
  AddEach([rows](auto&& count) {
    for (const TimedLevel& row : rows) count(row.time, row.level);
  });
}

void TimeHistogram::AddSorted(std::span<const Stamp> stamps) {
  if (stamps.empty()) return;
  if (m_counted == 0) {
    m_first = stamps.front().utc;
    m_latest = stamps.back().utc;
  } else {
    m_first = std::min(m_first, stamps.front().utc);
    m_latest = std::max(m_latest, stamps.back().utc);
  }
  m_counted += stamps.size();
  FitSpan();
  std::vector<TimeBucket> fresh;
  for (const Stamp& s : stamps) {
    if (fresh.empty() || s.utc >= fresh.back().end) {
      const BucketRange range = BucketAt(*m_zone, m_size, s.utc);
      fresh.push_back(TimeBucket{range.start, range.end, {}});
    }
    ++fresh.back().counts[s.severity];
  }
  // Rows after the ones counted (an append, a block of a log in time order) only add at the end.
  if (!m_buckets.empty() && fresh.front().start >= m_buckets.back().start) {
    std::size_t b = 0;
    if (fresh.front().start == m_buckets.back().start) {
      for (std::size_t c = 0; c < fresh.front().counts.size(); ++c) m_buckets.back().counts[c] += fresh.front().counts[c];
      b = 1;
    }
    m_buckets.insert(m_buckets.end(), fresh.begin() + std::ptrdiff_t(b), fresh.end());
    m_last = m_buckets.size() - 1;
    return;
  }
  // Both lists are oldest first and hold buckets of one size, which never overlap unless
  // they are the same bucket.
  std::vector<TimeBucket> merged;
  merged.reserve(m_buckets.size() + fresh.size());
  std::size_t a = 0, b = 0;
  while (a < m_buckets.size() || b < fresh.size()) {
    if (b == fresh.size() || (a < m_buckets.size() && m_buckets[a].start < fresh[b].start)) {
      merged.push_back(m_buckets[a++]);
    } else if (a == m_buckets.size() || fresh[b].start < m_buckets[a].start) {
      merged.push_back(fresh[b++]);
    } else {
      merged.push_back(m_buckets[a++]);
      for (std::size_t c = 0; c < merged.back().counts.size(); ++c) merged.back().counts[c] += fresh[b].counts[c];
      ++b;
    }
  }
  m_buckets = std::move(merged);
  m_last = 0;
}

void TimeHistogram::Recount(std::span<const REC_INFO_BASE> rows, std::span<const std::int32_t> visible) {
  Clear();
  AddAppended(rows, visible, 0);
}

void TimeHistogram::AddAppended(std::span<const REC_INFO_BASE> rows, std::span<const std::int32_t> visible,
                                std::size_t firstNewRow) {
  AddRowRange(rows, visible, firstNewRow, rows.size());
}

void TimeHistogram::AddRowRange(std::span<const REC_INFO_BASE> rows, std::span<const std::int32_t> visible,
                                std::size_t beginRow, std::size_t endRow) {
  const auto first = std::lower_bound(visible.begin(), visible.end(), std::int64_t(beginRow),
                                      [](std::int32_t entry, std::int64_t row) { return std::int64_t(entry) < row; });
  AddEach([&](auto&& count) {
    for (auto it = first; it != visible.end() && std::int64_t(*it) < std::int64_t(endRow); ++it) {
      if (*it < 0 || std::size_t(*it) >= rows.size()) continue;
      const REC_INFO_BASE& row = rows[std::size_t(*it)];
      count(row.time, row.level);
    }
  });
}

int TimeHistogram::BucketIndexAt(std::int64_t utc) const {
  auto it = std::upper_bound(m_buckets.begin(), m_buckets.end(), utc,
                             [](std::int64_t t, const TimeBucket& b) { return t < b.start; });
  if (it == m_buckets.begin()) return -1;
  --it;
  return utc < it->end ? int(it - m_buckets.begin()) : -1;
}

std::uint64_t TimeHistogram::UntimedCount() const {
  std::uint64_t total = 0;
  for (std::uint64_t n : m_untimed) total += n;
  return total;
}

std::uint64_t TimeHistogram::MaxTotal() const {
  std::uint64_t most = 0;
  for (const TimeBucket& b : m_buckets) most = std::max(most, b.Total());
  return most;
}

std::size_t TimeHistogram::InsertBucket(std::int64_t utc) {
  const BucketRange range = BucketAt(*m_zone, m_size, utc);
  TimeBucket bucket;
  bucket.start = range.start;
  bucket.end = range.end;
  auto it = std::upper_bound(m_buckets.begin(), m_buckets.end(), range.start,
                             [](std::int64_t t, const TimeBucket& b) { return t < b.start; });
  // Take the index before inserting: the insert may move the buckets.
  const std::size_t index = std::size_t(it - m_buckets.begin());
  m_buckets.insert(it, bucket);
  return index;
}

void TimeHistogram::FitSpan() {
  if (m_fixed) return;
  const BucketSize wanted = ChooseBucketSize(m_latest - m_first, m_nColumns);
  if (wanted > m_size) Regroup(wanted);
}

void TimeHistogram::Regroup(BucketSize size) {
  m_size = size;
  std::vector<TimeBucket> merged;
  for (const TimeBucket& b : m_buckets) {
    if (merged.empty() || b.start >= merged.back().end) {
      const BucketRange range = BucketAt(*m_zone, size, b.start);
      merged.push_back(TimeBucket{range.start, range.end, {}});
    }
    for (std::size_t c = 0; c < b.counts.size(); ++c) merged.back().counts[c] += b.counts[c];
  }
  m_buckets = std::move(merged);
  m_last = 0;
}

}  // namespace korv
