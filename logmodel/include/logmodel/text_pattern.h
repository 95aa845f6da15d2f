#pragma once
// A search text read as a regular expression. RE2 matches in time linear in the cell, so
// neither a user's pattern nor a hostile log can make a filter or a search hang.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "logmodel/text_range.h"

namespace re2 {
class RE2;
}

namespace korv {

// Whether the lower-case ASCII `needle` occurs in `text`, where A-Z stand for a-z and
// KELVIN SIGN and LONG S for k and s, as RE2 folds case.
bool FindFoldedLikeRe2(std::u16string_view text, std::u16string_view needle);

// The bounds of a pattern, so that any pattern accepted searches in linear time with a
// sane constant: RE2's cost for each byte grows with its program, and past its memory it
// leaves its DFA for the much slower NFA. 200 alternatives of ".*x0001.*y" (2,199 characters,
// 4,204 instructions) search 20 MB of rows in a fraction of a second; 1,000 (21,004) did not
// end in a minute. Whole-word matching adds about 2,500 instructions for its separators.
inline constexpr std::size_t kMaxPatternLength = 4000;  // UTF-16 units, as typed
inline constexpr int kMaxPatternProgram = 10000;        // RE2 instructions of the search

class TextPattern {
 public:
  // Compiles `pattern` for the text options of CLogFilterData::m_nOptions:
  // - FILTER_OPT_CASE clear: case is ignored for every letter RE2 folds, not only A-Z;
  // - FILTER_OPT_WORDS: the match must have no letter or decimal digit right before or
  //   after it, the same word characters as the plain whole-word search;
  // - '.' matches a line break too, because a cell is one unit; (?-s) turns that off.
  // Null when RE2 refuses the pattern or it is past the bounds above; `error` then holds
  // the reason.
  static std::shared_ptr<const TextPattern> Compile(std::u16string_view pattern,
                                                    std::uint32_t options, std::string* error);

  ~TextPattern();
  TextPattern(const TextPattern&) = delete;  // owns a compiled program; share the pointer
  TextPattern& operator=(const TextPattern&) = delete;

  // True when the pattern occurs anywhere in `text`. A pattern that can match nothing at
  // all (such as "a*") therefore occurs in every text. Safe to call from several threads.
  // Inline: for a literal the answer is one scan, which must cost no more than the plain
  // text search's.
  bool Matches(std::u16string_view text) const {
    if (!m_needle.empty()) {
      const bool found = m_fold ? FindFoldedLikeRe2(text, m_needle)
                                : text.find(m_needle) != std::u16string_view::npos;
      if (!found) return false;
      if (m_needleDecides) return true;
    }
    return MatchesRe2(text);
  }

  // The parts of `text` the pattern matches, for highlighting: with whole words only the
  // pattern's own part, not the separators around it. A match that starts inside the
  // previous one and reaches past it counts too, so overlapping matches merge ("aa" in
  // "aaa"); one that ends within it sends the search on to the previous match's end, so a
  // cell is scanned a bounded number of times, not once per character a match spans.
  // Empty matches mark nothing. Whole-word matches are searched again from where the
  // previous one began. Stops at the first match starting at or after `limit` UTF-16
  // units. `out` gets merged ascending ranges (see AddMergedRange). Answers the number of
  // RE2 searches it ran, which is what a cell costs.
  std::size_t FindRanges(std::u16string_view text, std::vector<TextRange>& out, std::size_t limit) const;

  // True when this was compiled from exactly this pattern and these text options.
  bool CompiledFrom(std::u16string_view pattern, std::uint32_t options) const;

 private:
  TextPattern() = default;
  bool MatchesRe2(std::u16string_view text) const;

  std::u16string m_source;
  std::uint32_t m_options = 0;
  // A text every match must contain, searched for in UTF-16 before RE2 runs (a cell
  // without it cannot match); lower-case when m_fold. Empty when the pattern has none.
  std::u16string m_needle;
  bool m_fold = false;
  bool m_needleDecides = false;  // the needle is the whole pattern: finding it is a match
  std::unique_ptr<re2::RE2> m_re;
  // With whole words: the same program with the user's pattern as group 1, so that a
  // range leaves out the separators m_re consumes. Null otherwise (m_re's whole match is
  // the pattern's).
  std::unique_ptr<re2::RE2> m_spans;
  std::unique_ptr<re2::RE2> m_spansAfter;  // m_spans without the start of the cell as separator
};

// Why `pattern` cannot be searched with these options (RE2's reason, or the bound it is
// past); empty when it compiles.
std::string PatternError(std::u16string_view pattern, std::uint32_t options);

// Appends `text` to `out` as UTF-8; an unpaired surrogate becomes U+FFFD.
void AppendUtf8(std::u16string_view text, std::string& out);

}  // namespace korv
