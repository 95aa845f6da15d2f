// Where a cell shows its match: the ranges FindMatchRanges gives for plain and pattern
// criteria, and their agreement with the row test the filter and the search use.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "logmodel/filter_match.h"

namespace {

using korv::TextRange;
using Ranges = std::vector<TextRange>;

constexpr std::uint32_t kCase = FILTER_OPT_CASE;
constexpr std::uint32_t kWords = FILTER_OPT_WORDS;
constexpr std::uint32_t kRegex = FILTER_OPT_REGEX;

CLogFilterData Criteria(const std::u16string& text, std::uint32_t options, std::uint32_t columns) {
  CLogFilterData filter;
  filter.m_strText = text;
  filter.m_nOptions = options;
  filter.m_nColumnMask = columns;
  korv::PrepareText(filter);
  return filter;
}

std::string Show(const Ranges& ranges) {
  std::string s;
  for (const TextRange& r : ranges) s += "[" + std::to_string(r.begin) + "," + std::to_string(r.end) + ")";
  return s.empty() ? "none" : s;
}

struct RangeCase {
  const char* name;
  std::u16string text;
  std::uint32_t options;
  std::u16string cell;
  Ranges expect;
  // The criterion matches the cell only through an empty match: the row passes the filter
  // but nothing in it can be shown.
  bool onlyEmptyMatch = false;
};

// The cell is column 2, which every case's column mask includes.
constexpr int kColumn = 2;

TEST(MatchRanges, PlainAndPatternCriteria) {
  const RangeCase cases[] = {
      // Plain text: case, several and overlapping occurrences, whole words.
      {"plain folded", u"den", 0, u"Access DENIED", {{7, 10}}},
      {"plain case kept misses", u"den", kCase, u"Access DENIED", {}},
      {"plain case kept hits", u"DEN", kCase, u"Access DENIED den", {{7, 10}}},
      {"plain folds only ASCII", u"\u00e9", 0, u"\u00c9t\u00e9", {{2, 3}}},
      {"plain two apart", u"ab", 0, u"ab-ab", {{0, 2}, {3, 5}}},
      {"plain touching merge", u"ab", 0, u"abab", {{0, 4}}},
      {"plain overlapping merge", u"aa", 0, u"aaaa b aa", {{0, 4}, {7, 9}}},
      {"plain overlapping tail", u"aba", 0, u"ababa", {{0, 5}}},
      {"plain whole words", u"mark", kWords, u"marker mark remark Mark", {{7, 11}, {19, 23}}},
      {"plain whole words none", u"mark", kWords, u"marker remark", {}},
      {"plain word of separators", u"-", kWords, u"--", {{0, 2}}},
      {"plain surrogate pair", u"\U0001F600", 0, u"a\U0001F600b\U0001F600", {{1, 3}, {4, 6}}},
      {"plain after a surrogate pair", u"b", 0, u"\U0001F600b", {{2, 3}}},
      // Patterns: the same cells through RE2.
      {"regex class", u"d.n", kRegex, u"denied dan", {{0, 3}, {7, 10}}},
      {"regex folded", u"ERROR", kRegex, u"error Error", {{0, 5}, {6, 11}}},
      {"regex folds Czech", u"\u0159", kRegex, u"p\u0158i\u0159", {{1, 2}, {3, 4}}},
      {"regex case kept", u"ERROR", kRegex | kCase, u"error ERROR", {{6, 11}}},
      {"regex overlapping merge", u"aa", kRegex, u"aaa", {{0, 3}}},
      {"regex leftmost first", u"a|ab", kRegex, u"ab", {{0, 1}}},
      {"regex empty and non-empty", u"x*", kRegex, u"axxbx", {{1, 3}, {4, 5}}},
      {"regex only empty matches", u"a*", kRegex, u"bbb", {}, true},
      {"regex empty cell", u"^$", kRegex, u"", {}, true},
      {"regex anchors", u"^ab|ab$", kRegex, u"ab ab ab", {{0, 2}, {6, 8}}},
      {"regex whole words", u"mark", kRegex | kWords, u"marker mark remark", {{7, 11}}},
      {"regex whole words at both ends", u"ab", kRegex | kWords, u"ab ab", {{0, 2}, {3, 5}}},
      {"regex whole words pick the longer", u"ab|abc", kRegex | kWords, u"abc", {{0, 3}}},
      {"regex word of separators", u"-", kRegex | kWords, u"--", {{0, 2}}},
      {"regex words Czech letters", u"li", kRegex | kWords, u"p\u0159\u00edli\u0161 li", {{7, 9}}},
      {"regex dot takes a surrogate pair", u"x.y", kRegex, u"x\U0001F600y", {{0, 4}}},
      {"regex after a surrogate pair", u"b", kRegex, u"\U0001F600b\U0001F600b", {{2, 3}, {5, 6}}},
      {"regex dot over an unpaired surrogate", u"a.b", kRegex, u"a\xD800" u"b", {{0, 3}}},
      {"regex line break in cell", u"a.b", kRegex, u"a\nb", {{0, 3}}},
  };
  for (const RangeCase& c : cases) {
    SCOPED_TRACE(c.name);
    const CLogFilterData filter = Criteria(c.text, c.options, 1u << kColumn);
    Ranges ranges{{99, 100}};  // replaced, never appended to
    korv::FindMatchRanges(filter, kColumn, c.cell, ranges);
    EXPECT_EQ(Show(ranges), Show(c.expect));
    // The row test of the filter agrees: a cell has ranges exactly when it matches.
    const std::vector<std::u16string> row{u"", u"", c.cell};
    EXPECT_EQ(korv::MatchTexts(filter, row), !c.expect.empty() || c.onlyEmptyMatch);
  }
}

TEST(MatchRanges, OnlyTheColumnsAndCriteriaTheRowTestUses) {
  const struct {
    const char* name;
    std::u16string text;
    std::uint32_t options;
    std::uint32_t mask;
    int column;
    Ranges expect;
  } cases[] = {
      {"column chosen", u"x", 0, 0b100, 2, {{0, 1}}},
      {"column left out", u"x", 0, 0b011, 2, {}},
      {"no column chosen", u"x", 0, 0, 0, {}},
      {"column 31 is never searched", u"x", 0, 0xFFFFFFFFu, 31, {}},
      {"negative column", u"x", 0, 0x7FFFFFFF, -1, {}},
      {"empty text", u"", 0, 0x7FFFFFFF, 0, {}},
      {"empty pattern", u"", kRegex, 0x7FFFFFFF, 0, {}},
      {"refused pattern", u"(x", kRegex, 0x7FFFFFFF, 0, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Ranges ranges;
    korv::FindMatchRanges(Criteria(c.text, c.options, c.mask), c.column, u"x x", ranges);
    if (c.expect.empty()) {
      EXPECT_EQ(Show(ranges), "none");
    } else {
      EXPECT_EQ(Show(ranges), "[0,1)[2,3)");
    }
  }
}

TEST(MatchRanges, StopAtTheLimitAndFollowAChangedText) {
  const struct {
    const char* name;
    std::uint32_t options;
    std::size_t limit;
    Ranges expect;
  } cases[] = {
      {"plain, limit inside", 0, 3, {{0, 2}, {2, 4}}},
      {"plain, limit at a start", 0, 4, {{0, 2}, {2, 4}}},
      {"plain, limit past the end", 0, 100, {{0, 2}, {2, 4}, {6, 8}}},
      {"plain, limit 0", 0, 0, {}},
      {"regex, limit inside", kRegex, 3, {{0, 2}, {2, 4}}},
      {"regex words, limit", kRegex | kWords, 5, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Ranges ranges;
    korv::FindMatchRanges(Criteria(u"ab", c.options, 1), 0, u"ababxxab", ranges, c.limit);
    Ranges merged;
    for (const TextRange& r : c.expect) korv::AddMergedRange(merged, r);
    EXPECT_EQ(Show(ranges), Show(merged));
  }
  // A pattern prepared for another text is not used for this one.
  CLogFilterData filter = Criteria(u"ab", kRegex, 1);
  filter.m_strText = u"xx";
  Ranges ranges;
  korv::FindMatchRanges(filter, 0, u"ababxxab", ranges);
  EXPECT_EQ(Show(ranges), "[4,6)");
}

}  // namespace
