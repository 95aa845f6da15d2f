// Filter criteria: defaults, relative periods, the row predicate, whole words, the search.
#include <gtest/gtest.h>

#include <algorithm>

#include "logmodel/filter_match.h"
#include "platform/tz.h"

using korv::platform::FileTime;

namespace {

std::int64_t Utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  std::int64_t t = 0;
  EXPECT_TRUE(korv::MakeLocalTime(y, mo, d, h, mi, s, t));
  return t;
}

FileTime ToFileTime(std::int64_t unix_seconds) {
  return FileTime(unix_seconds + 11644473600LL) * korv::platform::kTicksPerSecond;
}

// All tests run with the zone at UTC+0, so local calendar times are UTC.
class Filter : public ::testing::Test {
 protected:
  void SetUp() override { korv::platform::set_process_utc_offset(0); }
};

TEST_F(Filter, DefaultsAreTodayAndEverything) {
  const std::int64_t noon = Utc(2026, 12, 8, 12, 30, 0);
  const CLogFilterData f(noon);
  EXPECT_EQ(f.m_timeFrom, Utc(2026, 12, 8));
  EXPECT_EQ(f.m_timeTo, Utc(2026, 12, 8, 23, 59, 59));
  EXPECT_EQ(f.m_nOptions, 0u);
  EXPECT_EQ(f.m_nColumnMask, 0x7FFFFFFFu);
  EXPECT_EQ(f.m_nTypeMask, 0x7FFFFFFFu);
  EXPECT_TRUE(f.m_strText.empty());
}

TEST_F(Filter, RelativePeriods) {
  const struct {
    const char* name;
    std::uint32_t period;
    std::int64_t now, from, to;
  } cases[] = {
      {"day", FILTER_PERIOD_DAY, Utc(2026, 12, 8, 14), Utc(2026, 12, 8), Utc(2026, 12, 8, 23, 59, 59)},
      {"week on a Wednesday", FILTER_PERIOD_WEEK, Utc(2026, 12, 9, 8), Utc(2026, 12, 7), Utc(2026, 12, 13, 23, 59, 59)},
      {"week on a Sunday", FILTER_PERIOD_WEEK, Utc(2026, 12, 13, 22), Utc(2026, 12, 7), Utc(2026, 12, 13, 23, 59, 59)},
      {"week on a Monday", FILTER_PERIOD_WEEK, Utc(2026, 12, 7), Utc(2026, 12, 7), Utc(2026, 12, 13, 23, 59, 59)},
      {"month in December", FILTER_PERIOD_MONTH, Utc(2026, 12, 31, 23, 59, 59), Utc(2026, 12, 1), Utc(2026, 12, 31, 23, 59, 59)},
      {"leap February", FILTER_PERIOD_MONTH, Utc(2024, 2, 10), Utc(2024, 2, 1), Utc(2024, 2, 29, 23, 59, 59)},
      {"plain February", FILTER_PERIOD_MONTH, Utc(2025, 2, 10), Utc(2025, 2, 1), Utc(2025, 2, 28, 23, 59, 59)},
  };
  for (const auto& c : cases) {
    CLogFilterData f(0);
    f.m_nOptions = c.period;
    f.UpdateTimeRange(c.now);
    EXPECT_EQ(f.m_timeFrom, c.from) << c.name;
    EXPECT_EQ(f.m_timeTo, c.to) << c.name;
  }
  // Whole log and a stored range keep the bounds.
  for (std::uint32_t period : {FILTER_PERIOD_WHOLE, FILTER_PERIOD_RANGE}) {
    CLogFilterData f(0);
    f.m_nOptions = period;
    f.m_timeFrom = 5;
    f.m_timeTo = 6;
    f.UpdateTimeRange(Utc(2026, 1, 1));
    EXPECT_EQ(f.m_timeFrom, 5);
    EXPECT_EQ(f.m_timeTo, 6);
  }
}

TEST_F(Filter, PeriodFollowsProcessZone) {
  korv::platform::set_process_utc_offset(3);  // local = UTC + 3 h
  CLogFilterData f(0);
  f.m_nOptions = FILTER_PERIOD_DAY;
  f.UpdateTimeRange(0);  // 1970-01-01 03:00 local
  EXPECT_EQ(f.m_timeFrom, -3 * 3600);
  EXPECT_EQ(f.m_timeTo, -3 * 3600 + 86399);
}

