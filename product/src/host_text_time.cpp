// Text conversion, case and comparison services, and the time services.
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <string>

#include "host_groups.h"
#include "platform/codepage.h"
#include "platform/filetime.h"
#include "platform/time_text.h"
#include "platform/tz.h"
#include "product/module_abi.h"

namespace korv::host {
namespace {

std::string_view AnsiArg(intptr_t p, intptr_t length) {
    const char* s = Ptr<const char>(p);
    return length < 0 ? std::string_view(s) : std::string_view(s, static_cast<size_t>(length));
}

std::u16string_view WideArg(intptr_t p, intptr_t length) {
    const char16_t* s = Ptr<const char16_t>(p);
    return length < 0 ? std::u16string_view(s) : std::u16string_view(s, static_cast<size_t>(length));
}

// Copies `text` and a NUL into a caller's buffer of `capacity` units; a null
// buffer asks only for the count.
template <class C>
intptr_t CopyOut(std::basic_string_view<C> text, intptr_t buffer, intptr_t capacity, intptr_t count) {
    if (count != 0) *Ptr<uint32_t>(count) = static_cast<uint32_t>(text.size());
    if (buffer == 0) return kResultOk;
    if (capacity <= 0 || text.size() >= static_cast<size_t>(capacity)) return kResultFailed;
    std::memcpy(Ptr<C>(buffer), text.data(), text.size() * sizeof(C));
    Ptr<C>(buffer)[text.size()] = C{};
    return kResultOk;
}

char16_t Upper(char16_t c) {
    if (c >= 0xD800 && c < 0xE000) return c;
    const auto u = static_cast<char32_t>(std::towupper(static_cast<wint_t>(c)));
    return u <= 0xFFFF ? static_cast<char16_t>(u) : c;
}
char16_t Lower(char16_t c) {
    if (c >= 0xD800 && c < 0xE000) return c;
    const auto l = static_cast<char32_t>(std::towlower(static_cast<wint_t>(c)));
    return l <= 0xFFFF ? static_cast<char16_t>(l) : c;
}

// Case-insensitive comparison of at most `limit` units.
int CompareI(std::u16string_view x, std::u16string_view y, size_t limit) {
    for (size_t i = 0; i < limit; ++i) {
        const char16_t a = i < x.size() ? Lower(x[i]) : 0;
        const char16_t b = i < y.size() ? Lower(y[i]) : 0;
        if (a != b) return a < b ? -1 : 1;
        if (a == 0) return 0;
    }
    return 0;
}

// The ANSI case functions change only ASCII letters: a multi-byte locale
// charset may not be changed byte by byte.
void AsciiCase(char* s, bool upper) {
    for (; *s != '\0'; ++s) {
        if (upper && *s >= 'a' && *s <= 'z') *s = static_cast<char>(*s - 'a' + 'A');
        if (!upper && *s >= 'A' && *s <= 'Z') *s = static_cast<char>(*s - 'A' + 'a');
    }
}

template <class C>
intptr_t Allocated(std::basic_string_view<C> text, intptr_t out) {
    if (out == 0) return kResultNullPointer;
    auto* p = static_cast<C*>(std::malloc((text.size() + 1) * sizeof(C)));
    if (p == nullptr) return kResultNoMemory;
    std::memcpy(p, text.data(), text.size() * sizeof(C));
    p[text.size()] = C{};
    *Ptr<C*>(out) = p;
    return kResultOk;
}

HostSystemTime ToHost(const platform::CivilTime& c) {
    return HostSystemTime{static_cast<uint16_t>(c.year), static_cast<uint16_t>(c.month),
                          static_cast<uint16_t>(c.day_of_week), static_cast<uint16_t>(c.day),
                          static_cast<uint16_t>(c.hour), static_cast<uint16_t>(c.minute),
                          static_cast<uint16_t>(c.second), static_cast<uint16_t>(c.milliseconds)};
}

platform::CivilTime FromHost(const HostSystemTime& t) {
    platform::CivilTime c;
    c.year = t.year;
    c.month = t.month;
    c.day = t.day;
    c.hour = t.hour;
    c.minute = t.minute;
    c.second = t.second;
    c.milliseconds = t.milliseconds;
    c.day_of_week = t.day_of_week;
    return c;
}

// Days from 1601-01-01 to a valid calendar date.
bool ToFileTime(const HostSystemTime& t, platform::FileTime& out) {
    if (t.year < 1601 || t.year > 30827 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 ||
        t.hour > 23 || t.minute > 59 || t.second > 59 || t.milliseconds > 999) {
        return false;
    }
    const int64_t y = t.month <= 2 ? t.year - 1 : t.year;
    const int64_t era = y / 400;
    const int64_t yoe = y - era * 400;
    const int64_t mp = (t.month + 9) % 12;
    const int64_t doy = (153 * mp + 2) / 5 + t.day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const int64_t daysFrom0000 = era * 146097 + doe;  // days since 0000-03-01
    const int64_t days1601 = 584694;                  // 1601-01-01 in the same count
    const int64_t days = daysFrom0000 - days1601;
    const int64_t seconds = ((days * 24 + t.hour) * 60 + t.minute) * 60 + t.second;
    out = static_cast<platform::FileTime>(seconds) * platform::kTicksPerSecond +
          static_cast<platform::FileTime>(t.milliseconds) * 10000;
    return true;
}

}  // namespace

intptr_t Text(intptr_t code, const intptr_t* a) {
    switch (code) {
    case kHostAnsiToWide:
        if (a[0] == 0) return kResultNullPointer;
        return CopyOut<char16_t>(platform::ansi_to_utf16(AnsiArg(a[0], a[1])), a[2], a[3], a[4]);
    case kHostWideToAnsi:
        if (a[0] == 0) return kResultNullPointer;
        return CopyOut<char>(platform::utf16_to_ansi(WideArg(a[0], a[1])), a[2], a[3], a[4]);
    case kHostAnsiUpper:
    case kHostAnsiLower:
        if (a[0] == 0) return kResultNullPointer;
        AsciiCase(Ptr<char>(a[0]), code == kHostAnsiUpper);
        return kResultOk;
    case kHostWideUpper:
    case kHostWideLower:
        if (a[0] == 0) return kResultNullPointer;
        for (char16_t* p = Ptr<char16_t>(a[0]); *p != 0; ++p) *p = code == kHostWideUpper ? Upper(*p) : Lower(*p);
        return kResultOk;
    case kHostAnsiCompareI:
    case kHostAnsiCompareNI:
    case kHostWideCompareI:
    case kHostWideCompareNI: {
        const bool counted = code == kHostAnsiCompareNI || code == kHostWideCompareNI;
        const intptr_t out = counted ? a[3] : a[2];
        if (a[0] == 0 || a[1] == 0 || out == 0) return kResultNullPointer;
        const size_t limit = counted ? static_cast<size_t>(a[2] < 0 ? 0 : a[2]) : SIZE_MAX;
        int r;
        if (code == kHostAnsiCompareI || code == kHostAnsiCompareNI) {
            r = CompareI(platform::ansi_to_utf16(AnsiArg(a[0], -1)), platform::ansi_to_utf16(AnsiArg(a[1], -1)), limit);
        } else {
            r = CompareI(WideArg(a[0], -1), WideArg(a[1], -1), limit);
        }
        *Ptr<int32_t>(out) = r;
        return kResultOk;
    }
    case kHostAnsiToWideAlloc:
        if (a[0] == 0) return kResultNullPointer;
        return Allocated<char16_t>(platform::ansi_to_utf16(AnsiArg(a[0], -1)), a[1]);
    case kHostWideToAnsiAlloc:
        if (a[0] == 0) return kResultNullPointer;
        return Allocated<char>(platform::utf16_to_ansi(WideArg(a[0], -1)), a[1]);
    default:
        return kResultNotServed;
    }
}

intptr_t Time(intptr_t code, const intptr_t* a) {
    switch (code) {
    case kHostTimeNow:
        if (a[0] == 0) return kResultNullPointer;
        *Ptr<uint64_t>(a[0]) = platform::filetime_now();
        return kResultOk;
    case kHostTimeToSystem: {
        if (a[1] == 0) return kResultNullPointer;
        platform::CivilTime c;
        if (!platform::filetime_to_civil(static_cast<platform::FileTime>(a[0]), c)) return kResultFailed;
        *Ptr<HostSystemTime>(a[1]) = ToHost(c);
        return kResultOk;
    }
    case kHostTimeToLocal: {
        if (a[0] == 0 || a[1] == 0) return kResultNullPointer;
        platform::FileTime ft;
        if (!ToFileTime(*Ptr<const HostSystemTime>(a[0]), ft)) return kResultFailed;
        // Local time is UTC minus the zone's offset west of UTC.
        const int64_t shift = -static_cast<int64_t>(platform::process_time_zone_offset()) *
                              static_cast<int64_t>(platform::kTicksPerSecond);
        if (shift < 0 && ft < static_cast<uint64_t>(-shift)) return kResultFailed;
        ft = static_cast<platform::FileTime>(static_cast<int64_t>(ft) + shift);
        platform::CivilTime c;
        if (!platform::filetime_to_civil(ft, c)) return kResultFailed;
        *Ptr<HostSystemTime>(a[1]) = ToHost(c);
        return kResultOk;
    }
    case kHostDateText:
    case kHostTimeText: {
        if (a[0] == 0 || a[1] == 0) return kResultNullPointer;
        platform::FileTime valid;
        if (!ToFileTime(*Ptr<const HostSystemTime>(a[0]), valid)) return kResultFailed;
        const platform::CivilTime c = FromHost(*Ptr<const HostSystemTime>(a[0]));
        const std::u16string text = code == kHostDateText ? platform::date_text(c) : platform::time_text(c);
        return CopyOut<char16_t>(text, a[1], a[2], 0);
    }
    default:
        return kResultNotServed;
    }
}

}  // namespace korv::host
