#pragma once
// Calendar fields of a FILETIME and the date and time texts the viewer shows for them.
//
// The texts follow the LC_TIME locale (strftime's %x and %X). In the C or POSIX locale and
// their variants (C.UTF-8, POSIX.ISO-8859-1, ...) they are YYYY-MM-DD and HH:MM:SS, so a
// record time reads "2026-12-08 14:03:05".

#include <cstdint>
#include <string>

#include "platform/filetime.h"

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
  int day_of_week = 1;
};

// Splits a FILETIME (100-ns intervals since 1601-01-01, no zone) into calendar fields.
// Fails, like FileTimeToSystemTime, for values of 2^63 and above.
bool filetime_to_civil(FileTime time, CivilTime& out);

// True when LC_TIME is C, POSIX or a variant of them, i.e. the texts are the ISO forms.
bool time_text_is_iso();

// The short date text and the time text of `t` in the LC_TIME locale. The fields are not
// range-checked beyond what the C library needs; filetime_to_civil always yields valid ones.
std::u16string date_text(const CivilTime& t);
std::u16string time_text(const CivilTime& t);
// The same texts appended to `out`, for callers that reuse one string per row.
void append_date_text(const CivilTime& t, std::u16string& out);
void append_time_text(const CivilTime& t, std::u16string& out);

}  // namespace korv::platform
