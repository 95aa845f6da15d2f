#include "logmodel/text_pattern.h"

#include <algorithm>

#include <re2/re2.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "logmodel/filter_data.h"

namespace korv {
namespace {

constexpr std::uint32_t kTextOptions = FILTER_OPT_CASE | FILTER_OPT_WORDS;

// RE2's budget for one program and the cache of its DFA, taken as a search needs it. With
// too small a cache for its program, RE2 drops from the DFA to its NFA on every cell, a
// hundred times slower (1,000 alternatives of ".*x0001.*y": 3 ms a row); programs within
// kMaxPatternProgram keep well inside this.
constexpr std::int64_t kPatternMemory = std::int64_t(16) << 20;

RE2::Options MakeOptions(std::uint32_t options) {
  RE2::Options o;
  o.set_max_mem(kPatternMemory);
  o.set_encoding(RE2::Options::EncodingUTF8);
  o.set_case_sensitive((options & FILTER_OPT_CASE) != 0);
  o.set_dot_nl(true);
  o.set_never_capture(true);  // only "does it occur" is asked
  o.set_log_errors(false);    // a refused pattern is reported to the user, not to stderr
  return o;
}

// The text `pattern` stands for when it is a plain literal: no operator, only escaped
// ASCII punctuation (10\.0\.0\.1). False for anything else.
bool LiteralOf(std::u16string_view pattern, std::u16string& out) {
  out.clear();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    char16_t c = pattern[i];
    if ((c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFD) return false;  // stand-ins in the UTF-8
    if (c == u'\\') {
      if (++i == pattern.size()) return false;
      c = pattern[i];
      const bool punct = c < 0x80 && c > u' ' && !(c >= u'0' && c <= u'9') &&
                         !(c >= u'a' && c <= u'z') && !(c >= u'A' && c <= u'Z');
      if (!punct) return false;  // \d, \b, \x41, \Q... are operators
    } else if (std::u16string_view(u".+*?()|[]{}^$").find(c) != std::u16string_view::npos) {
      return false;
    }
    out.push_back(c);
  }
  return !out.empty();
}

// RE2's case folding of the ASCII letters: each also matches its other case, and k and s
// match KELVIN SIGN and LONG S as well. Every other character is itself.
char16_t FoldLikeRe2(char16_t c) {
  if (c >= u'A' && c <= u'Z') return char16_t(c + 32);
  if (c == 0x212A) return u'k';
  if (c == 0x017F) return u's';
  return c;
}

// The whole-words form of `utf8`, the pattern in a group opened by `open`: "(?:" for the
// matching program, "(" for the one that tells where the pattern's own part is.
std::string WordsWrapped(const std::string& utf8, const char* open) {
  return "(?:^|[^\\pL\\p{Nd}])" + std::string(open) + utf8 + ")(?:[^\\pL\\p{Nd}]|$)";
}

// The UTF-8 bytes AppendUtf8 writes for the character starting at text[i], and how many
// UTF-16 units it takes (two for a surrogate pair, else one).
void Utf8Length(std::u16string_view text, std::size_t i, std::size_t& bytes, std::size_t& units) {
  const char16_t c = text[i];
  units = 1;
  if (c < 0x80) {
    bytes = 1;
  } else if (c < 0x800) {
    bytes = 2;
  } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
             text[i + 1] <= 0xDFFF) {
    bytes = 4;
    units = 2;
  } else {
    bytes = 3;  // the rest of the plane, and an unpaired surrogate written as U+FFFD
  }
}

}  // namespace

namespace {

// The scan of FindFoldedLikeRe2; `kOther` when the first letter is k or s, which have a
// third form, so that the other letters pay for no third comparison.
template <bool kOther>
bool ScanFoldedLikeRe2(std::u16string_view text, std::u16string_view needle) {
  const std::size_t n = text.size(), m = needle.size();
  if (m > n) return false;
  const std::size_t last = n - m;  // the last position a match can start at
  const char16_t key = needle[0];
  const char16_t other = key == u'k' ? char16_t(0x212A) : char16_t(0x017F);
  const char16_t* p = text.data();
  std::size_t i = 0;
#if defined(__SSE2__)
  // A letter and its capital differ only in bit 5 (0x20), and no other unit sets it to
  // the same value, so one comparison of the unit with that bit set takes both cases.
  const __m128i caseBit = _mm_set1_epi16(key >= u'a' && key <= u'z' ? 0x20 : 0);
  const __m128i a = _mm_set1_epi16(static_cast<short>(key));
  const __m128i c = _mm_set1_epi16(static_cast<short>(other));
#endif
  while (i <= last) {
#if defined(__SSE2__)
    while (i + 8 <= last + 1) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      __m128i hit = _mm_cmpeq_epi16(_mm_or_si128(v, caseBit), a);
      if constexpr (kOther) hit = _mm_or_si128(hit, _mm_cmpeq_epi16(v, c));
      const int mask = _mm_movemask_epi8(hit);
      if (mask != 0) {
        i += std::size_t(__builtin_ctz(unsigned(mask))) / 2;
        break;
      }
      i += 8;
    }
    if (i > last) break;
#endif
    if (FoldLikeRe2(p[i]) == key) {
      std::size_t j = 1;
      while (j < m && FoldLikeRe2(p[i + j]) == needle[j]) ++j;
      if (j == m) return true;
    }
    ++i;
  }
  return false;
}

}  // namespace

