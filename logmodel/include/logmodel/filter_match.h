#pragma once
// The row predicate of the filter and the search, and the circular search over visible
// rows, written against a plain row description so that the opened log, the updater and
// the tests all use the same code.

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "logmodel/filter_data.h"
#include "logmodel/text_range.h"
#include "platform/filetime.h"

namespace korv {

// Maps only A-Z to a-z: a case-insensitive search ignores case for ASCII letters alone.
void LowerAscii(std::u16string& text);

// Where `needle` first occurs in `text` at or after `from`, with A-Z in `text` read as a-z;
// `needle` must already be lower-cased. npos when it does not occur.
std::size_t FindFolded(std::u16string_view text, std::u16string_view needle, std::size_t from = 0);

// Whether `word` occurs in `text` as a whole word (no letter or digit right before or after
// it); found with FindFolded when `fold`.
bool FindWholeWord(std::u16string_view text, std::u16string_view word, bool fold = false);
// Where the first such whole-word occurrence at or after `from` starts; npos when none.
std::size_t FindWholeWordAt(std::u16string_view text, std::u16string_view word, bool fold,
                            std::size_t from);

// The deleted, record-type and time tests, which need only the row description.
bool PassesRowTests(const CLogFilterData& filter, std::uint32_t flags, std::uint32_t level,
                    platform::FileTime time);

// Readies the search text once before rows are matched: lower-cases a plain text when the
// criteria are case-insensitive, or compiles a pattern (FILTER_OPT_REGEX). A pattern RE2
// refuses leaves m_pattern empty and then matches no row; it is refused where it is typed.
void PrepareText(CLogFilterData& filter);

// True when the criteria have a text test (a column mask and a search text).
bool TextCriterionActive(const CLogFilterData& filter);

// The text test over one text per column, in column order. The criteria must have passed
// through PrepareText (SetFilter and FindRecord do that); a pattern that was not compiled
// for the current text is compiled here, correct but slow.
bool MatchTexts(const CLogFilterData& filter, const std::vector<std::u16string>& texts);
// The same over views of the texts (the cells read in place in a decoded block); a column
// the mask does not select may be an empty view.
bool MatchTextViews(const CLogFilterData& filter, std::span<const std::u16string_view> texts);

// The parts of `text` (the cell of `column`) that the text criterion matches, for showing a
// user why a row matched: found by the same search as MatchTexts, so a cell has ranges only
// when its column would match, and ranges are never shown in a column the criterion leaves
// out. Every occurrence counts, overlapping ones too; ranges are ascending, non-empty and
// merged where they touch or overlap. An empty match (a pattern such as "x*") marks
// nothing. The search stops at the first occurrence starting at or after `limit` (what the
// cell can show), so a long cell costs no more than its visible part. `out` is replaced.
void FindMatchRanges(const CLogFilterData& filter, int column, std::u16string_view text,
                     std::vector<TextRange>& out, std::size_t limit = std::u16string_view::npos);

// The whole predicate. get_texts(std::vector<std::u16string>*&) -> bool produces the row's
// column texts only when the text test needs them; false means they cannot be produced and
// the row does not match.
template <class GetTexts>
bool MatchRow(const CLogFilterData& filter, std::uint32_t flags, std::uint32_t level,
              platform::FileTime time, GetTexts&& get_texts) {
  if (!PassesRowTests(filter, flags, level, time)) return false;
  if (!TextCriterionActive(filter)) return true;
  const std::vector<std::u16string>* texts = nullptr;
  if (!get_texts(texts) || !texts) return false;
  return MatchTexts(filter, *texts);
}

// The circular search: examines count rows starting after `start` (at the last row going
// upwards and the first going downwards when start is -1), the row at start last, and
// answers the first index for which matches(index) is true, or -1. Every 1000 rows
// (row 0 included) it calls pump() and then gives up with -1 when `cancel` is set.
int CircularFind(int count, int start, bool upwards, const std::function<bool(int)>& matches,
                 const std::function<void()>& pump, const std::atomic<bool>& cancel);

}  // namespace korv
