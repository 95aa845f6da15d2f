#pragma once
// The offset from UTC in effect at an instant, for laying time buckets out in the zone the
// times are shown in. The list shows times at one fixed offset (FixedOffsetZone); a zone with
// daylight-saving changes (SystemTimeZone, the process TZ rules) lets the buckets follow a
// real local calendar.

#include <cstdint>

namespace korv {

class TimeZoneRules {
 public:
  virtual ~TimeZoneRules() = default;
  // Seconds EAST of UTC in effect at `utc` (seconds since 1970 UTC).
  virtual std::int32_t OffsetAt(std::int64_t utc) const = 0;
  // True when OffsetAt never changes; the bucket arithmetic then skips looking for changes.
  virtual bool IsFixed() const { return false; }
};

// One offset for all time: UTC, or the viewer's shown zone (whole hours), or +05:30.
class FixedOffsetZone final : public TimeZoneRules {
 public:
  explicit FixedOffsetZone(std::int32_t secondsEast) : m_nOffset(secondsEast) {}
  std::int32_t OffsetAt(std::int64_t) const override { return m_nOffset; }
  bool IsFixed() const override { return true; }

 private:
  std::int32_t m_nOffset;
};

// The process's TZ rules as the C library applies them (localtime_r), daylight saving
// included. Reads the environment: use it on the thread that sets the zone.
class SystemTimeZone final : public TimeZoneRules {
 public:
  std::int32_t OffsetAt(std::int64_t utc) const override;
};

// The instant in (after, upTo] at which the offset changes, when OffsetAt(after) differs from
// OffsetAt(upTo); false (and `change` -1) otherwise. Assumes at most one change in the interval
// (offsets change months apart; the intervals asked about are at most a few weeks).
bool FindOffsetChange(const TimeZoneRules& zone, std::int64_t after, std::int64_t upTo,
                      std::int64_t& change);

}  // namespace korv