TEST_F(Filter, MakeLocalTimeRejectsBadFields) {
  std::int64_t t = 0;
  const int bad[][6] = {{1600, 12, 31, 23, 59, 59}, {10000, 1, 1, 0, 0, 0}, {2026, 0, 1, 0, 0, 0},
                        {2026, 13, 1, 0, 0, 0},    {2026, 1, 0, 0, 0, 0},  {2026, 1, 32, 0, 0, 0},
                        {2026, 2, 29, 0, 0, 0},    {2026, 4, 31, 0, 0, 0}, {2026, 1, 1, 24, 0, 0},
                        {2026, 1, 1, 0, 60, 0},    {2026, 1, 1, 0, 0, 60}, {2026, 1, 1, -1, 0, 0}};
  for (const auto& b : bad) EXPECT_FALSE(korv::MakeLocalTime(b[0], b[1], b[2], b[3], b[4], b[5], t)) << b[0] << "-" << b[1] << "-" << b[2];
  // Every date the list shows, against the calendar count (the test zone is UTC).
  const struct {
    int y, mo, d, h, mi, s;
    std::int64_t expected;
  } good[] = {
      {1970, 1, 1, 0, 0, 0, 0},
      {1601, 1, 1, 0, 0, 0, -11644473600LL},
      {1969, 12, 31, 23, 59, 59, -1},
      {2024, 2, 29, 12, 0, 0, 1709208000LL},
      {9999, 12, 31, 23, 59, 59, 253402300799LL},
  };
  for (const auto& g : good) {
    EXPECT_TRUE(korv::MakeLocalTime(g.y, g.mo, g.d, g.h, g.mi, g.s, t)) << g.y;
    EXPECT_EQ(t, g.expected) << g.y;
  }
}

struct RowCase {
  const char* name;
  std::uint32_t type_mask;
  std::uint32_t options;
  std::u16string text;  // applied form: lower-cased when the case option is clear
  std::uint32_t columns;
  std::uint32_t flags, level;
  std::int64_t time;  // seconds since 1970
  std::vector<std::u16string> cells;
  bool texts_available;
  bool match;
};