bool FindFoldedLikeRe2(std::u16string_view text, std::u16string_view needle) {
  return needle[0] == u'k' || needle[0] == u's' ? ScanFoldedLikeRe2<true>(text, needle)
                                                : ScanFoldedLikeRe2<false>(text, needle);
}

void AppendUtf8(std::u16string_view text, std::string& out) {
  const std::size_t n = text.size();
  const std::size_t base = out.size();
  out.resize(base + 3 * n);  // one UTF-16 unit never takes more than three bytes
  char* o = out.data() + base;
  for (std::size_t i = 0; i < n; ++i) {
    char32_t c = text[i];
    if (c < 0x80) {
      *o++ = char(c);
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;  // two units, four bytes
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;  // RE2 would see invalid UTF-8 otherwise
    }
    if (c < 0x800) {
      *o++ = char(0xC0 | (c >> 6));
    } else if (c < 0x10000) {
      *o++ = char(0xE0 | (c >> 12));
      *o++ = char(0x80 | ((c >> 6) & 0x3F));
    } else {
      *o++ = char(0xF0 | (c >> 18));
      *o++ = char(0x80 | ((c >> 12) & 0x3F));
      *o++ = char(0x80 | ((c >> 6) & 0x3F));
    }
    *o++ = char(0x80 | (c & 0x3F));
  }
  out.resize(std::size_t(o - out.data()));
}

namespace {

// Why RE2 refused `re`: its own reason, except that a program past RE2's memory is told as
// this system's bound is, so that the user reads one reason for one fault.
std::string RefusalOf(const RE2& re) {
  if (re.error_code() == RE2::ErrorPatternTooLarge)
    return "pattern too complex (more than " + std::to_string(kMaxPatternProgram) +
           " program instructions)";
  return re.error();
}

// The bound on what the search runs (with whole words, the wrapped program); empty within it.
std::string ProgramRefusal(const RE2& re) {
  const int size = re.ProgramSize();
  if (size <= kMaxPatternProgram) return {};
  return "pattern too complex (" + std::to_string(size) + " program instructions, at most " +
         std::to_string(kMaxPatternProgram) + ")";
}

}  // namespace

std::shared_ptr<const TextPattern> TextPattern::Compile(std::u16string_view pattern,
                                                        std::uint32_t options,
                                                        std::string* error) {
  // Refused before RE2 parses it: the length alone says it is past the bound.
  if (pattern.size() > kMaxPatternLength) {
    if (error)
      *error = "pattern too long (" + std::to_string(pattern.size()) + " characters, at most " +
               std::to_string(kMaxPatternLength) + ")";
    return nullptr;
  }
  std::string utf8;
  AppendUtf8(pattern, utf8);
  const RE2::Options re_options = MakeOptions(options);
  // The pattern is checked on its own first: wrapping could balance a stray parenthesis
  // ("a)|(b") and so accept a pattern the user mistyped.
  auto re = std::make_unique<RE2>(utf8, re_options);
  if (!re->ok()) {
    if (error) *error = RefusalOf(*re);
    return nullptr;
  }
  std::unique_ptr<RE2> spans, spansAfter;
  if (options & FILTER_OPT_WORDS) {
    // A non-word character or an end of the cell on each side; the same word characters
    // (letters and decimal digits) as the plain whole-word search. RE2's \b would only
    // know ASCII and so split words such as "příliš".
    re = std::make_unique<RE2>(WordsWrapped(utf8, "(?:"), re_options);
    if (!re->ok()) {
      if (error) *error = RefusalOf(*re);
      return nullptr;
    }
    RE2::Options capturing = re_options;
    capturing.set_never_capture(false);
    spans = std::make_unique<RE2>(WordsWrapped(utf8, "("), capturing);
    spansAfter = std::make_unique<RE2>(
        "[^\\pL\\p{Nd}](" + utf8 + ")(?:[^\\pL\\p{Nd}]|$)", capturing);
    // They cannot fail where m_re compiled; should they, the cells show no ranges.
    if (!spans->ok() || !spansAfter->ok()) {
      spans.reset();
      spansAfter.reset();
    }
  }
  if (std::string refusal = ProgramRefusal(*re); !refusal.empty()) {
    if (error) *error = std::move(refusal);
    return nullptr;
  }
  std::shared_ptr<TextPattern> p(new TextPattern);
  p->m_source.assign(pattern);
  p->m_options = options & kTextOptions;
  p->m_re = std::move(re);
  p->m_spans = std::move(spans);
  p->m_spansAfter = std::move(spansAfter);
  // RE2's setup for each call costs more than a search through a short cell, so a literal
  // pattern (its longest ASCII part when case is ignored) is looked for first, in UTF-16;
  // RE2 then runs only on the few cells that contain it, or not at all when that part is
  // the whole pattern and no whole-word test is asked for.
  std::u16string literal;
  if (LiteralOf(pattern, literal)) {
    p->m_fold = !(options & FILTER_OPT_CASE);
    if (!p->m_fold) {
      p->m_needle = literal;
    } else {
      // Folding other letters (é, ř) is RE2's business: keep the longest ASCII part.
      std::size_t best = 0, bestLength = 0;
      for (std::size_t i = 0; i < literal.size();) {
        std::size_t j = i;
        while (j < literal.size() && literal[j] < 0x80) ++j;
        if (j - i > bestLength) {
          best = i;
          bestLength = j - i;
        }
        i = j + 1;
      }
      p->m_needle = literal.substr(best, bestLength);
      for (char16_t& c : p->m_needle) c = FoldLikeRe2(c);
    }
    p->m_needleDecides = p->m_needle.size() == literal.size() && !(options & FILTER_OPT_WORDS);
  }
  return p;
}

