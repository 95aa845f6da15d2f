#pragma once
// Text of a record time as the list shows it: the UTC FILETIME shifted by the process
// time-zone offset, then the locale's short date and its time joined by one blank.

#include <string>

#include "platform/filetime.h"

// The last year a shown time may fall in: every reader of an ISO 8601 / RFC 3339 date, and
// the date fields, stop at four digits.
inline constexpr int kLastShownYear = 9999;

// "2026-12-08 14:03:05" in the C locale with TZ "UTC+0". A time that the shift would move
// outside the FILETIME range or past the year 9999 has no calendar date and gives an empty
// text.
std::u16string FormatRecordTime(korv::platform::FileTime time);
// The same text appended to `out` (nothing for a time without a calendar date).
void AppendRecordTime(korv::platform::FileTime time, std::u16string& out);

// Whether the time has a calendar date in the process time zone (the list shows a text).
bool IsShownRecordTime(korv::platform::FileTime time);

// The date text and the time text separately (the XML export writes them apart). False, and
// both empty, when the shifted time has no calendar date.
bool FormatRecordDateTime(korv::platform::FileTime time, std::u16string& date, std::u16string& clock);

// The time as ISO 8601 with the offset the list applies, "2026-03-14T10:26:53+01:00" (the
// list shows whole seconds, and so does this), appended to `out` in ASCII. False, with
// nothing appended, when the shifted time has no calendar date.
bool AppendIsoRecordTime(korv::platform::FileTime time, std::string& out);
