#include "logmodel/filter_match.h"

#include "logmodel/rec_info.h"
#include "logmodel/severity.h"
#include "logmodel/text_pattern.h"
#include "logmodel/word_chars.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace korv {

void LowerAscii(std::u16string& text) {
  for (char16_t& c : text)
    if (c >= u'A' && c <= u'Z') c = char16_t(c + (u'a' - u'A'));
}

namespace {

char16_t FoldAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + (u'a' - u'A')) : c; }

}  // namespace

std::size_t FindFolded(std::u16string_view text, std::u16string_view needle, std::size_t from) {
  const std::size_t n = text.size();
  const std::size_t m = needle.size();
  if (m == 0) return from <= n ? from : std::u16string_view::npos;
  if (m > n || from > n - m) return std::u16string_view::npos;
  const std::size_t last = n - m;  // the last position a match can start at
  const char16_t first = needle[0];
  const char16_t upper = first >= u'a' && first <= u'z' ? char16_t(first - (u'a' - u'A')) : first;
  const char16_t* p = text.data();
  std::size_t i = from;
  while (i <= last) {
#if defined(__SSE2__)
    // Skip eight positions at a time while none holds the first character in either case.
    const __m128i lower8 = _mm_set1_epi16(static_cast<short>(first));
    const __m128i upper8 = _mm_set1_epi16(static_cast<short>(upper));
    while (i + 8 <= last + 1) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(v, lower8), _mm_cmpeq_epi16(v, upper8)));
      if (mask != 0) {
        i += std::size_t(__builtin_ctz(unsigned(mask))) / 2;
        break;
      }
      i += 8;
    }
    if (i > last) break;
#endif
    if (p[i] == first || p[i] == upper) {
      std::size_t j = 1;
      while (j < m && FoldAscii(p[i + j]) == needle[j]) ++j;
      if (j == m) return i;
    }
    ++i;
  }
  return std::u16string_view::npos;
}

std::size_t FindWholeWordAt(std::u16string_view text, std::u16string_view word, bool fold,
                            std::size_t from) {
  const std::size_t n = text.size();
  const std::size_t m = word.size();
  std::size_t j = from;
  while (j < n) {
    const std::size_t p = fold ? FindFolded(text, word, j) : text.find(word, j);
    if (p == std::u16string_view::npos) return p;
    const bool before_ok = p == 0 || !IsWordChar(text[p - 1]);
    const bool after_ok = p + m == n || !IsWordChar(text[p + m]);
    if (before_ok && after_ok) return p;
    // Resume at the first non-word character after p, so the rest of this word is skipped.
    std::size_t k = p + 1;
    while (k < n && IsWordChar(text[k])) ++k;
    j = k;
  }
  return std::u16string_view::npos;
}

bool FindWholeWord(std::u16string_view text, std::u16string_view word, bool fold) {
  return FindWholeWordAt(text, word, fold, 0) != std::u16string_view::npos;
}

bool PassesRowTests(const CLogFilterData& filter, std::uint32_t flags, std::uint32_t level,
                    platform::FileTime time) {
  // A corrupted row stands for lost data (a repaired gap's placeholder is a deleted record
  // in the file): it is shown whatever the Deleted filter says. It has no severity, nor has
  // a raw row, so the severity bits do not select either.
  const bool corrupted = (flags & ROW_FLAG_CORRUPTED) != 0;
  if ((flags & ROW_FLAG_DELETED) && !corrupted && !(filter.m_nTypeMask & FILTER_SHOW_DELETED)) return false;
  if (!corrupted && !(flags & ROW_FLAG_RAW) && !(filter.m_nTypeMask & LevelClass(level))) return false;
  if (filter.Period() != FILTER_PERIOD_WHOLE) {
    // Unsigned division first: the result is below 2^64 / 10^7, so the subtraction is safe.
    const std::int64_t t = std::int64_t(time / platform::kTicksPerSecond) - 11644473600LL;
    if (t < filter.m_timeFrom || t > filter.m_timeTo) return false;
  }
  return true;
}

void PrepareText(CLogFilterData& filter) {
  filter.m_pattern.reset();
  if (!(filter.m_nOptions & FILTER_OPT_REGEX)) {
    if (!(filter.m_nOptions & FILTER_OPT_CASE)) LowerAscii(filter.m_strText);
    return;
  }
  // A pattern keeps its text: lower-casing would turn \W into \w and \D into \d.
  if (!filter.m_strText.empty())
    filter.m_pattern = TextPattern::Compile(filter.m_strText, filter.m_nOptions, nullptr);
}

