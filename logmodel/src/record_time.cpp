#include "logmodel/record_time.h"

#include "platform/time_text.h"
#include "platform/tz.h"

using namespace korv::platform;

namespace {

// The time moved into the process time zone, false when that leaves the FILETIME range.
bool LocalCivil(FileTime time, CivilTime& t) {
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
  return filetime_to_civil(local, t);
}

}  // namespace

bool FormatRecordDateTime(FileTime time, std::u16string& date, std::u16string& clock) {
  date.clear();
  clock.clear();
  CivilTime t;
  if (!LocalCivil(time, t)) return false;
  append_date_text(t, date);
  append_time_text(t, clock);
  return true;
}

void AppendRecordTime(FileTime time, std::u16string& out) {
  CivilTime t;
  if (!LocalCivil(time, t)) return;
  append_date_text(t, out);
  out += u' ';
  append_time_text(t, out);
}

std::u16string FormatRecordTime(FileTime time) {
  std::u16string text;
  AppendRecordTime(time, text);
  return text;
}
