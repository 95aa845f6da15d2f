// Text conversions, time texts, the process time zone and the language table.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <ctime>

#include "platform/codepage.h"
#include "platform/langid.h"
#include "platform/time_text.h"
#include "platform/tz.h"

using namespace korv::platform;

namespace {

struct Utf8Case {
  const char* name;
  std::u16string utf16;
  std::string utf8;
};

TEST(Codepage, Utf16Utf8RoundTrip) {
  const Utf8Case cases[] = {
      {"empty", u"", ""},
      {"ascii", u"abc 123", "abc 123"},
      {"czech", u"P\u0159\u00edli\u0161 \u017elu\u0165ou\u010dk\u00fd",
       "P\xC5\x99\xC3\xADli\xC5\xA1 \xC5\xBElu\xC5\xA5ou\xC4\x8Dk\xC3\xBD"},
      {"three-byte", u"\u20AC", "\xE2\x82\xAC"},
      {"surrogate pair", u"\U0001F600", "\xF0\x9F\x98\x80"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(utf16_to_utf8(c.utf16), c.utf8) << c.name;
    EXPECT_EQ(utf8_to_utf16(c.utf8), c.utf16) << c.name;
  }
}

TEST(Codepage, BadInputBecomesReplacement) {
  const std::u16string lone_high = {u'a', char16_t(0xD800), u'b'};
  const std::u16string lone_low = {char16_t(0xDC00)};
  EXPECT_EQ(utf16_to_utf8(lone_high), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(utf16_to_utf8(lone_low), "\xEF\xBF\xBD");

  const struct {
    const char* name;
    std::string utf8;
    std::u16string utf16;
  } bad[] = {
      {"lone continuation", "a\x80z", u"a\uFFFDz"},
      {"overlong", "\xC0\xAF", u"\uFFFD\uFFFD"},
      {"cut at end", "ab\xE2\x82", u"ab\uFFFD\uFFFD"},
      {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
  };
  for (const auto& c : bad) EXPECT_EQ(utf8_to_utf16(c.utf8), c.utf16) << c.name;
}

TEST(Codepage, NamedCharsets) {
  const struct {
    const char* charset;
    std::u16string text;
    std::string bytes;
  } cases[] = {
      {"ISO-8859-2", u"\u017dlu\u0165ou\u010dk\u00fd", "\xAElu\xBBou\xE8k\xFD"},
      {"ISO-8859-1", u"caf\u00e9 \u010d", "caf\xE9 ?"},                 // č is not in Latin-1
      {"ISO-8859-1", u"x\U0001F600y", "x?y"},                           // one '?' per code point
      {"ISO-8859-1", std::u16string{u'a', char16_t(0xD800), u'b'}, "a?b"},
      {"ANSI_X3.4-1968", u"\u00e9t\u00e9", "?t?"},
      {"UTF-8", u"\u00e9", "\xC3\xA9"},
      {"NO-SUCH-CHARSET", u"a\u00e9", "a?"},
  };
  for (const auto& c : cases) {
    std::string out = "prefix:";
    append_utf16_as_charset(c.text, c.charset, out);
    EXPECT_EQ(out, "prefix:" + c.bytes) << c.charset;
  }
  EXPECT_EQ(charset_to_utf16("\xAElu\xBBou\xE8k\xFD", "ISO-8859-2"), u"\u017dlu\u0165ou\u010dk\u00fd");
  EXPECT_EQ(charset_to_utf16("a\xC3(", "UTF-8"), u"a\uFFFD(");
  EXPECT_EQ(charset_to_utf16("a\xE9", "ANSI_X3.4-1968"), u"a\uFFFD");
}

TEST(Codepage, LongTextCrossesConversionBuffer) {
  std::u16string text;
  std::string expected;
  for (int i = 0; i < 5000; ++i) {
    text += u"\u010d\u20ac";  // č is in Latin-2, € is not
    expected += "\xE8?";
  }
  std::string out;
  append_utf16_as_charset(text, "ISO-8859-2", out);
  EXPECT_EQ(out, expected);
}

TEST(Codepage, AnsiFollowsLocale) {
  // The test runs in the C locale unless LC_ALL says otherwise: ASCII there, UTF-8 in C.UTF-8.
  const char* old = std::setlocale(LC_CTYPE, nullptr);
  const std::string saved = old ? old : "C";
  if (std::setlocale(LC_CTYPE, "C.UTF-8")) {
    EXPECT_TRUE(ansi_is_utf8());
    EXPECT_EQ(utf16_to_ansi(u"\u00e9"), "\xC3\xA9");
    EXPECT_EQ(ansi_to_utf16("\xC3\xA9"), u"\u00e9");
  }
  ASSERT_TRUE(std::setlocale(LC_CTYPE, "C"));
  EXPECT_FALSE(ansi_is_utf8());
  EXPECT_EQ(utf16_to_ansi(u"\u00e9t\u00e9"), "?t?");
  std::setlocale(LC_CTYPE, saved.c_str());
}

TEST(TimeText, filetime_to_civil) {
  const struct {
    uint64_t ft;
    CivilTime want;
  } cases[] = {
      {0, {1601, 1, 1, 0, 0, 0, 0, 1}},
      {kUnixEpochTicks, {1970, 1, 1, 0, 0, 0, 0, 4}},
      // 2024-02-29 23:59:59.999 UTC: a leap day, a Thursday.
      {kUnixEpochTicks + (1709251199ULL * 10000000ULL) + 9990000ULL, {2024, 2, 29, 23, 59, 59, 999, 4}},
      // 2026-12-08 14:03:05 UTC, a Tuesday.
      {kUnixEpochTicks + 1796738585ULL * 10000000ULL, {2026, 12, 8, 14, 3, 5, 0, 2}},
      {(uint64_t(1) << 63) - 1, {30828, 9, 14, 2, 48, 5, 477, 4}},
  };
  for (const auto& c : cases) {
    CivilTime t;
    ASSERT_TRUE(filetime_to_civil(c.ft, t)) << c.ft;
    EXPECT_EQ(t.year, c.want.year) << c.ft;
    EXPECT_EQ(t.month, c.want.month) << c.ft;
    EXPECT_EQ(t.day, c.want.day) << c.ft;
    EXPECT_EQ(t.hour, c.want.hour) << c.ft;
    EXPECT_EQ(t.minute, c.want.minute) << c.ft;
    EXPECT_EQ(t.second, c.want.second) << c.ft;
    EXPECT_EQ(t.milliseconds, c.want.milliseconds) << c.ft;
    EXPECT_EQ(t.day_of_week, c.want.day_of_week) << c.ft;
  }
  CivilTime t;
  EXPECT_FALSE(filetime_to_civil(uint64_t(1) << 63, t));
  EXPECT_FALSE(filetime_to_civil(~uint64_t(0), t));
}

TEST(TimeText, IsoTextsInCLocales) {
  const char* old = std::setlocale(LC_TIME, nullptr);
  const std::string saved = old ? old : "C";
  const CivilTime t{2026, 12, 8, 14, 3, 5, 0, 2};
  for (const char* name : {"C", "POSIX", "C.UTF-8"}) {
    if (!std::setlocale(LC_TIME, name)) continue;
    EXPECT_TRUE(time_text_is_iso()) << name;
    EXPECT_EQ(date_text(t), u"2026-12-08") << name;
    EXPECT_EQ(time_text(t), u"14:03:05") << name;
  }
  const CivilTime early{1601, 1, 1, 0, 0, 9, 0, 1};
  EXPECT_EQ(date_text(early), u"1601-01-01");
  EXPECT_EQ(time_text(early), u"00:00:09");
  std::setlocale(LC_TIME, saved.c_str());
}

TEST(TimeZone, TextForOffset) {
  const struct {
    int east;
    const char* tz;
  } cases[] = {{0, "UTC+0"}, {-5, "UTC+5"}, {3, "UTC-3"}, {-12, "UTC+12"}, {14, "UTC-14"}};
  for (const auto& c : cases) EXPECT_EQ(time_zone_text_for_offset(c.east), c.tz) << c.east;
}

TEST(TimeZone, SetAndReadOffset) {
  const struct {
    int east;
    long west_seconds;
  } cases[] = {{2, -7200}, {-5, 18000}, {0, 0}, {14, -50400}};
  for (const auto& c : cases) {
    ASSERT_TRUE(set_process_utc_offset(c.east));
    EXPECT_EQ(process_time_zone_offset(), c.west_seconds) << c.east;
    EXPECT_STREQ(std::getenv("TZ"), time_zone_text_for_offset(c.east).c_str());
    // localtime follows: 1970-01-01 00:00:00 UTC seen from the zone.
    const std::time_t zero = 0;
    std::tm tm{};
    localtime_r(&zero, &tm);
    const long local_seconds = (tm.tm_mday == 1 ? 0 : -86400) + tm.tm_hour * 3600L;
    EXPECT_EQ(local_seconds, -c.west_seconds) << c.east;
  }
}

TEST(LangId, KnownAndUnknown) {
  const struct {
    uint16_t id;
    const char* language;
    const char* country;
  } cases[] = {
      {1033, "English", "United States"}, {1031, "German", "Germany"},
      {1029, "Czech", "Czech Republic"},  {2057, "English", "United Kingdom"},
      {3079, "German", "Austria"},        {1051, "Slovak", "Slovakia"},
  };
  for (const auto& c : cases) {
    LanguageNames names;
    ASSERT_TRUE(lookup_language(c.id, names)) << c.id;
    EXPECT_EQ(names.language, c.language) << c.id;
    EXPECT_EQ(names.country, c.country) << c.id;
  }
  LanguageNames names{"x", "y"};
  EXPECT_FALSE(lookup_language(0, names));
  EXPECT_TRUE(names.language.empty());
  EXPECT_FALSE(lookup_language(0xFFFF, names));
}

}  // namespace
