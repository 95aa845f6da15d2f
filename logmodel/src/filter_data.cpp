#include "logmodel/filter_data.h"

#include <algorithm>
#include <chrono>

namespace korv {

bool MakeLocalTime(int year, int month, int day, int hour, int minute, int second,
                   std::int64_t& out) {
  if (year < kFirstPeriodYear || year > kLastPeriodYear || month < 1 || month > 12 || hour < 0 || hour > 23 ||
      minute < 0 || minute > 59 || second < 0 || second > 59)
    return false;
  // mktime would move 30 February to March without a word.
  const std::chrono::year_month_day date{std::chrono::year(year), std::chrono::month(unsigned(month)),
                                         std::chrono::day(unsigned(std::max(day, 0)))};
  if (day < 1 || !date.ok()) return false;
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = 0;  // the process zone is a fixed offset without daylight saving
  tm.tm_wday = -1;  // mktime sets it on success; -1 is also a valid time, so test this
  const std::time_t t = std::mktime(&tm);
  if (tm.tm_wday < 0) return false;
  out = std::int64_t(t);
  return true;
}

}  // namespace korv

namespace {

bool LocalFields(std::time_t now, std::tm& out) { return localtime_r(&now, &out) != nullptr; }

void SetToday(std::time_t now, std::int64_t& from, std::int64_t& to) {
  std::tm tm{};
  if (!LocalFields(now, tm)) return;
  const int y = tm.tm_year + 1900, m = tm.tm_mon + 1, d = tm.tm_mday;
  std::int64_t f = 0, t = 0;
  if (korv::MakeLocalTime(y, m, d, 0, 0, 0, f) && korv::MakeLocalTime(y, m, d, 23, 59, 59, t)) {
    from = f;
    to = t;
  }
}

}  // namespace

CLogFilterData::CLogFilterData() : CLogFilterData(std::time(nullptr)) {}

CLogFilterData::CLogFilterData(std::time_t now) { SetToday(now, m_timeFrom, m_timeTo); }

void CLogFilterData::UpdateTimeRange() { UpdateTimeRange(std::time(nullptr)); }

void CLogFilterData::UpdateTimeRange(std::time_t now) {
  std::tm tm{};
  switch (Period()) {
    case FILTER_PERIOD_DAY:
      SetToday(now, m_timeFrom, m_timeTo);
      break;
    case FILTER_PERIOD_WEEK: {
      if (!LocalFields(now, tm)) return;
      std::int64_t today = 0;
      if (!korv::MakeLocalTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, 0, 0, 0, today)) return;
      const int weekday = tm.tm_wday == 0 ? 7 : tm.tm_wday;  // Monday 1 .. Sunday 7
      m_timeFrom = today - std::int64_t(weekday - 1) * 86400;
      m_timeTo = m_timeFrom + 604799;
      break;
    }
    case FILTER_PERIOD_MONTH: {
      if (!LocalFields(now, tm)) return;
      const int y = tm.tm_year + 1900, m = tm.tm_mon + 1;
      std::int64_t first = 0, next = 0;
      if (!korv::MakeLocalTime(y, m, 1, 0, 0, 0, first)) return;
      if (!korv::MakeLocalTime(m == 12 ? y + 1 : y, m == 12 ? 1 : m + 1, 1, 0, 0, 0, next)) return;
      m_timeFrom = first;
      m_timeTo = next - 1;
      break;
    }
    default:
      break;
  }
}
