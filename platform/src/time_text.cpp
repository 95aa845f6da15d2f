#include "platform/time_text.h"

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <cwchar>

#include "platform/codepage.h"

namespace korv::platform {

bool filetime_to_civil(FileTime time, CivilTime& out) {
  if (time >= (uint64_t(1) << 63)) return false;
  using namespace std::chrono;
  const uint64_t ticks_per_day = kTicksPerSecond * 86400;
  const auto days_since_1601 = int64_t(time / ticks_per_day);
  const uint64_t rest = time % ticks_per_day;
  // 1601-01-01 is 134774 days before 1970-01-01.
  const sys_days day{days{days_since_1601 - 134774}};
  const year_month_day ymd{day};
  out.year = int(ymd.year());
  out.month = int(unsigned(ymd.month()));
  out.day = int(unsigned(ymd.day()));
  out.day_of_week = int(weekday{day}.c_encoding());
  const uint64_t secs = rest / kTicksPerSecond;
  out.hour = int(secs / 3600);
  out.minute = int(secs / 60 % 60);
  out.second = int(secs % 60);
  out.milliseconds = int(rest % kTicksPerSecond / 10000);
  return true;
}

bool time_text_is_iso() {
  const char* name = std::setlocale(LC_TIME, nullptr);
  if (!name) return true;
  auto is_variant = [name](const char* base) {
    const size_t n = std::strlen(base);
    return std::strncmp(name, base, n) == 0 && (name[n] == '\0' || name[n] == '.' || name[n] == '@');
  };
  return is_variant("C") || is_variant("POSIX");
}

namespace {

std::u16string Format(const CivilTime& t, const wchar_t* pattern) {
  std::tm tm{};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  tm.tm_wday = t.day_of_week;
  tm.tm_isdst = 0;
  wchar_t buf[128];
  const size_t n = std::wcsftime(buf, sizeof buf / sizeof buf[0], pattern, &tm);
  return wide_to_utf16(std::wstring_view(buf, n));
}

void AppendAscii(const char* s, int n, std::u16string& out) {
  for (int i = 0; i < n; ++i) out.push_back(char16_t(s[i]));
}

// Writes v (0..99999) as "%0*d" writes it: at least `width` digits, more when v needs them.
// Every row of an export formats a time, and snprintf was most of that cost.
char16_t* PutDigits(char16_t* q, int v, int width) {
  char16_t digits[5];
  int n = 0;
  do {
    digits[n++] = char16_t(u'0' + v % 10);
    v /= 10;
  } while (v > 0 && n < 5);
  for (int i = n; i < width; ++i) *q++ = u'0';
  while (n > 0) *q++ = digits[--n];
  return q;
}

bool Fits(int v, int high) { return v >= 0 && v <= high; }

// Appends "a<sep>b<sep>c" with the widths given (wa at most 5), or returns false when a field is
// outside the fast path.
bool ThreeFields(int a, int wa, int b, int c, char16_t sep, std::u16string& out) {
  if (!Fits(a, 99999) || !Fits(b, 99) || !Fits(c, 99)) return false;
  char16_t text[16];
  char16_t* q = PutDigits(text, a, wa);
  *q++ = sep;
  q = PutDigits(q, b, 2);
  *q++ = sep;
  q = PutDigits(q, c, 2);
  out.append(text, std::size_t(q - text));
  return true;
}

}  // namespace

void append_date_text(const CivilTime& t, std::u16string& out) {
  if (time_text_is_iso()) {
    if (ThreeFields(t.year, 4, t.month, t.day, u'-', out)) return;
    char buf[32];
    const int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", t.year, t.month, t.day);
    AppendAscii(buf, n < int(sizeof buf) ? n : int(sizeof buf) - 1, out);
    return;
  }
  out += Format(t, L"%x");
}

void append_time_text(const CivilTime& t, std::u16string& out) {
  if (time_text_is_iso()) {
    if (ThreeFields(t.hour, 2, t.minute, t.second, u':', out)) return;
    char buf[32];
    const int n = std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    AppendAscii(buf, n < int(sizeof buf) ? n : int(sizeof buf) - 1, out);
    return;
  }
  out += Format(t, L"%X");
}

std::u16string date_text(const CivilTime& t) {
  std::u16string out;
  append_date_text(t, out);
  return out;
}

std::u16string time_text(const CivilTime& t) {
  std::u16string out;
  append_time_text(t, out);
  return out;
}

}  // namespace korv::platform
