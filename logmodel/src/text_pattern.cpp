#include "logmodel/text_pattern.h"

#include <re2/re2.h>

#include "logmodel/filter_data.h"

namespace korv {
namespace {

constexpr std::uint32_t kTextOptions = FILTER_OPT_CASE | FILTER_OPT_WORDS;

RE2::Options MakeOptions(std::uint32_t options) {
  RE2::Options o;
  o.set_encoding(RE2::Options::EncodingUTF8);
  o.set_case_sensitive((options & FILTER_OPT_CASE) != 0);
  o.set_dot_nl(true);
  o.set_never_capture(true);  // only "does it occur" is asked
  o.set_log_errors(false);    // a refused pattern is reported to the user, not to stderr
  return o;
}

}  // namespace

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

std::shared_ptr<const TextPattern> TextPattern::Compile(std::u16string_view pattern,
                                                        std::uint32_t options,
                                                        std::string* error) {
  std::string utf8;
  AppendUtf8(pattern, utf8);
  const RE2::Options re_options = MakeOptions(options);
  // The pattern is checked on its own first: wrapping could balance a stray parenthesis
  // ("a)|(b") and so accept a pattern the user mistyped.
  auto re = std::make_unique<RE2>(utf8, re_options);
  if (!re->ok()) {
    if (error) *error = re->error();
    return nullptr;
  }
  if (options & FILTER_OPT_WORDS) {
    // A non-word character or an end of the cell on each side; the same word characters
    // (letters and decimal digits) as the plain whole-word search. RE2's \b would only
    // know ASCII and so split words such as "příliš".
    re = std::make_unique<RE2>("(?:^|[^\\pL\\p{Nd}])(?:" + utf8 + ")(?:[^\\pL\\p{Nd}]|$)",
                               re_options);
    if (!re->ok()) {
      if (error) *error = re->error();
      return nullptr;
    }
  }
  std::shared_ptr<TextPattern> p(new TextPattern);
  p->m_source.assign(pattern);
  p->m_options = options & kTextOptions;
  p->m_re = std::move(re);
  return p;
}

TextPattern::~TextPattern() = default;

bool TextPattern::Matches(std::u16string_view text) const {
  // One buffer per thread, reused, so that matching a row allocates nothing.
  thread_local std::string utf8;
  utf8.clear();
  AppendUtf8(text, utf8);
  return m_re->Match(utf8, 0, utf8.size(), RE2::UNANCHORED, nullptr, 0);
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
