// What a pattern may cost: the bounds past which it is refused, and the highlight's ranges,
// found in a bounded number of searches and the same as searching again one character
// after each match start would find them.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "logmodel/filter_data.h"
#include "logmodel/text_pattern.h"

namespace {

using korv::TextRange;
using Ranges = std::vector<TextRange>;

constexpr std::uint32_t kCase = FILTER_OPT_CASE;
constexpr std::uint32_t kWords = FILTER_OPT_WORDS;

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// `count` alternatives ".*x0001.*y|.*x0002.*y|...".
std::u16string Alternatives(int count) {
  std::string p;
  for (int i = 1; i <= count; ++i) {
    char item[32];
    std::snprintf(item, sizeof item, "%s.*x%04d.*y", i > 1 ? "|" : "", i);
    p += item;
  }
  return Wide(p);
}

std::string Show(const Ranges& ranges) {
  std::string s;
  for (const TextRange& r : ranges) s += "[" + std::to_string(r.begin) + "," + std::to_string(r.end) + ")";
  return s.empty() ? "none" : s;
}

TEST(PatternBounds, RefusedPastTheBoundsWithTheReason) {
  const struct {
    const char* name;
    std::u16string pattern;
    std::uint32_t options;
    const char* reason;  // empty: accepted; else the start of the reason
  } cases[] = {
      {"200 alternatives", Alternatives(200), 0, ""},
      {"1000 alternatives", Alternatives(1000), 0, "pattern too long (10999 characters, at most 4000)"},
      {"literal at the length bound", std::u16string(korv::kMaxPatternLength, u'a'), kCase, ""},
      {"literal past the length bound", std::u16string(korv::kMaxPatternLength + 1, u'a'), kCase,
       "pattern too long (4001 characters, at most 4000)"},
      {"long repetition of a byte class", u".{1000}", 0, ""},
      {"folded letters repeated", u"[a-z]{1000}", 0, ""},
      {"short but many instructions", u".{1000}.{1000}", 0, "pattern too complex ("},
      {"letters of every script, many", u"\\pL{100}", 0, "pattern too complex ("},
      {"past RE2's own memory", u"\\pL{1000}", 0,
       "pattern too complex (more than 10000 program instructions)"},
      // Whole words add the separators' classes to what is searched.
      {"letters within the bound", u"\\pL{8}", 0, ""},
      {"the same as whole words", u"\\pL{8}", kWords, "pattern too complex ("},
      {"syntax first", u"(\\pL{100}", 0, "missing )"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    const auto pattern = korv::TextPattern::Compile(c.pattern, c.options, &error);
    EXPECT_EQ(korv::PatternError(c.pattern, c.options), error);
    if (*c.reason == 0) {
      EXPECT_TRUE(pattern) << error;
      continue;
    }
    EXPECT_FALSE(pattern);
    EXPECT_EQ(error.rfind(c.reason, 0), 0u) << error;
    // A count is told with its bound.
    if (error.find("too complex (") != std::string::npos && error.find("more than") == std::string::npos) {
      EXPECT_NE(error.find(" program instructions, at most 10000)"), std::string::npos) << error;
    }
  }
}

// The ranges as searching again one character after every match start finds them: the
// matches starting at each position, by another engine (ECMAScript matches leftmost-first
// as RE2 does), merged. Only matches starting before `limit` count.
Ranges Oracle(const std::string& pattern, const std::string& cell, std::size_t limit) {
  const std::regex re(pattern);
  Ranges out;
  for (std::size_t b = 0; b <= cell.size() && b < limit; ++b) {
    std::smatch m;
    auto flags = std::regex_constants::match_continuous;
    if (b > 0) flags |= std::regex_constants::match_prev_avail;
    if (std::regex_search(cell.begin() + std::ptrdiff_t(b), cell.end(), m, re, flags) && m.length(0) > 0)
      korv::AddMergedRange(out, {b, b + std::size_t(m.length(0))});
  }
  return out;
}

TEST(PatternBounds, HighlightRangesAgreeWithTheOracle) {
  const char* patterns[] = {"aa",   "aba",    "a|ab", "ab|a",   "x*",      ".*x",     "x.*",
                            "a.*?b", "[ab]+", "b*a",  "(ab)+",  "a?b?",    "ab|bc",   "^ab|ab$",
                            "\\bab\\b", ".x.", "a{2,3}", "(a|b)*c", "a.*b|x"};
  const char* cells[] = {"", "aaa", "ababa", "axbxcx", "abcabc", "xxaxbx", "ab ab ab", "bbacab", "cabbac",
                         "aaaaab x"};
  const std::size_t limits[] = {std::size_t(-1), 1, 3};
  for (const char* p : patterns) {
    std::string error;
    const auto pattern = korv::TextPattern::Compile(Wide(p), kCase, &error);
    ASSERT_TRUE(pattern) << p << ": " << error;
    for (const char* cell : cells)
      for (std::size_t limit : limits) {
        Ranges ranges;
        pattern->FindRanges(Wide(cell), ranges, limit);
        EXPECT_EQ(Show(ranges), Show(Oracle(p, cell, limit)))
            << "pattern " << p << ", cell \"" << cell << "\", limit " << limit;
      }
  }
}

TEST(PatternBounds, HighlightSearchesACellABoundedNumberOfTimes) {
  // "abcx" over and over, then a tail without x: 10,000 characters, where searching again
  // one character after each match start takes 7,500 searches.
  std::u16string cell;
  for (int i = 0; i < 2500; ++i) cell += u"abcx";
  const std::size_t lastX = cell.size();
  cell += u" tail";
  const struct {
    const char* name;
    std::u16string pattern;
    std::uint32_t options;
    std::size_t limit;
    Ranges expect;
  } cases[] = {
      {"greedy to the last x", u".*x", 0, std::size_t(-1), {{0, lastX}}},
      {"as painted", u".*x", 0, 200, {{0, lastX}}},
      {"from a letter to the last x", u"b.*x", 0, std::size_t(-1), {{1, lastX}}},
      {"lazy inside greedy", u"a.*?c.*x", 0, std::size_t(-1), {{0, lastX}}},
      {"as whole words", u"\\S.*x", kWords, std::size_t(-1), {{0, lastX}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto pattern = korv::TextPattern::Compile(c.pattern, c.options, nullptr);
    ASSERT_TRUE(pattern);
    Ranges ranges;
    const std::size_t searches = pattern->FindRanges(cell, ranges, c.limit);
    EXPECT_EQ(Show(ranges), Show(c.expect));
    // The match, one search from inside it, one from its end: not one per character.
    EXPECT_LE(searches, 3u);
  }
  // Short matches cost one search each, and one more to find there is no other.
  const auto x = korv::TextPattern::Compile(u"x", 0, nullptr);
  Ranges ranges;
  EXPECT_EQ(x->FindRanges(u"axbxcx", ranges, std::size_t(-1)), 4u);
  EXPECT_EQ(Show(ranges), "[1,2)[3,4)[5,6)");
}

}  // namespace
