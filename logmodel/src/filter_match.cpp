#include "logmodel/filter_match.h"

#include "logmodel/severity.h"
#include "logmodel/word_chars.h"

namespace korv {

void LowerAscii(std::u16string& text) {
  for (char16_t& c : text)
    if (c >= u'A' && c <= u'Z') c = char16_t(c + (u'a' - u'A'));
}

bool FindWholeWord(std::u16string_view text, std::u16string_view word) {
  const std::size_t n = text.size();
  const std::size_t m = word.size();
  std::size_t j = 0;
  while (j < n) {
    const std::size_t p = text.find(word, j);
    if (p == std::u16string_view::npos) return false;
    const bool before_ok = p == 0 || !IsWordChar(text[p - 1]);
    const bool after_ok = p + m == n || !IsWordChar(text[p + m]);
    if (before_ok && after_ok) return true;
    // Resume at the first non-word character after p, so the rest of this word is skipped.
    std::size_t k = p + 1;
    while (k < n && IsWordChar(text[k])) ++k;
    j = k;
  }
  return false;
}

bool PassesRowTests(const CLogFilterData& filter, std::uint32_t flags, std::uint32_t level,
                    platform::FileTime time) {
  if ((flags & 0x20000000u) && !(filter.m_nTypeMask & FILTER_SHOW_DELETED)) return false;
  if (!(filter.m_nTypeMask & LevelClass(level))) return false;
  if (filter.Period() != FILTER_PERIOD_WHOLE) {
    // Unsigned division first: the result is below 2^64 / 10^7, so the subtraction is safe.
    const std::int64_t t = std::int64_t(time / platform::kTicksPerSecond) - 11644473600LL;
    if (t < filter.m_timeFrom || t > filter.m_timeTo) return false;
  }
  return true;
}

bool TextCriterionActive(const CLogFilterData& filter) {
  return filter.m_nColumnMask != 0 && !filter.m_strText.empty();
}

bool MatchTexts(const CLogFilterData& filter, const std::vector<std::u16string>& texts,
                std::u16string& scratch) {
  const bool fold = !(filter.m_nOptions & FILTER_OPT_CASE);
  const bool words = (filter.m_nOptions & FILTER_OPT_WORDS) != 0;
  // Only columns 0-30 can be selected: bit 31 is never set in a mask the system builds.
  const std::size_t columns = texts.size() < 31 ? texts.size() : 31;
  for (std::size_t i = 0; i < columns; ++i) {
    if (!(filter.m_nColumnMask & (std::uint32_t(1) << i))) continue;
    std::u16string_view column = texts[i];
    if (fold) {
      scratch.assign(column);
      LowerAscii(scratch);
      column = scratch;
    }
    if (words ? FindWholeWord(column, filter.m_strText)
              : column.find(filter.m_strText) != std::u16string_view::npos)
      return true;
  }
  return false;
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