TextPattern::~TextPattern() = default;

bool TextPattern::MatchesRe2(std::u16string_view text) const {
  // One buffer per thread, reused, so that matching a row allocates nothing.
  thread_local std::string utf8;
  utf8.clear();
  AppendUtf8(text, utf8);
  return m_re->Match(utf8, 0, utf8.size(), RE2::UNANCHORED, nullptr, 0);
}

std::size_t TextPattern::FindRanges(std::u16string_view text, std::vector<TextRange>& out,
                                    std::size_t limit) const {
  out.clear();
  if ((m_options & FILTER_OPT_WORDS) && !m_spans) return 0;  // see Compile
  thread_local std::string utf8;
  thread_local std::vector<std::size_t> unitAt;  // UTF-16 offset of each UTF-8 byte offset
  utf8.clear();
  AppendUtf8(text, utf8);
  unitAt.assign(utf8.size() + 1, 0);
  std::size_t byte = 0;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t bytes = 0, units = 0;
    Utf8Length(text, i, bytes, units);
    for (std::size_t b = 0; b < bytes && byte + b < unitAt.size(); ++b) unitAt[byte + b] = i;
    byte += bytes;
    i += units;
  }
  if (byte != utf8.size()) return 0;  // cannot happen: the two walks write the same bytes
  unitAt[byte] = text.size();

  re2::StringPiece found[2];
  const std::size_t n = utf8.size();
  const int group = m_spans ? 1 : 0;
  // The start of the character that ends before `end` (a UTF-8 lead byte).
  const auto charBefore = [&](std::size_t end) {
    std::size_t b = end - 1;
    while (b > 0 && (static_cast<unsigned char>(utf8[b]) & 0xC0) == 0x80) --b;
    return b;
  };
  std::size_t searches = 0;
  std::size_t start = 0;
  std::size_t reach = 0;  // the end of the ranges taken so far, in bytes
  bool probe = false;     // this search starts inside the last match taken
  while (start <= n) {
    // With whole words the pattern's part is group 1. After the first match the search
    // resumes where that part began and must take a separator there: a later part may
    // follow a separator that ends the previous part ("-" twice in "--").
    const RE2& re = !m_spans ? *m_re : searches == 0 ? *m_spans : *m_spansAfter;
    ++searches;
    if (!re.Match(utf8, start, n, RE2::UNANCHORED, found, group + 1) || !found[group].data()) break;
    const std::size_t begin = std::size_t(found[group].data() - utf8.data());
    const std::size_t end = begin + found[group].size();
    if (probe && end <= reach) {
      // What starts inside the last match ends within it, so the next match that counts
      // starts at its end. Searching on one character at a time would scan the rest of the
      // cell once for each character of the match (".*x" on a long cell).
      probe = false;
      start = std::max(begin, m_spans && reach > 0 ? charBefore(reach) : reach);
      continue;
    }
    if (unitAt[begin] >= limit) break;
    AddMergedRange(out, {unitAt[begin], unitAt[end]});
    reach = std::max(reach, end);
    if (m_spans) {
      start = begin;  // the separator taken there moves the next part past it
    } else {
      // One character past this match's start, so that an overlapping match counts too.
      start = begin + 1;
      while (start < n && (static_cast<unsigned char>(utf8[start]) & 0xC0) == 0x80) ++start;
    }
    probe = start < end;
  }
  return searches;
}

bool TextPattern::CompiledFrom(std::u16string_view pattern, std::uint32_t options) const {
  return m_options == (options & kTextOptions) && m_source == pattern;
}

std::string PatternError(std::u16string_view pattern, std::uint32_t options) {
  std::string error;
  if (!TextPattern::Compile(pattern, options, &error)) return error.empty() ? "invalid pattern" : error;
  return {};
}

}  // namespace korv
