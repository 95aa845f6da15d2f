#pragma once
// Every criterion by which rows are selected: record types, deleted rows, a time period and
// a search text with the columns it is looked for in. A value type: the log's active filter,
// the search criteria and every dialog copy are separate objects.

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

namespace korv {
class TextPattern;
}

inline constexpr std::uint32_t FILTER_OPT_CASE = 0x1;   // case-sensitive text comparison
inline constexpr std::uint32_t FILTER_OPT_WORDS = 0x2;  // text must occur as a whole word
inline constexpr std::uint32_t FILTER_PERIOD_MASK = 0x70;
// The text is a regular expression (RE2 syntax). A bit of its own, above the period code;
// only the type mask is ever stored, so no saved setting changes meaning.
inline constexpr std::uint32_t FILTER_OPT_REGEX = 0x80;
inline constexpr std::uint32_t FILTER_SHOW_DELETED = 0x20000000;

// Period codes (m_nOptions & FILTER_PERIOD_MASK), in the order of the dialog's list.
inline constexpr std::uint32_t FILTER_PERIOD_WHOLE = 0x00;
inline constexpr std::uint32_t FILTER_PERIOD_DAY = 0x10;
inline constexpr std::uint32_t FILTER_PERIOD_WEEK = 0x20;
inline constexpr std::uint32_t FILTER_PERIOD_MONTH = 0x30;
inline constexpr std::uint32_t FILTER_PERIOD_RANGE = 0x40;

class CLogFilterData {
 public:
  // Defaults; the bounds are today 00:00:00 and 23:59:59 in the process's local time.
  CLogFilterData();
  // The same with `now` as the current clock.
  explicit CLogFilterData(std::time_t now);
  virtual ~CLogFilterData() = default;
  CLogFilterData(const CLogFilterData&) = default;
  CLogFilterData& operator=(const CLogFilterData&) = default;

  // For the periods "Last day", "Last week" and "Last month", recomputes the bounds as the
  // calendar period that contains now; any other period keeps them.
  void UpdateTimeRange();
  void UpdateTimeRange(std::time_t now);

  std::uint32_t Period() const { return m_nOptions & FILTER_PERIOD_MASK; }

  std::u16string m_strText;
  std::int64_t m_timeFrom = 0;  // seconds since 1970 UTC, inclusive
  std::int64_t m_timeTo = 0;    // inclusive
  std::uint32_t m_nOptions = 0;
  std::uint32_t m_nColumnMask = 0x7FFFFFFF;
  std::uint32_t m_nTypeMask = 0x7FFFFFFF;

  // m_strText compiled, when FILTER_OPT_REGEX is set: korv::PrepareText fills it once per
  // filter or search so that rows are not compiled for one by one. Immutable and shared
  // between copies.
  std::shared_ptr<const korv::TextPattern> m_pattern;
};

namespace korv {

// The calendar dates a time period may name: every date the list can show a record at,
// from the first FILETIME day to the last four-digit year.
inline constexpr int kFirstPeriodYear = 1601;
inline constexpr int kLastPeriodYear = 9999;

// Seconds since 1970 of a local calendar time, as mktime converts it (negative before
// 1970). False when a field is out of range (year 1601-9999, month 1-12, a day the month
// has, hour 0-23, minute and second 0-59) or mktime fails.
bool MakeLocalTime(int year, int month, int day, int hour, int minute, int second,
                   std::int64_t& out);

}  // namespace korv