TEST_F(Filter, MatchRow) {
  const std::int64_t from = Utc(2026, 12, 7), to = Utc(2026, 12, 13, 23, 59, 59);
  const std::vector<std::u16string> cells = {u"2026-12-08 10:00:00", u"Module", u"ERROR in the log."};
  const RowCase cases[] = {
      {"all shown", 0x7FFFFFFF, 0, u"", 0x7FFFFFFF, 0, 0x10000000, from, cells, true, true},
      {"type mask 0", 0, 0, u"", 0x7FFFFFFF, 0, 0x10000000, from, cells, true, false},
      {"deleted hidden", 0x1F, 0, u"", 0x7FFFFFFF, 0x20000000, 0x40000000, from, cells, true, false},
      {"deleted shown", 0x20000004, 0, u"", 0x7FFFFFFF, 0x20000000, 0x40000000, from, cells, true, true},
      {"deleted warning, warning only", 0x04, 0, u"", 0x7FFFFFFF, 0x20000000, 0x40000000, from, cells, true, false},
      {"information bit", 0x02, 0, u"", 0, 0, 0x10000000, from, cells, true, true},
      {"diagnostic not in mask", 0x02, 0, u"", 0, 0, 0x0FFFFFFF, from, cells, true, false},
      {"error bit", 0x08, 0, u"", 0, 0, 0x9FFFFFFF, from, cells, true, true},
      {"critical bit", 0x10, 0, u"", 0, 0, 0xA0000000, from, cells, true, true},
      {"at from", 0x1F, FILTER_PERIOD_RANGE, u"", 0, 0, 0, from, cells, true, true},
      {"before from", 0x1F, FILTER_PERIOD_RANGE, u"", 0, 0, 0, from - 1, cells, true, false},
      {"at to", 0x1F, FILTER_PERIOD_RANGE, u"", 0, 0, 0, to, cells, true, true},
      {"after to", 0x1F, FILTER_PERIOD_RANGE, u"", 0, 0, 0, to + 1, cells, true, false},
      {"whole log ignores time", 0x1F, 0, u"", 0, 0, 0, to + 1000, cells, true, true},
      {"text anywhere", 0x1F, 0, u"error", 0x7FFFFFFF, 0, 0, from, cells, true, true},
      {"text needs texts", 0x1F, 0, u"error", 0x7FFFFFFF, 0, 0, from, cells, false, false},
      {"column mask 0 disables text", 0x1F, 0, u"zzz", 0, 0, 0, from, cells, false, true},
      {"text in unselected column", 0x1F, 0, u"error", 0x3, 0, 0, from, cells, true, false},
      {"text in selected column", 0x1F, 0, u"error", 0x4, 0, 0, from, cells, true, true},
      {"case-sensitive miss", 0x1F, FILTER_OPT_CASE, u"error", 0x7FFFFFFF, 0, 0, from, cells, true, false},
      {"case-sensitive hit", 0x1F, FILTER_OPT_CASE, u"ERROR", 0x7FFFFFFF, 0, 0, from, cells, true, true},
      {"ERROR folded", 0x1F, 0, u"error", 0x7FFFFFFF, 0, 0, from, {u"ERROR"}, true, true},
      {"été vs ÉTÉ", 0x1F, 0, u"\u00e9t\u00e9", 0x7FFFFFFF, 0, 0, from, {u"\u00c9T\u00c9"}, true, false},
      {"été vs été", 0x1F, 0, u"\u00e9t\u00e9", 0x7FFFFFFF, 0, 0, from, {u"L'\u00e9t\u00e9"}, true, true},
      {"word in sentence", 0x1F, FILTER_OPT_WORDS, u"log", 0x7FFFFFFF, 0, 0, from, {u"the log."}, true, true},
      {"word alone", 0x1F, FILTER_OPT_WORDS, u"log", 0x7FFFFFFF, 0, 0, from, {u"log"}, true, true},
      {"word logs", 0x1F, FILTER_OPT_WORDS, u"log", 0x7FFFFFFF, 0, 0, from, {u"logs"}, true, false},
      {"word catalog", 0x1F, FILTER_OPT_WORDS, u"log", 0x7FFFFFFF, 0, 0, from, {u"catalog"}, true, false},
      {"word second occurrence", 0x1F, FILTER_OPT_WORDS, u"log", 0x7FFFFFFF, 0, 0, from, {u"xlog log"}, true, true},
      {"word after underscore", 0x1F, FILTER_OPT_WORDS, u"log", 0x7FFFFFFF, 0, 0, from, {u"a_log"}, true, true},
      {"word next to accented letter", 0x1F, FILTER_OPT_WORDS, u"log", 0x7FFFFFFF, 0, 0, from, {u"\u00e9log"}, true, false},
      {"word next to digit", 0x1F, FILTER_OPT_WORDS, u"log", 0x7FFFFFFF, 0, 0, from, {u"log2"}, true, false},
      {"no columns", 0x1F, 0, u"x", 0x7FFFFFFF, 0, 0, from, {}, true, false},
  };
  for (const auto& c : cases) {
    CLogFilterData f(0);
    f.m_nTypeMask = c.type_mask;
    f.m_nOptions = c.options;
    f.m_strText = c.text;
    f.m_nColumnMask = c.columns;
    f.m_timeFrom = from;
    f.m_timeTo = to;
    int asked = 0;
    const bool got = korv::MatchRow(
        f, c.flags, c.level, ToFileTime(c.time),
        [&](const std::vector<std::u16string>*& texts) {
          ++asked;
          texts = &c.cells;
          return c.texts_available;
        });
    EXPECT_EQ(got, c.match) << c.name;
    // The texts are asked for only when the text test runs.
    if (c.text.empty() || c.columns == 0) {
      EXPECT_EQ(asked, 0) << c.name;
    }
  }
}

TEST_F(Filter, ZeroTimeNeverPassesATimeTest) {
  CLogFilterData f(0);
  f.m_nOptions = FILTER_PERIOD_RANGE;
  f.m_timeFrom = Utc(1970, 1, 1);
  f.m_timeTo = Utc(2100, 1, 1);
  EXPECT_FALSE(korv::PassesRowTests(f, 0, 0, 0));
}

TEST(FilterText, LowerAsciiOnly) {
  std::u16string s = u"AbZ \u00c9\u0179 [@]";
  korv::LowerAscii(s);
  EXPECT_EQ(s, u"abz \u00c9\u0179 [@]");
}

