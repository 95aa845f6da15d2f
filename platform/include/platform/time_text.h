#pragma once
// Calendar fields of a FILETIME and the date and time texts the viewer shows for them.
//
// The texts follow the LC_TIME locale (strftime's %x and %X). In the C or POSIX locale and
// their variants (C.UTF-8, POSIX.ISO-8859-1, ...) they are YYYY-MM-DD and HH:MM:SS, so a
// record time reads "2026-12-08 14:03:05".

#include <cstdint>
#include <string>

namespace korv::platform {

// A broken-down time, like the Windows SYSTEMTIME: month 1..12, day 1..31, day of week
// 0 = Sunday .. 6 = Saturday.
struct CivilTime {
  int year = 1601;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int milliseconds = 0;
  int dayOfWeek = 1;
};

// 100-ns intervals from 1601-01-01 to 1970-01-01.
inline constexpr uint64_t kFileTimeUnixEpoch = 116444736000000000ULL;
inline constexpr uint64_t kFileTimeTicksPerSecond = 10000000ULL;

// Splits a FILETIME (100-ns intervals since 1601-01-01, no zone) into calendar fields.
// Fails, like FileTimeToSystemTime, for values of 2^63 and above.
bool FileTimeToCivil(uint64_t fileTime, CivilTime& out);

// True when LC_TIME is C, POSIX or a variant of them, i.e. the texts are the ISO forms.
bool TimeTextIsIso();

// The short date text and the time text of `t` in the LC_TIME locale. The fields are not
// range-checked beyond what the C library needs; FileTimeToCivil always yields valid ones.
std::u16string DateText(const CivilTime& t);
std::u16string TimeText(const CivilTime& t);

}  // namespace korv::platform
