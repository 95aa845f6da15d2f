// Regular-expression criteria: compiling, matching cells, whole words, case, and the way
// the prepared criteria reach MatchTexts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "logmodel/filter_match.h"
#include "logmodel/text_pattern.h"

namespace {

constexpr std::uint32_t kCase = FILTER_OPT_CASE;
constexpr std::uint32_t kWords = FILTER_OPT_WORDS;

struct MatchCase {
  const char* name;
  std::u16string pattern;
  std::uint32_t options;  // FILTER_OPT_CASE and FILTER_OPT_WORDS
  std::u16string cell;
  bool expect;
};

TEST(TextPattern, MatchesCells) {
  const MatchCase cases[] = {
      // Literals and anchors: the pattern may occur anywhere unless anchored.
      {"literal inside", u"denied", 0, u"access denied by rule", true},
      {"literal absent", u"denied", 0, u"access granted", false},
      {"literal folds KELVIN SIGN", u"KorvMark", 0, u"\u212aorvmar\u212a", true},
      {"literal folds LONG S", u"sys", 0, u"\u017fy\u017f", true},
      {"literal kept with KELVIN SIGN", u"Mark", kCase, u"Mar\u212a", false},
      {"escaped dots are dots", u"10\\.0\\.0\\.1", kCase, u"ip 10.0.0.1", true},
      {"escaped dots not any", u"10\\.0\\.0\\.1", kCase, u"ip 10x0y0z1", false},
      {"literal as a whole word", u"Mark", kCase | kWords, u"Marker Mark!", true},
      {"literal not a whole word", u"Mark", kCase | kWords, u"Marker KorvMark", false},
      {"start anchor holds", u"^access", 0, u"access denied", true},
      {"start anchor fails mid-cell", u"^denied", 0, u"access denied", false},
      {"end anchor", u"denied$", 0, u"access denied", true},
      {"end anchor fails", u"access$", 0, u"access denied", false},
      {"whole-cell anchors on empty cell", u"^$", 0, u"", true},
      {"whole-cell anchors on text", u"^$", 0, u"x", false},
      // Alternation, classes, repetition.
      {"alternation first", u"blocked|quarantined", 0, u"file quarantined", true},
      {"alternation none", u"blocked|quarantined", 0, u"file cleaned", false},
      {"ip address", u"\\b10\\.0\\.\\d+\\.\\d+\\b", 0, u"from 10.0.12.7:443", true},
      {"dot is not any digit", u"10\\.0", 0, u"1000", false},
      {"bounded repetition", u"^a{3}$", 0, u"aaa", true},
      {"bounded repetition too many", u"^a{3}$", 0, u"aaaa", false},
      // Case: insensitive unless FILTER_OPT_CASE; RE2 folds non-ASCII letters too.
      {"case folded", u"ERROR", 0, u"an error here", true},
      {"case kept", u"ERROR", kCase, u"an error here", false},
      {"case kept exact", u"ERROR", kCase, u"an ERROR here", true},
      {"Czech folded", u"p\u0159\u00edli\u0161", 0, u"P\u0158\u00cdLI\u0160 \u017elu\u0165ou\u010dk\u00fd",
       true},
      {"Czech kept", u"p\u0159\u00edli\u0161", kCase, u"P\u0158\u00cdLI\u0160", false},
      {"accented folded", u"\u00e9t\u00e9", 0, u"\u00c9T\u00c9", true},
      {"inline flag overrides", u"(?i)error", kCase, u"ERROR", true},
      // Non-ASCII: one character is one code point, not one UTF-16 unit or UTF-8 byte.
      {"dot is one Czech letter", u"^k.\u0148$", 0, u"k\u016f\u0148", true},
      {"dot is one supplementary character", u"^a.b$", 0, u"a\U0001F600b", true},
      {"letter class takes Czech", u"^\\pL+$", 0, u"\u017elu\u0165ou\u010dk\u00fd", true},
      {"unpaired surrogate is one character", u"^a.b$", 0, std::u16string(u"a") + char16_t(0xD800) + u"b",
       true},
      // Whole words: letters and decimal digits are word characters, the underscore is not.
      {"word alone", u"log", kWords, u"log", true},
      {"word before punctuation", u"log", kWords, u"the log.", true},
      {"word inside a longer word", u"log", kWords, u"catalog logs", false},
      {"second occurrence stands alone", u"log", kWords, u"xlog log", true},
      {"underscore separates words", u"log", kWords, u"app_log_file", true},
      {"Czech letters join a word", u"li", kWords, u"p\u0159\u00edli\u0161", false},
      {"Czech word alone", u"\u017elu\u0165ou\u010dk\u00fd", kWords, u"k\u016f\u0148 \u017elu\u0165ou\u010dk\u00fd.",
       true},
      {"alternation wholly wrapped", u"cat|dog", kWords, u"hotdog cat", true},
      {"alternation needs one whole", u"cat|dog", kWords, u"hotdog cats", false},
      {"longer alternative found", u"log|logs", kWords, u"logs", true},
      {"pattern anchor with words", u"^log", kWords, u"log in", true},
      {"pattern anchor with words mid-cell", u"^log", kWords, u"a log", false},
      {"words and case", u"Log", kWords | kCase, u"log Log", true},
      // Control characters are ordinary characters; a cell is one unit, so '.' crosses lines.
      {"tab", u"a\\tb", 0, u"a\tb", true},
      {"dot crosses a line break", u"first.*second", 0, u"first\r\nsecond", true},
      {"line mode turned off", u"(?-s)first.*second", 0, u"first\nsecond", false},
      {"end anchor is end of cell", u"first$", 0, u"first\nsecond", false},
      {"NUL inside the cell", u"a\\x00b", 0, std::u16string(u"a\0b", 3), true},
      {"escape character", u"\\x1b\\[31m", 0, u"\x1b[31mred", true},
      // Patterns that can match nothing at all occur in every cell.
      {"star on empty cell", u"a*", 0, u"", true},
      {"star on unrelated cell", u"a*", 0, u"xyz", true},
      {"optional group", u"(?:abc)?", 0, u"zzz", true},
      // With whole words an empty match needs a non-word character or an end on each side.
      {"star with words, empty cell", u"a*", kWords, u"", true},
      {"star with words, word cell", u"a*", kWords, u"xyz", false},
      {"star with words, a word of a's", u"a*", kWords, u"b aaa", true},
      {"star with words, two separators", u"a*", kWords, u"x, y", true},
  };
  for (const auto& c : cases) {
    std::string error;
    const auto p = korv::TextPattern::Compile(c.pattern, c.options, &error);
    ASSERT_TRUE(p) << c.name << ": " << error;
    EXPECT_EQ(p->Matches(c.cell), c.expect) << c.name;
  }
}

// A literal pattern is looked for in UTF-16 before RE2 runs. The answers must be RE2's:
// the same patterns in a group, which is no literal, go to RE2 alone. The alphabet holds
// the letters whose case RE2 folds to ASCII (KELVIN SIGN, LONG S), the Turkish i's that it
// does not, Czech letters, escaped punctuation and a line break.
TEST(TextPattern, LiteralShortcutAgreesWithRe2) {
  const std::u16string patterns[] = {
      u"KorvMark", u"mark", u"sk", u"\u017elu\u0165", u"10\\.0", u"a\\.b", u"\u00e9t\u00e9", u"s",
      u"k.", u"x", u"\u0158", u"o-k", u"Ski", u"kSi\u0159"};
  const char16_t alphabet[] = {u'k',      u'K',      u'\u212a', u's', u'S', u'\u017f', u'm',
                               u'a',      u'r',      u'o',      u'v', u'.', u'\n',     u'\u017e',
                               u'\u017d', u'\u0165', u'\u0164', u'l', u'u', u'1',     u'0',
                               u' ',      u'-',      u'\u00e9', u'\u00c9', u't', u'x', u'\u0159',
                               u'\u0158', u'b',      u'i',      u'I', u'\u0130', u'\u0131'};
  std::uint32_t seed = 99;
  const auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  for (const std::uint32_t options : {0u, kCase, kWords, kCase | kWords}) {
    for (const std::u16string& pattern : patterns) {
      const auto fast = korv::TextPattern::Compile(pattern, options, nullptr);
      const auto plain = korv::TextPattern::Compile(u"(?:" + pattern + u")", options, nullptr);
      ASSERT_TRUE(fast && plain);
      for (int round = 0; round < 400; ++round) {
        std::u16string cell(std::size_t(next() % 12), u' ');
        for (char16_t& ch : cell) ch = alphabet[next() % std::size(alphabet)];
        // Plant the pattern's letters now and then, so that matches are not rare.
        if (round % 3 == 0 && pattern.find(u'\\') == std::u16string::npos)
          cell.insert(next() % (cell.size() + 1), pattern);
        ASSERT_EQ(fast->Matches(cell), plain->Matches(cell))
            << "options " << options << " round " << round;
      }
    }
  }
}

TEST(TextPattern, RefusesInvalidPatternsWithRe2sReason) {
  const struct {
    const char* name;
    std::u16string pattern;
    std::uint32_t options;
    const char* reason;  // a part of RE2's message
  } cases[] = {
      {"open parenthesis", u"(abc", 0, "missing )"},
      {"close parenthesis", u"abc)", 0, "unexpected )"},
      {"balanced only by wrapping", u"a)|(b", kWords, "unexpected )"},
      {"open bracket", u"[abc", 0, "missing ]"},
      {"trailing backslash", u"abc\\", 0, "trailing \\"},
      {"trailing backslash with words", u"abc\\", kWords, "trailing \\"},
      {"repetition of nothing", u"*abc", 0, "no argument for repetition operator"},
      {"backreference", u"(a)\\1", 0, "invalid escape sequence"},
      {"look-ahead", u"a(?=b)", 0, "invalid perl operator"},
      {"repetition too large", u"a{1001}", 0, "invalid repetition size"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(korv::TextPattern::Compile(c.pattern, c.options, &error)) << c.name;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.name << ": " << error;
    EXPECT_EQ(korv::PatternError(c.pattern, c.options), error) << c.name;
  }
  EXPECT_EQ(korv::PatternError(u"a|b", kWords), "");
}

TEST(TextPattern, Utf8OfCells) {
  const struct {
    std::u16string text;
    std::string utf8;
  } cases[] = {
      {u"", ""},
      {u"abc\t\n", "abc\t\n"},
      {u"\u017elu\u0165", "\xc5\xbelu\xc5\xa5"},
      {u"\u20ac", "\xe2\x82\xac"},
      {u"\U0001F600", "\xf0\x9f\x98\x80"},
      {std::u16string(1, char16_t(0xDC00)) + u"x", "\xef\xbf\xbdx"},  // lone low surrogate
      {u"x" + std::u16string(1, char16_t(0xD83D)), "x\xef\xbf\xbd"},  // high surrogate at the end
  };
  for (const auto& c : cases) {
    std::string out = "keep:";
    korv::AppendUtf8(c.text, out);
    EXPECT_EQ(out, "keep:" + c.utf8);
  }
}

// The criteria as the log prepares and uses them.
CLogFilterData Pattern(std::u16string text, std::uint32_t options, std::uint32_t columns) {
  CLogFilterData f(0);
  f.m_strText = std::move(text);
  f.m_nOptions = options | FILTER_OPT_REGEX;
  f.m_nColumnMask = columns;
  return f;
}

TEST(PatternCriteria, MatchTextsOverChosenColumns) {
  const std::vector<std::u16string> row = {u"2026-12-08 10:00:00", u"Warning", u"Threat BLOCKED", u""};
  const struct {
    const char* name;
    std::u16string pattern;
    std::uint32_t options, columns;
    bool expect;
  } cases[] = {
      {"found in a chosen column", u"block(ed)?", 0, 0x4, true},
      {"only in a column not chosen", u"block(ed)?", 0, 0x3, false},
      {"case kept", u"blocked", FILTER_OPT_CASE, 0x4, false},
      {"empty-matching pattern, chosen cells", u"x*", 0, 0x1, true},
      {"empty-matching pattern, empty cell", u"x*", 0, 0x8, true},
      {"columns past the row", u"x*", 0, 0x10, false},
      {"anchored per cell, not per row", u"^Warning$", 0, 0x2, true},
      {"anchors do not join cells", u"00Warning", 0, 0x3, false},
  };
  for (const auto& c : cases) {
    CLogFilterData f = Pattern(c.pattern, c.options, c.columns);
    korv::PrepareText(f);
    ASSERT_TRUE(f.m_pattern) << c.name;
    EXPECT_EQ(korv::MatchTexts(f, row), c.expect) << c.name;
  }
}

TEST(PatternCriteria, PrepareKeepsThePatternAndCompilesOnce) {
  CLogFilterData f = Pattern(u"\\WERROR\\D", 0, 0x1);
  korv::PrepareText(f);
  // Lower-casing would have turned \W into \w and \D into \d.
  EXPECT_EQ(f.m_strText, u"\\WERROR\\D");
  ASSERT_TRUE(f.m_pattern);
  EXPECT_TRUE(korv::MatchTexts(f, {u" error!"}));
  // Copies share the compiled pattern.
  const CLogFilterData copy = f;
  EXPECT_EQ(copy.m_pattern, f.m_pattern);

  // A plain text is still lower-cased and not compiled.
  CLogFilterData plain(0);
  plain.m_strText = u"ERROR";
  korv::PrepareText(plain);
  EXPECT_EQ(plain.m_strText, u"error");
  EXPECT_FALSE(plain.m_pattern);
}

TEST(PatternCriteria, StaleOrMissingPatternIsRecompiled) {
  CLogFilterData f = Pattern(u"alpha", 0, 0x1);
  korv::PrepareText(f);
  // The text changed after preparing: the old program must not answer for the new text.
  f.m_strText = u"beta";
  EXPECT_TRUE(korv::MatchTexts(f, {u"beta"}));
  EXPECT_FALSE(korv::MatchTexts(f, {u"alpha"}));
  // Options changed after preparing: the same.
  f.m_nOptions |= FILTER_OPT_CASE;
  EXPECT_FALSE(korv::MatchTexts(f, {u"BETA"}));
  // Never prepared.
  const CLogFilterData raw = Pattern(u"^g.mma$", 0, 0x1);
  EXPECT_TRUE(korv::MatchTexts(raw, {u"GAMMA"}));
}

TEST(PatternCriteria, InvalidPatternMatchesNoRowAndEmptyPatternIsNoCriterion) {
  CLogFilterData bad = Pattern(u"(unclosed", 0, 0x1);
  korv::PrepareText(bad);
  EXPECT_FALSE(bad.m_pattern);
  EXPECT_FALSE(korv::MatchTexts(bad, {u"(unclosed"}));

  CLogFilterData empty = Pattern(u"", 0, 0x1);
  korv::PrepareText(empty);
  EXPECT_FALSE(korv::TextCriterionActive(empty));
  int asked = 0;
  EXPECT_TRUE(korv::MatchRow(empty, 0, 0x50000000, 0, [&](const std::vector<std::u16string>*&) {
    ++asked;
    return false;
  }));
  EXPECT_EQ(asked, 0);
}

TEST(PatternCriteria, RegexBitLeavesThePeriod) {
  CLogFilterData f(0);
  f.m_nOptions = FILTER_OPT_REGEX | FILTER_PERIOD_WEEK;
  EXPECT_EQ(f.Period(), FILTER_PERIOD_WEEK);
}

}  // namespace
