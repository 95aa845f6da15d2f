#include "logmodel/record_time.h"

#include "platform/time_text.h"
#include "platform/tz.h"

using namespace korv::platform;

bool FormatRecordDateTime(FileTime time, std::u16string& date, std::u16string& clock) {
  date.clear();
  clock.clear();
  // Offset west of UTC in ticks; the C library keeps the offset within a day or so, far from
  // where seconds times 10^7 could overflow 64 bits.
  const long long shift = (long long)process_time_zone_offset() * (long long)kTicksPerSecond;
  FileTime local = time;
  if (shift > 0) {
    if (local < FileTime(shift)) return false;
    local -= FileTime(shift);
  } else if (shift < 0) {
    const FileTime add = FileTime(-shift);
    if (local > ~FileTime(0) - add) return false;
    local += add;
  }
  CivilTime t;
  if (!filetime_to_civil(local, t)) return false;
  date = date_text(t);
  clock = time_text(t);
  return true;
}

std::u16string FormatRecordTime(FileTime time) {
  std::u16string date;
  std::u16string clock;
  if (!FormatRecordDateTime(time, date, clock)) return {};
  date += u' ';
  date += clock;
  return date;
}