// The folded search against lower-casing a copy and searching it: fixed cases at the
// edges, then generated texts of every length around the eight-unit steps.
TEST(FilterText, FoldedSearchAgreesWithLowerCasedCopy) {
  const auto reference = [](std::u16string text, std::u16string_view needle, std::size_t from) {
    korv::LowerAscii(text);
    return std::u16string_view(text).find(needle, from);
  };
  const struct {
    std::u16string text, needle;
    std::size_t from;
  } fixed[] = {{u"", u"", 0},          {u"abc", u"", 3},      {u"abc", u"", 4},
               {u"ABC", u"abc", 0},    {u"xxABC", u"abc", 2}, {u"xxABC", u"abc", 3},
               {u"\u00c9t\u00c9", u"\u00e9t", 0},  // only ASCII letters fold
               {u"aaaaaaaaaaaaaaaaaaab", u"aab", 0},   {u"[[[[[[[[[[[[{", u"{", 0},
               {u"@@@@@@@@@@@@@@@@`", u"`", 0}};      // '@' and '`' sit next to the letters
  for (const auto& c : fixed)
    EXPECT_EQ(korv::FindFolded(c.text, c.needle, c.from), reference(c.text, c.needle, c.from))
        << std::string(c.text.begin(), c.text.end());

  const char16_t alphabet[] = {u'a', u'A', u'b', u'B', u'z', u'Z', u'@', u'[', u'\u00e1', u'\u0101'};
  const std::u16string needles[] = {u"a", u"ab", u"ba", u"zab", u"abab", u"\u00e1b", u"aaaaaaaaa"};
  std::uint32_t seed = 12345;
  const auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  for (int round = 0; round < 3000; ++round) {
    std::u16string text(std::size_t(next() % 40), u' ');
    for (char16_t& ch : text) ch = alphabet[next() % std::size(alphabet)];
    const std::u16string& needle = needles[next() % std::size(needles)];
    const std::size_t from = next() % (text.size() + 2);
    ASSERT_EQ(korv::FindFolded(text, needle, from), reference(text, needle, from))
        << "round " << round;
    EXPECT_EQ(korv::FindWholeWord(text, needle, true), [&] {
      std::u16string lower = text;
      korv::LowerAscii(lower);
      return korv::FindWholeWord(lower, needle);
    }()) << "round " << round;
  }
}

struct FindCase {
  const char* name;
  int count, start;
  bool upwards;
  std::vector<int> matching;
  int expect;
  std::vector<int> order_prefix;  // the first rows examined
};

TEST(CircularFind, DirectionsAndWrap) {
  const FindCase cases[] = {
      {"one row at start", 1, 0, false, {0}, 0, {0}},
      {"down from none", 5, -1, false, {3}, 3, {0, 1, 2, 3}},
      {"up from none", 5, -1, true, {1}, 1, {4, 3, 2, 1}},
      {"down from last wraps", 5, 4, false, {0}, 0, {0}},
      {"up from first wraps", 5, 0, true, {4}, 4, {4}},
      {"down examines start last", 5, 2, false, {2}, 2, {3, 4, 0, 1, 2}},
      {"up examines start last", 5, 2, true, {2}, 2, {1, 0, 4, 3, 2}},
      {"nothing matches", 4, 1, false, {}, -1, {2, 3, 0, 1}},
      {"start clamped to count", 3, 99, false, {1}, 1, {0, 1}},
      {"empty", 0, -1, false, {}, -1, {}},
  };
  for (const auto& c : cases) {
    std::vector<int> seen;
    std::atomic<bool> cancel{false};
    const int got = korv::CircularFind(
        c.count, c.start, c.upwards,
        [&](int r) {
          seen.push_back(r);
          return std::find(c.matching.begin(), c.matching.end(), r) != c.matching.end();
        },
        nullptr, cancel);
    EXPECT_EQ(got, c.expect) << c.name;
    ASSERT_GE(seen.size(), c.order_prefix.size()) << c.name;
    EXPECT_EQ(std::vector<int>(seen.begin(), seen.begin() + std::ptrdiff_t(c.order_prefix.size())),
              c.order_prefix)
        << c.name;
    for (int r : seen) EXPECT_TRUE(r >= 0 && r < c.count) << c.name;
  }
}

TEST(CircularFind, PumpsEvery1000RowsAndStopsOnCancel) {
  std::atomic<bool> cancel{false};
  int pumps = 0, examined = 0;
  EXPECT_EQ(korv::CircularFind(2500, -1, false, [&](int) { ++examined; return false; },
                               [&] { ++pumps; }, cancel),
            -1);
  EXPECT_EQ(pumps, 3);  // rows 0, 1000, 2000
  EXPECT_EQ(examined, 2500);

  pumps = examined = 0;
  // The Stop command arrives while the second pump handles messages.
  EXPECT_EQ(korv::CircularFind(5000, -1, false, [&](int) { ++examined; return false; },
                               [&] { if (++pumps == 2) cancel = true; }, cancel),
            -1);
  EXPECT_EQ(examined, 1000);
  // Set before the search: the first pump already sees it.
  examined = 0;
  EXPECT_EQ(korv::CircularFind(10, -1, false, [&](int) { ++examined; return true; }, nullptr, cancel), -1);
  EXPECT_EQ(examined, 0);
}

}  // namespace