namespace {

// The filter's compiled pattern, or one compiled into `holder` when the filter's is missing or
// stale; null for a pattern that does not compile. No copy of the filter's shared pointer: its
// atomic count would be touched once per row.
const TextPattern* PatternOf(const CLogFilterData& filter, std::shared_ptr<const TextPattern>& holder) {
  const TextPattern* pattern = filter.m_pattern.get();
  if (pattern && pattern->CompiledFrom(filter.m_strText, filter.m_nOptions)) return pattern;
  holder = TextPattern::Compile(filter.m_strText, filter.m_nOptions, nullptr);
  return holder.get();
}

bool MatchPattern(const CLogFilterData& filter, std::span<const std::u16string_view> texts,
                  std::size_t columns) {
  std::shared_ptr<const TextPattern> holder;
  const TextPattern* pattern = PatternOf(filter, holder);
  if (!pattern) return false;
  for (std::size_t i = 0; i < columns; ++i)
    if ((filter.m_nColumnMask & (std::uint32_t(1) << i)) && pattern->Matches(texts[i])) return true;
  return false;
}

}  // namespace

bool TextCriterionActive(const CLogFilterData& filter) {
  return filter.m_nColumnMask != 0 && !filter.m_strText.empty();
}

bool MatchTextViews(const CLogFilterData& filter, std::span<const std::u16string_view> texts) {
  const bool fold = !(filter.m_nOptions & FILTER_OPT_CASE);
  const bool words = (filter.m_nOptions & FILTER_OPT_WORDS) != 0;
  // Only columns 0-30 can be selected: bit 31 is never set in a mask the system builds.
  const std::size_t columns = texts.size() < 31 ? texts.size() : 31;
  if (filter.m_nOptions & FILTER_OPT_REGEX) return MatchPattern(filter, texts, columns);
  for (std::size_t i = 0; i < columns; ++i) {
    if (!(filter.m_nColumnMask & (std::uint32_t(1) << i))) continue;
    const std::u16string_view column = texts[i];
    if (words ? FindWholeWord(column, filter.m_strText, fold)
              : (fold ? FindFolded(column, filter.m_strText) : column.find(filter.m_strText)) !=
                    std::u16string_view::npos)
      return true;
  }
  return false;
}

void FindMatchRanges(const CLogFilterData& filter, int column, std::u16string_view text,
                     std::vector<TextRange>& out, std::size_t limit) {
  out.clear();
  // The columns MatchTexts looks at, and no others.
  if (!TextCriterionActive(filter) || column < 0 || column >= 31 ||
      !(filter.m_nColumnMask & (std::uint32_t(1) << column)))
    return;
  if (filter.m_nOptions & FILTER_OPT_REGEX) {
    std::shared_ptr<const TextPattern> holder;
    const TextPattern* pattern = PatternOf(filter, holder);
    if (!pattern) return;
    // The row test first: for a literal it is one scan, and most cells do not match.
    if (pattern->Matches(text)) pattern->FindRanges(text, out, limit);
    return;
  }
  const bool fold = !(filter.m_nOptions & FILTER_OPT_CASE);
  const bool words = (filter.m_nOptions & FILTER_OPT_WORDS) != 0;
  const std::u16string_view needle = filter.m_strText;
  for (std::size_t from = 0; from < text.size() && from < limit;) {
    const std::size_t p = words ? FindWholeWordAt(text, needle, fold, from)
                                : (fold ? FindFolded(text, needle, from) : text.find(needle, from));
    if (p == std::u16string_view::npos || p >= limit) break;
    AddMergedRange(out, {p, p + needle.size()});
    from = p + 1;  // the next occurrence may overlap this one ("aa" in "aaa")
  }
}

bool MatchTexts(const CLogFilterData& filter, const std::vector<std::u16string>& texts) {
  std::u16string_view views[31];
  const std::size_t columns = texts.size() < 31 ? texts.size() : 31;
  for (std::size_t i = 0; i < columns; ++i) views[i] = texts[i];
  return MatchTextViews(filter, std::span<const std::u16string_view>(views, columns));
}

int CircularFind(int count, int start, bool upwards, const std::function<bool(int)>& matches,
                 const std::function<void()>& pump, const std::atomic<bool>& cancel) {
  if (count <= 0) return -1;
  if (start > count) start = count;
  if (start < -1) start = -1;
  long long f = 0;
  const long long s = upwards ? -1 : 1;
  if (upwards)
    f = start <= 0 ? count - 1 : start - 1;
  else
    f = start >= count - 1 ? 0 : start + 1;
  for (long long i = 0; i < count; ++i) {
    if (i % 1000 == 0) {
      if (pump) pump();
      if (cancel.load()) return -1;
    }
    const long long r = ((f + i * s) % count + count) % count;
    if (matches(int(r))) return int(r);
  }
  return -1;
}

}  // namespace korv
