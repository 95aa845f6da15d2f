#include "logmodel/record_time.h"

#include <cstdio>

#include "platform/time_text.h"
#include "platform/tz.h"

using namespace korv::platform;

namespace {

// The time moved into the process time zone, false when that leaves the FILETIME range or
// the four-digit years (RFC 3339, the date fields and the locale's date texts stop at 9999).
bool LocalCivil(FileTime time, long offsetWest, CivilTime& t) {
  // Offset west of UTC in ticks; the C library keeps the offset within a day or so, far from
  // where seconds times 10^7 could overflow 64 bits.
  const long long shift = (long long)offsetWest * (long long)kTicksPerSecond;
  FileTime local = time;
  if (shift > 0) {
    if (local < FileTime(shift)) return false;
    local -= FileTime(shift);
  } else if (shift < 0) {
    const FileTime add = FileTime(-shift);
    if (local > ~FileTime(0) - add) return false;
    local += add;
  }
  return filetime_to_civil(local, t) && t.year <= kLastShownYear;
}

}  // namespace

bool IsShownRecordTime(FileTime time) {
  CivilTime t;
  return LocalCivil(time, process_time_zone_offset(), t);
}

bool FormatRecordDateTime(FileTime time, std::u16string& date, std::u16string& clock) {
  date.clear();
  clock.clear();
  CivilTime t;
  if (!LocalCivil(time, process_time_zone_offset(), t)) return false;
  append_date_text(t, date);
  append_time_text(t, clock);
  return true;
}

void AppendRecordTime(FileTime time, std::u16string& out) {
  CivilTime t;
  if (!LocalCivil(time, process_time_zone_offset(), t)) return;
  append_date_text(t, out);
  out += u' ';
  append_time_text(t, out);
}

std::u16string FormatRecordTime(FileTime time) {
  std::u16string text;
  AppendRecordTime(time, text);
  return text;
}

bool AppendIsoRecordTime(FileTime time, std::string& out) {
  // One read of the offset for both the shift and its text, so the two always agree.
  const long west = process_time_zone_offset();
  CivilTime t;
  if (!LocalCivil(time, west, t)) return false;
  const long east = -west;
  const long minutes = (east < 0 ? -east : east) / 60;
  char buf[40];
  const int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", t.year, t.month,
                              t.day, t.hour, t.minute, t.second, east < 0 ? '-' : '+', minutes / 60, minutes % 60);
  if (n <= 0 || std::size_t(n) >= sizeof buf) return false;
  out.append(buf, std::size_t(n));
  return true;
}
